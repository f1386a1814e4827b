// The program's command line: archive names, --help, --version and Qt's own window-system
// options. Read before the application object exists, so that --help and a mistake are
// answered without a display.
#pragma once

#include <QString>
#include <QStringList>

namespace kestrel {

struct CCommandLine {
    enum EAction { ACTION_RUN, ACTION_HELP, ACTION_VERSION, ACTION_ERROR };

    EAction eAction = ACTION_RUN;
    QStringList lstArchives;      // in the order given; "--" ends the options
    bool bPlatformGiven = false;  // -platform NAME was given
    QString strError;             // ACTION_ERROR: what was wrong, in Japanese

    // c_lstArgs starts with the program itself. Anything that starts with "-" and is neither
    // ours nor Qt's is an error, not an archive name.
    static CCommandLine Parse(const QStringList& c_lstArgs);

    static QString HelpText();     // Japanese, ends in a line break
    static QString VersionText();  // "kestrel 0.03\n"
};

// The window-system platform to ask Qt for, or empty for Qt's own choice. Dragging files out
// extracts them only when the target takes the drop, which the program can tell only on X11:
// on a Wayland desktop that also offers X11 (XWayland), run there, unless the user has chosen a
// platform ($QT_QPA_PLATFORM or -platform).
QString Choose_Platform(const CCommandLine& c_stCommandLine);

}  // namespace kestrel
