// What the window does with user actions: forwarding to the driver, select all, context-menu
// rules, the window's life events and the status bar widths.
#include <gtest/gtest.h>

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidgetItem>

#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// Rows without items: enough for a million-row list.
class CRowsModel : public QAbstractTableModel {
public:
    explicit CRowsModel(int nRows) : m_nRows(nRows) {}
    int rowCount(const QModelIndex& c_parent = {}) const override {
        return c_parent.isValid() ? 0 : m_nRows;
    }
    int columnCount(const QModelIndex& c_parent = {}) const override {
        return c_parent.isValid() ? 0 : Column_Count;
    }
    QVariant data(const QModelIndex& c_index, int nRole) const override {
        if (nRole != Qt::DisplayRole) return {};
        return QStringLiteral("row %1").arg(c_index.row());
    }

private:
    int m_nRows;
};

QTreeWidgetItem* AddNode(QTreeWidget* pTree, QTreeWidgetItem* pParent, const QString& c_strText,
                         const QString& c_strName) {
    auto* pNode = pParent ? new QTreeWidgetItem(pParent) : new QTreeWidgetItem(pTree);
    pNode->setText(0, c_strText);
    CFolderTreeView::SetNodeName(pNode, c_strName);
    return pNode;
}

struct TreeNodes {
    QTreeWidgetItem* pAll;
    QTreeWidgetItem* pRoot;
    QTreeWidgetItem* pDoc;
};

TreeNodes FillTree(CFolderTreeView* pTree) {
    TreeNodes nodes;
    nodes.pAll = AddNode(pTree, nullptr, QStringLiteral("[全てのファイル]"), QString());
    nodes.pRoot = AddNode(pTree, nullptr, QStringLiteral("[ルート]"), QStringLiteral("/"));
    nodes.pDoc = AddNode(pTree, nodes.pRoot, QStringLiteral("doc"), QStringLiteral("/doc/"));
    pTree->expandAll();
    return nodes;
}

void RightClick(QWidget* pViewport, const QPoint& c_pt) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, c_pt, pViewport->mapToGlobal(c_pt));
    QApplication::sendEvent(pViewport, &event);
}

void ShowWindow(Form_FilerMain& frm) {
    frm.show();
    QCoreApplication::processEvents();
}

}  // namespace

TEST(WindowEvents, LoadShownAndClosedReachTheDriverInOrder) {
    TestWindow w = MakeWindow();
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());
    w.frm->show();
    // Placement and widths come before the window is first shown, the command line after.
    ASSERT_GE(w.pDriver->lstCalls.size(), 2);
    EXPECT_EQ(w.pDriver->lstCalls[0], "RestoreWindow()");
    EXPECT_EQ(w.pDriver->lstCalls[1], "UI_Update_StatusBar_ItemWidth()");
    EXPECT_EQ(w.pDriver->CountOf("File_Open_CommandArgs"), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.pDriver->CountOf("File_Open_CommandArgs"), 1);

    // Showing again later (for example after being hidden) neither restores nor reopens.
    w.frm->hide();
    w.frm->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.pDriver->CountOf("RestoreWindow"), 1);
    EXPECT_EQ(w.pDriver->CountOf("File_Open_CommandArgs"), 1);

    // A size change recomputes the status widths.
    const int nBefore = w.pDriver->CountOf("UI_Update_StatusBar_ItemWidth");
    w.frm->resize(w.frm->width() + 50, w.frm->height());
    QCoreApplication::processEvents();
    EXPECT_GT(w.pDriver->CountOf("UI_Update_StatusBar_ItemWidth"), nBefore);

    // 終了 closes the window; closing is never refused and the driver then closes the archive.
    EXPECT_EQ(w.pDriver->CountOf("File_Close"), 0);
    FindItem(*w.frm, FormName::frmMenu_File_Exit)->trigger();
    EXPECT_FALSE(w.frm->isVisible());
    EXPECT_EQ(w.pDriver->CountOf("File_Close"), 1);
}

