// A main window whose driver records what the window forwards to it.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <ostream>

#include "CForm_FilerMain_Driver.h"
#include "Form_FilerMain.h"
#include "Form_FilerMain_Names.h"

class QAction;
class QIcon;

// Readable failure messages for Qt strings.
void PrintTo(const QString& c_str, std::ostream* pOut);
void PrintTo(const QStringList& c_lst, std::ostream* pOut);

namespace kestrel::test {

class CRecordingDriver : public CForm_FilerMain_Driver {
public:
    using CForm_FilerMain_Driver::CForm_FilerMain_Driver;

    // Every forwarded call as "Name(arguments)", in order.
    QStringList lstCalls;
    QObject* pLastSender = nullptr;
    QTreeWidgetItem* pLastNode = nullptr;
    // Run inside a drag, while the window's drag flag is set.
    std::function<void()> fnDuringDrag;

    void SetFileOpenMode(bool bFileOpenMode) { m_bFileOpenMode = bFileOpenMode; }
    int CountOf(const QString& c_strPrefix) const;

    void File_Open_CommandArgs() override;
    void File_Open_OpenDialog() override;
    void File_Open_NewWindow(const QString& c_strOpenFileName, bool bAllowCurrentWindow) override;
    void File_Open_NewWindows(const QStringList& c_strOpenFileNames) override;
    void File_Close() override;
    void RestoreWindow() override;
    bool Edit_Extract_ListView() override;
    bool Edit_Extract_TreeView(bool bIncludeSubFolder) override;
    void Edit_Open_Click_EventHandler(QObject* pSender) override;
    Qt::DropAction DoDragDrop_ListView(QWidget* pSender) override;
    Qt::DropAction DoDragDrop_TreeView(QWidget* pSender, QTreeWidgetItem* pNode) override;
    void UI_Update_FolderList(QTreeWidgetItem* pNode) override;
    void UI_Update_SelectItemStatus(int nRow, bool bIsSelected) override;
    void UI_Update_StatusBar_ItemWidth() override;
    void ShowDialog_Config() override;
    void ShowDialog_About() override;
};

struct TestWindow {
    std::unique_ptr<Form_FilerMain> frm;
    CRecordingDriver* pDriver = nullptr;
};

// Shown, with its first events handled and the calls they made forgotten.
TestWindow MakeShownWindow();

// c_strImageFolder empty: a folder that does not exist, so every image is the embedded one.
TestWindow MakeWindow(const QString& c_strImageFolder = QString());

QAction* FindItem(const Form_FilerMain& c_frm, const char* pszName);
QImage IconImage(const QIcon& c_icon);
QImage EmbeddedImage(const char* pszFile);
bool SameImage(const QImage& c_a, const QImage& c_b);

}  // namespace kestrel::test
