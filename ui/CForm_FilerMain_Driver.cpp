#include "CForm_FilerMain_Driver.h"

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <algorithm>

#include "Form_About.h"
#include "Form_FilerMain.h"

namespace kestrel {

namespace {

// The status bar lays out its items within these bounds; no lower bound of text width, so
// that the items never push the window wider than it is.
void SetStatusItemWidth(QWidget* pItem, int nWidth) {
    pItem->setMinimumWidth(nWidth > 0 ? 1 : 0);
    pItem->setMaximumWidth(nWidth);
}

}  // namespace

CForm_FilerMain_Driver::CForm_FilerMain_Driver(
    Form_FilerMain* frmWindow, CFolderTreeView* frmTreeView, CFileListView* frmListView,
    QLabel* frmListLabel, QMenuBar* frmMenuStrip, QToolBar* frmToolStrip,
    QStatusBar* frmStatusStrip, QLabel* frmStatusLabel_Select, QLabel* frmStatusLabel_Directory,
    QLabel* frmStatusLabel_Archive, QProgressBar* frmStatusProgressBar,
    QMenu* frmTreeView_ContextMenuStrip, QMenu* frmListView_ContextMenuStrip)
    : m_frmWindow(frmWindow),
      m_frmTreeView(frmTreeView),
      m_frmListView(frmListView),
      m_frmListLabel(frmListLabel),
      m_frmMenuStrip(frmMenuStrip),
      m_frmToolStrip(frmToolStrip),
      m_frmStatusStrip(frmStatusStrip),
      m_frmStatusLabel_Select(frmStatusLabel_Select),
      m_frmStatusLabel_Directory(frmStatusLabel_Directory),
      m_frmStatusLabel_Archive(frmStatusLabel_Archive),
      m_frmStatusProgressBar(frmStatusProgressBar),
      m_frmTreeView_ContextMenuStrip(frmTreeView_ContextMenuStrip),
      m_frmListView_ContextMenuStrip(frmListView_ContextMenuStrip) {
    // TODO(open workflow): create the open worker, the archive driver and the configuration.
}

CForm_FilerMain_Driver::~CForm_FilerMain_Driver() {
    // TODO(open workflow): store the window placement and save the configuration.
}

// TODO(open workflow): the following are still empty.
void CForm_FilerMain_Driver::File_Open_CommandArgs() {}
void CForm_FilerMain_Driver::File_Open_OpenDialog() {}
void CForm_FilerMain_Driver::File_Open_NewWindow(const QString&, bool) {}
void CForm_FilerMain_Driver::File_Open_NewWindows(const QStringList&) {}
void CForm_FilerMain_Driver::File_Close() {}
void CForm_FilerMain_Driver::RestoreWindow() {}

// TODO(commands): extraction, viewers and drag-out are still empty.
bool CForm_FilerMain_Driver::Edit_Extract_ListView() {
    return false;
}
bool CForm_FilerMain_Driver::Edit_Extract_TreeView(bool) {
    return false;
}
void CForm_FilerMain_Driver::Edit_Open_Click_EventHandler(QObject*) {}
Qt::DropAction CForm_FilerMain_Driver::DoDragDrop_ListView(QWidget*) {
    return Qt::IgnoreAction;
}
Qt::DropAction CForm_FilerMain_Driver::DoDragDrop_TreeView(QWidget*, QTreeWidgetItem*) {
    return Qt::IgnoreAction;
}

// TODO(status): the folder list and the selection figures are still empty.
void CForm_FilerMain_Driver::UI_Update_FolderList(QTreeWidgetItem*) {}
void CForm_FilerMain_Driver::UI_Update_SelectItemStatus(int, bool) {}

void CForm_FilerMain_Driver::UI_Update_StatusBar_ItemWidth() {
    const int nWidth = std::max(0, m_frmStatusStrip->width() - 20);
    if (m_bFileOpenMode) {
        SetStatusItemWidth(m_frmStatusLabel_Select, 0);
        SetStatusItemWidth(m_frmStatusLabel_Directory, 0);
        SetStatusItemWidth(m_frmStatusLabel_Archive, 0);
        SetStatusItemWidth(m_frmStatusProgressBar, nWidth);
    } else {
        SetStatusItemWidth(m_frmStatusLabel_Select, nWidth * 26 / 100);
        SetStatusItemWidth(m_frmStatusLabel_Directory, nWidth * 28 / 100);
        SetStatusItemWidth(m_frmStatusLabel_Archive, nWidth * 46 / 100);
        SetStatusItemWidth(m_frmStatusProgressBar, 0);
    }
}

// TODO(options dialog): still empty.
void CForm_FilerMain_Driver::ShowDialog_Config() {}

void CForm_FilerMain_Driver::ShowDialog_About() {
    Form_About frmAbout(m_frmWindow);
    frmAbout.exec();
}

}  // namespace kestrel
