#ifndef HYGROVANE_STARTUP_H
#define HYGROVANE_STARTUP_H

// What must be settled before the application object exists: Qt 5 scales
// nothing on a high-DPI screen unless asked, so a 4K laptop would show the
// fonts doubled in a window of 1x margins and control heights.
void setApplicationAttributes();

#endif