TEST(WindowEvents, CommandsAreForwarded) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    CRecordingDriver& d = *w.pDriver;
    // The driver enables these after an open.
    for (const char* pszName :
         {FormName::frmMenu_Edit_Select_Thaw, FormName::frmToolBar_Edit_Select_Thow,
          FormName::frmToolBar_Edit_Select_Open, FormName::frmListView_Menu_Select_Thaw,
          FormName::frmTreeView_Menu_Select_Thaw_Include_SubFolder,
          FormName::frmTreeView_Menu_Select_Thaw_Only_CurrentFolder}) {
        FindItem(frm, pszName)->setEnabled(true);
    }

    const std::pair<const char*, const char*> cases[] = {
        {FormName::frmMenu_File_New, "File_Open_NewWindow(,false)"},
        {FormName::frmToolBar_File_New, "File_Open_NewWindow(,false)"},
        {FormName::frmMenu_File_Open, "File_Open_OpenDialog()"},
        {FormName::frmToolBar_File_Open, "File_Open_OpenDialog()"},
        {FormName::frmMenu_Edit_Select_Thaw, "Edit_Extract_ListView()"},
        {FormName::frmToolBar_Edit_Select_Thow, "Edit_Extract_ListView()"},
        {FormName::frmListView_Menu_Select_Thaw, "Edit_Extract_ListView()"},
        {FormName::frmToolBar_Edit_Select_Open, "Edit_Open_Click_EventHandler()"},
        {FormName::frmTreeView_Menu_Select_Thaw_Include_SubFolder, "Edit_Extract_TreeView(true)"},
        {FormName::frmTreeView_Menu_Select_Thaw_Only_CurrentFolder, "Edit_Extract_TreeView(false)"},
        {FormName::frmMenu_Option_Option, "ShowDialog_Config()"},
        {FormName::frmToolBar_Option_Option, "ShowDialog_Config()"},
        {FormName::frmMenu_Help_About, "ShowDialog_About()"},
    };
    for (const auto& [pszItem, pszCall] : cases) {
        d.lstCalls.clear();
        FindItem(frm, pszItem)->trigger();
        EXPECT_EQ(d.lstCalls, QStringList({pszCall})) << pszItem;
    }
    // The split button's main part names the button as its sender.
    d.pLastSender = nullptr;
    FindItem(frm, FormName::frmToolBar_Edit_Select_Open)->trigger();
    EXPECT_EQ(d.pLastSender, frm.frmToolBar->widgetForAction(
                                 FindItem(frm, FormName::frmToolBar_Edit_Select_Open)));

    // Inert and hidden items do nothing even when enabled.
    d.lstCalls.clear();
    for (const char* pszName :
         {FormName::frmMenu_Edit_Arc_Thaw, FormName::frmToolBar_Edit_Arc_Thaw,
          FormName::frmMenu_Edit_Arc_Check, FormName::frmToolBar_Edit_Arc_Check,
          FormName::frmMenu_Edit_Arc_Add, FormName::frmMenu_File_Save,
          FormName::frmMenu_File_SaveAs, FormName::frmMenu_Edit_Select_Rename,
          FormName::frmListView_Menu_Select_Delete, FormName::frmTreeView_Menu_Select_Rename,
          FormName::frmMenu_Edit_Select_Open}) {
        QAction* pItem = FindItem(frm, pszName);
        pItem->setEnabled(true);
        pItem->trigger();
    }
    EXPECT_TRUE(d.lstCalls.isEmpty()) << d.lstCalls.join(' ').toStdString();
}

TEST(WindowEvents, DisabledMenuBarOrToolBarStopsTheirCommands) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    frm.frmMenu->setEnabled(false);
    frm.frmToolBar->setEnabled(false);
    // A shortcut still triggers the item; the window must not pass it on.
    for (const char* pszName :
         {FormName::frmMenu_File_New, FormName::frmMenu_File_Open, FormName::frmToolBar_File_New,
          FormName::frmToolBar_File_Open, FormName::frmMenu_Edit_SelectAll}) {
        FindItem(frm, pszName)->setEnabled(true);
        FindItem(frm, pszName)->trigger();
    }
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty()) << w.pDriver->lstCalls.join(' ').toStdString();
    frm.frmMenu->setEnabled(true);
    FindItem(frm, FormName::frmMenu_File_Open)->trigger();
    EXPECT_EQ(w.pDriver->lstCalls, QStringList({"File_Open_OpenDialog()"}));
}

