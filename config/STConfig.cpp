#include "STConfig.h"

#include <QDir>
#include <QStandardPaths>

namespace kestrel {

QString Get_SystemTempDirectory() {
    QString strPath = QDir::tempPath();
    if (!strPath.endsWith(u'/')) strPath += u'/';
    return strPath;
}

QString Get_DefaultTextEditor() {
    static const char* const c_aszEditors[] = {
        "gnome-text-editor", "gedit",   "kate", "kwrite", "mousepad", "pluma", "xed",
        "featherpad",        "leafpad",
    };
    for (const char* szEditor : c_aszEditors) {
        // The bare name, as "notepad.exe" was: found through PATH when the viewer starts.
        QString strName = QString::fromLatin1(szEditor);
        if (!QStandardPaths::findExecutable(strName).isEmpty()) return strName;
    }
    return QStringLiteral("xdg-open");
}

STGeneral::STGeneral() : strUserTempDirectory(Get_SystemTempDirectory()) {}

STOpen::STOpen()
    : stViewerApplications{
          {QStringLiteral("関連づけ"), QString::fromLatin1(c_szRelateViewer), false},
          {QStringLiteral("メモ帳"), Get_DefaultTextEditor(), true},
      } {}

}  // namespace kestrel
