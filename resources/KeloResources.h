#pragma once

// Registers the embedded resources (":/icons/...", ":/qml/...", ":/dev/...") of the
// static library.
void initKeloResources();
