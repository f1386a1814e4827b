#include "CFileDialogs.h"

#include <QFileDialog>

namespace kestrel::CFileDialogs {

namespace {

FolderHook& CurrentFolderHook() {
    static FolderHook hook;
    return hook;
}

FileHook& CurrentFileHook() {
    static FileHook hook;
    return hook;
}

}  // namespace

QString ChooseFolder(QWidget* pParent, const QString& c_strCaption, const QString& c_strStart) {
    if (CurrentFolderHook()) return CurrentFolderHook()(pParent, c_strCaption, c_strStart);
    return QFileDialog::getExistingDirectory(pParent, c_strCaption, c_strStart,
                                             QFileDialog::ShowDirsOnly);
}

QString ChooseOpenFile(QWidget* pParent, const QString& c_strCaption, const QString& c_strStart,
                       const QString& c_strFilter) {
    if (CurrentFileHook()) {
        return CurrentFileHook()(pParent, c_strCaption, c_strStart, c_strFilter);
    }
    return QFileDialog::getOpenFileName(pParent, c_strCaption, c_strStart, c_strFilter);
}

void SetHooks(FolderHook folderHook, FileHook fileHook) {
    CurrentFolderHook() = std::move(folderHook);
    CurrentFileHook() = std::move(fileHook);
}

}  // namespace kestrel::CFileDialogs
