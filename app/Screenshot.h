#pragma once

class CV700UpdaterDlg;

// On a machine without a display the demo saves a picture of the window and ends the
// program: V770_SCREENSHOT names the PNG file, V770_SCREENSHOT_DELAY_MS how long after
// start-up to wait at least (a connected unit is also waited for until it has identified
// itself), V770_SCREENSHOT_PAGE which tab to show.
namespace Screenshot {
void ArrangeFromEnvironment(CV700UpdaterDlg* sheet);
}