TEST(WindowEvents, SelectAllSelectsEveryRowAndReportsEachChange) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    ShowWindow(frm);
    CRowsModel rows(5);
    frm.frmListView->SetRowModel(&rows);
    QItemSelectionModel* pSelection = frm.frmListView->selectionModel();
    w.pDriver->lstCalls.clear();

    // Disabled before an open: neither the item nor the list's own Ctrl+A selects anything.
    QAction* pSelectAll = FindItem(frm, FormName::frmMenu_Edit_SelectAll);
    pSelectAll->trigger();
    QKeyEvent ctrlA(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
    QApplication::sendEvent(frm.frmListView, &ctrlA);
    EXPECT_FALSE(pSelection->hasSelection());
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());

    pSelectAll->setEnabled(true);
    pSelection->select(rows.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(w.pDriver->lstCalls, QStringList({"UI_Update_SelectItemStatus(2,true)"}));
    w.pDriver->lstCalls.clear();

    frm.activateWindow();
    pSelectAll->trigger();
    EXPECT_EQ(frm.frmListView->SelectedRows(), QList<int>({0, 1, 2, 3, 4}));
    // Only the rows that changed, once each, in order.
    EXPECT_EQ(
        w.pDriver->lstCalls,
        QStringList({"UI_Update_SelectItemStatus(0,true)", "UI_Update_SelectItemStatus(1,true)",
                     "UI_Update_SelectItemStatus(3,true)", "UI_Update_SelectItemStatus(4,true)"}));
    EXPECT_EQ(QApplication::focusWidget(), frm.frmListView);

    // Again: nothing changes, nothing is reported.
    w.pDriver->lstCalls.clear();
    pSelectAll->trigger();
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());

    // Selecting one row alone deselects the others, each reported.
    pSelection->select(frm.frmListView->model()->index(1, 0),
                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(w.pDriver->CountOf("UI_Update_SelectItemStatus"), 4);
    EXPECT_EQ(w.pDriver->CountOf("UI_Update_SelectItemStatus(1,"), 0);
    EXPECT_EQ(w.pDriver->lstCalls.filter(",false)").size(), 4);

    // An empty list: nothing to select.
    frm.frmListView->SetRowModel(nullptr);
    w.pDriver->lstCalls.clear();
    pSelectAll->trigger();
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());
}

TEST(WindowEvents, SelectAllOfAMillionRowsIsOneSelectionChange) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    ShowWindow(frm);
    CRowsModel rows(1000000);
    frm.frmListView->SetRowModel(&rows);
    FindItem(frm, FormName::frmMenu_Edit_SelectAll)->setEnabled(true);

    int nChanges = 0;
    QObject::connect(frm.frmListView->selectionModel(), &QItemSelectionModel::selectionChanged,
                     [&nChanges] { ++nChanges; });
    w.pDriver->lstCalls.reserve(1000000);
    QElapsedTimer clock;
    clock.start();
    FindItem(frm, FormName::frmMenu_Edit_SelectAll)->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(nChanges, 1);
    EXPECT_EQ(w.pDriver->CountOf("UI_Update_SelectItemStatus"), 1000000);
    EXPECT_EQ(w.pDriver->lstCalls.last(), "UI_Update_SelectItemStatus(999999,true)");
    EXPECT_EQ(frm.frmListView->selectionModel()->selection().size(), 1);
    // Generous: selecting row by row would take minutes.
    EXPECT_LT(clock.elapsed(), 20000);
}

TEST(WindowEvents, TreeSelectionAndDoubleClickReachTheDriver) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    ShowWindow(frm);
    const TreeNodes nodes = FillTree(frm.frmTreeView);
    w.pDriver->lstCalls.clear();

    frm.frmTreeView->setCurrentItem(nodes.pDoc);
    EXPECT_EQ(w.pDriver->lstCalls, QStringList({"UI_Update_FolderList(/doc/)"}));
    EXPECT_EQ(w.pDriver->pLastNode, nodes.pDoc);
    frm.frmTreeView->setCurrentItem(nodes.pAll);
    EXPECT_EQ(w.pDriver->lstCalls.last(), "UI_Update_FolderList()");

    // Emptying the tree selects nothing new.
    w.pDriver->lstCalls.clear();
    frm.frmTreeView->clear();
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());

    QStandardItemModel rows(3, Column_Count);
    frm.frmListView->SetRowModel(&rows);
    w.pDriver->pLastSender = nullptr;
    emit frm.frmListView->doubleClicked(frm.frmListView->model()->index(1, 0));
    EXPECT_EQ(w.pDriver->lstCalls.last(), "Edit_Open_Click_EventHandler()");
    EXPECT_EQ(w.pDriver->pLastSender, frm.frmListView);
}

