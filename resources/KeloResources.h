#pragma once

// Registers the embedded resources (":/icons/...", ":/qml/...", ":/dev/...", ":/devdoc/...")
// of the static library.
void initKeloResources();
