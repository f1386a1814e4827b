// The settings record tree. Plain values: copying a record copies everything in it, so the
// options dialog can edit a copy and hand it back whole.
#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace kestrel {

// "RELATE:" as a viewer program means the application the desktop associates with the file.
inline constexpr char c_szRelateViewer[] = "RELATE:";

// The system's temporary folder, ending in "/".
QString Get_SystemTempDirectory();

// One viewer program offered for opening a file of the archive.
struct VIEWERAPPLICATION {
    QString strName;
    QString strFilePath;      // program to start, or "RELATE:"
    bool bOverwrite = false;  // the user may edit or remove the entry

    bool operator==(const VIEWERAPPLICATION&) const = default;
};

enum class EWindowState : qint32 { Normal = 0, Minimized = 1, Maximized = 2 };

// Window bounds as stored: kept apart from QRect, whose right/bottom arithmetic overflows for
// values a hand-edited file may hold.
struct STRectangle {
    qint32 X = 0;
    qint32 Y = 0;
    qint32 Width = 0;
    qint32 Height = 0;

    QRect ToQRect() const { return QRect(X, Y, Width, Height); }
    static STRectangle FromQRect(const QRect& c_rc) {
        return {c_rc.x(), c_rc.y(), c_rc.width(), c_rc.height()};
    }
    bool operator==(const STRectangle&) const = default;
};

struct STGeneral {
    STGeneral();

    bool bFirstFolderOfAllFiles = false;
    bool bExpandTreeNode = true;
    bool bUseUserTempDirectory = false;
    QString strUserTempDirectory;  // defaults to the system's temporary folder
    QStringList lstRecentFiles;    // archives opened last, newest first

    bool operator==(const STGeneral&) const = default;
};

// How many archives the recent list keeps.
inline constexpr qsizetype c_nMaxRecentFiles = 10;

struct STExtract {
    QString strLastExtractDirectory;  // where the folder dialog starts; empty: the home folder

    bool operator==(const STExtract&) const = default;
};

struct STOpen {
    STOpen();  // "関連づけ" (the association), then "メモ帳" (a text editor)

    QList<VIEWERAPPLICATION> stViewerApplications;

    bool operator==(const STOpen&) const = default;
};

struct STWindow {
    bool bRestoreWindowPosition = false;
    bool bRestoreWindowSize = false;
    EWindowState eWindowState = EWindowState::Normal;
    STRectangle stWindowBounds{0, 0, 800, 480};
    STRectangle stWindowRestoreBounds{0, 0, 0, 0};

    bool operator==(const STWindow&) const = default;
};

struct STView {
    bool bListViewRowsPluralColor = false;
    STWindow stWindow;

    bool operator==(const STView&) const = default;
};

struct STConfig {
    QString strVersion = QStringLiteral("0.01");  // read and written back, never compared
    STGeneral stGeneral;
    STExtract stExtract;
    STOpen stOpen;
    STView stView;

    bool operator==(const STConfig&) const = default;
};

// The program the default "メモ帳" viewer starts: the first common desktop text editor found on
// PATH, else "xdg-open".
QString Get_DefaultTextEditor();

}  // namespace kestrel
