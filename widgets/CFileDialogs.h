// The folder and file choosers of the program (the options dialog, the open and extract
// commands), in one place so that tests can answer them without a modal loop (SetHooks). Each
// returns the chosen path, or an empty string when the user cancelled.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kestrel::CFileDialogs {

QString ChooseFolder(QWidget* pParent, const QString& c_strCaption, const QString& c_strStart);
QString ChooseOpenFile(QWidget* pParent, const QString& c_strCaption, const QString& c_strStart,
                       const QString& c_strFilter);

// Hooks see the same arguments as the real dialogs; an empty hook restores the real dialog.
using FolderHook =
    std::function<QString(QWidget*, const QString& c_strCaption, const QString& c_strStart)>;
using FileHook = std::function<QString(QWidget*, const QString& c_strCaption,
                                       const QString& c_strStart, const QString& c_strFilter)>;
void SetHooks(FolderHook folderHook, FileHook fileHook);

}  // namespace kestrel::CFileDialogs
