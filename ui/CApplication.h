// What the program sets up once for the whole application: Japanese texts in Qt's own dialogs,
// Japanese number formats and the user-interface font.
#pragma once

#include <QByteArray>
#include <QFont>
#include <optional>

class QApplication;

namespace kestrel {

// Loads Qt's Japanese translation, makes the Japanese locale the default, sets the font, and
// names the desktop entry and the icon of every window.
void Setup_Application(QApplication& app);

// Qt's own dialogs write dates (and numbers) in the system locale, which Qt reads from the
// environment once, while the application is being made. Made before the QApplication, this
// lends Qt the Japanese one; released after it, it gives the user's own environment back, to
// the C library and to the programs started later.
class CJapaneseSystemLocale {
public:
    CJapaneseSystemLocale();
    ~CJapaneseSystemLocale();
    CJapaneseSystemLocale(const CJapaneseSystemLocale&) = delete;
    CJapaneseSystemLocale& operator=(const CJapaneseSystemLocale&) = delete;

private:
    std::optional<QByteArray> m_baOldAll;
};

// SIGTERM, SIGHUP and SIGINT (logout, kill, Ctrl+C) end the event loop, so that the window
// closes the way it does when the user closes it and the staged files are removed.
void Quit_OnTerminationSignals(QApplication& app);

// A Japanese user-interface font at 9 points (IPA P Gothic or IPA Gothic when installed,
// otherwise the system's font at that size).
QFont Get_UIFont();

}  // namespace kestrel
