// What the program sets up once for the whole application: Japanese texts in Qt's own dialogs,
// Japanese number formats and the user-interface font.
#pragma once

#include <QFont>

class QApplication;

namespace kestrel {

// Loads Qt's Japanese translation, makes the Japanese locale the default, sets the font, and
// names the desktop entry and the icon of every window.
void Setup_Application(QApplication& app);

// A Japanese user-interface font at 9 points (IPA P Gothic or IPA Gothic when installed,
// otherwise the system's font at that size).
QFont Get_UIFont();

}  // namespace kestrel