TEST(WindowEvents, TreeContextMenuOnlyForFolderNodes) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    ShowWindow(frm);
    const TreeNodes nodes = FillTree(frm.frmTreeView);
    frm.frmTreeView->setCurrentItem(nodes.pAll);
    w.pDriver->lstCalls.clear();
    QWidget* pViewport = frm.frmTreeView->viewport();
    QMenu* pMenu = frm.frmTreeView_ContextMenuStrip;

    // Empty space below the nodes.
    RightClick(pViewport, QPoint(5, pViewport->height() - 3));
    EXPECT_FALSE(pMenu->isVisible());
    // The all-files node has no folder name.
    RightClick(pViewport, frm.frmTreeView->visualItemRect(nodes.pAll).center());
    EXPECT_FALSE(pMenu->isVisible());
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());

    // A folder node is selected first, which refills the list, and then the menu opens.
    RightClick(pViewport, frm.frmTreeView->visualItemRect(nodes.pDoc).center());
    EXPECT_EQ(frm.frmTreeView->currentItem(), nodes.pDoc);
    EXPECT_EQ(w.pDriver->lstCalls, QStringList({"UI_Update_FolderList(/doc/)"}));
    EXPECT_TRUE(pMenu->isVisible());
    pMenu->hide();

    EXPECT_TRUE(frm.frmTreeView_ContextMenuStrip_Opening(
        frm.frmTreeView->visualItemRect(nodes.pRoot).center()));
    EXPECT_EQ(frm.frmTreeView->currentItem(), nodes.pRoot);
    pMenu->hide();
}

TEST(WindowEvents, ListContextMenuOnlyWithASelection) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    ShowWindow(frm);
    QStandardItemModel rows(3, Column_Count);
    frm.frmListView->SetRowModel(&rows);
    QWidget* pViewport = frm.frmListView->viewport();
    QMenu* pMenu = frm.frmListView_ContextMenuStrip;

    RightClick(pViewport, QPoint(10, 5));
    EXPECT_FALSE(pMenu->isVisible());

    frm.frmListView->selectionModel()->select(
        frm.frmListView->model()->index(0, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    RightClick(pViewport, QPoint(10, 5));
    EXPECT_TRUE(pMenu->isVisible());
    pMenu->hide();
}

TEST(WindowEvents, StatusItemWidthsFollowTheWindow) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    ShowWindow(frm);
    frm.resize(1020, 600);
    QCoreApplication::processEvents();
    ASSERT_EQ(frm.frmStatusBar->width(), 1020);
    EXPECT_EQ(frm.frmStatus_Select->maximumWidth(), 260);
    EXPECT_EQ(frm.frmStatus_Directory->maximumWidth(), 280);
    EXPECT_EQ(frm.frmStatus_Archive->maximumWidth(), 460);
    EXPECT_EQ(frm.frmStatus_ProgressBar->maximumWidth(), 0);
    // The labels take their widths, in order, and never push the window wider.
    EXPECT_GT(frm.frmStatus_Select->width(), 200);
    EXPECT_GT(frm.frmStatus_Archive->width(), frm.frmStatus_Directory->width());
    EXPECT_EQ(frm.width(), 1020);

    w.pDriver->SetFileOpenMode(true);
    w.pDriver->UI_Update_StatusBar_ItemWidth();
    EXPECT_EQ(frm.frmStatus_Select->maximumWidth(), 0);
    EXPECT_EQ(frm.frmStatus_Directory->maximumWidth(), 0);
    EXPECT_EQ(frm.frmStatus_Archive->maximumWidth(), 0);
    EXPECT_EQ(frm.frmStatus_ProgressBar->maximumWidth(), 1000);
    frm.frmStatus_Select->hide();
    frm.frmStatus_Directory->hide();
    frm.frmStatus_Archive->hide();
    frm.frmStatus_ProgressBar->show();
    QCoreApplication::processEvents();
    EXPECT_GT(frm.frmStatus_ProgressBar->width(), 900);
    EXPECT_EQ(frm.width(), 1020);

    // Truncating arithmetic, and never a negative width for a very narrow bar.
    w.pDriver->SetFileOpenMode(false);
    frm.resize(1019, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(frm.frmStatus_Select->maximumWidth(), 999 * 26 / 100);
    EXPECT_EQ(frm.frmStatus_Directory->maximumWidth(), 999 * 28 / 100);
    EXPECT_EQ(frm.frmStatus_Archive->maximumWidth(), 999 * 46 / 100);
    frm.frmStatusBar->resize(10, frm.frmStatusBar->height());
    w.pDriver->UI_Update_StatusBar_ItemWidth();
    EXPECT_EQ(frm.frmStatus_Select->maximumWidth(), 0);
    EXPECT_EQ(frm.frmStatus_Archive->maximumWidth(), 0);
}
