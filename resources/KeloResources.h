#pragma once

// Registers the embedded resources (":/icons/...", ":/qml/...") of the static library.
void initKeloResources();
