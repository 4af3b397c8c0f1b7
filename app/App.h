// Start-up and shut-down of the process around the main dialog.
#pragma once

// Starts GDI+, clears the process-wide state, creates the preset family.
bool initApp();
// True when an update was downloaded and handed to its installer: the
// application must then end at once, without a window.
bool checkForUpdate();
// Releases the button images, then shuts GDI+ down.
void exitApp();
