// Lets scripts take a picture of the running program: with KESTREL_SCREENSHOT=OUT.png set, the
// program saves its main window to OUT.png once the first open has finished (at least a second
// after the window appeared), writes the window's title on standard output and quits.
// KESTREL_SCREENSHOT_WHAT picks another subject: "about" for the About dialog, or the object
// name of one of the window's menus.
#pragma once

namespace kestrel {

class Form_FilerMain;

// Does nothing unless KESTREL_SCREENSHOT is set.
void Install_ScreenshotHook(Form_FilerMain& frmMain);

}  // namespace kestrel
