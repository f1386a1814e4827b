// The controller behind the main window: the window forwards every user action here, and this
// class opens archives, runs the commands and keeps the status bar up to date.
#pragma once

#include <QString>
#include <QStringList>
#include <Qt>

class QLabel;
class QMenu;
class QMenuBar;
class QObject;
class QProgressBar;
class QStatusBar;
class QToolBar;
class QTreeWidgetItem;
class QWidget;

namespace kestrel {

class CFileListView;
class CFolderTreeView;
class Form_FilerMain;

class CForm_FilerMain_Driver {
public:
    // The controls are lent by the window and live as long as it does.
    CForm_FilerMain_Driver(Form_FilerMain* frmWindow, CFolderTreeView* frmTreeView,
                           CFileListView* frmListView, QLabel* frmListLabel, QMenuBar* frmMenuStrip,
                           QToolBar* frmToolStrip, QStatusBar* frmStatusStrip,
                           QLabel* frmStatusLabel_Select, QLabel* frmStatusLabel_Directory,
                           QLabel* frmStatusLabel_Archive, QProgressBar* frmStatusProgressBar,
                           QMenu* frmTreeView_ContextMenuStrip,
                           QMenu* frmListView_ContextMenuStrip);
    virtual ~CForm_FilerMain_Driver();
    CForm_FilerMain_Driver(const CForm_FilerMain_Driver&) = delete;
    CForm_FilerMain_Driver& operator=(const CForm_FilerMain_Driver&) = delete;

    // True while an archive is being read.
    bool bFileOpenMode() const { return m_bFileOpenMode; }

    // Opening and closing.
    virtual void File_Open_CommandArgs();
    virtual void File_Open_OpenDialog();
    // An empty c_strOpenFileName starts a new instance without a file.
    virtual void File_Open_NewWindow(const QString& c_strOpenFileName, bool bAllowCurrentWindow);
    virtual void File_Open_NewWindows(const QStringList& c_strOpenFileNames);
    virtual void File_Close();
    virtual void RestoreWindow();

    // Commands on the selected entries; false when nothing was done.
    virtual bool Edit_Extract_ListView();
    virtual bool Edit_Extract_TreeView(bool bIncludeSubFolder);
    virtual void Edit_Open_Click_EventHandler(QObject* pSender);
    // Run a drag out of the list or the tree to its end; the result is the drop's effect.
    virtual Qt::DropAction DoDragDrop_ListView(QWidget* pSender);
    virtual Qt::DropAction DoDragDrop_TreeView(QWidget* pSender, QTreeWidgetItem* pNode);

    // Views and status bar.
    virtual void UI_Update_FolderList(QTreeWidgetItem* pNode);
    // One list row's selected state has changed.
    virtual void UI_Update_SelectItemStatus(int nRow, bool bIsSelected);
    virtual void UI_Update_StatusBar_ItemWidth();

    virtual void ShowDialog_Config();
    virtual void ShowDialog_About();

protected:
    Form_FilerMain* m_frmWindow;
    CFolderTreeView* m_frmTreeView;
    CFileListView* m_frmListView;
    QLabel* m_frmListLabel;
    QMenuBar* m_frmMenuStrip;
    QToolBar* m_frmToolStrip;
    QStatusBar* m_frmStatusStrip;
    QLabel* m_frmStatusLabel_Select;
    QLabel* m_frmStatusLabel_Directory;
    QLabel* m_frmStatusLabel_Archive;
    QProgressBar* m_frmStatusProgressBar;
    QMenu* m_frmTreeView_ContextMenuStrip;
    QMenu* m_frmListView_ContextMenuStrip;

    bool m_bFileOpenMode = false;
    bool m_bEditArchive = false;
    int32_t m_nSelectedItemCount = 0;
    int64_t m_llSelectedItemFileSize = 0;
};

}  // namespace kestrel
