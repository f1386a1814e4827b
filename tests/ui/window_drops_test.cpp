// Which drops the window and the file list take, and what a taken drop does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStandardItemModel>
#include <QTreeWidgetItem>
#include <QUrl>

#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

const Qt::DropActions c_eFromFileManager = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

std::unique_ptr<QMimeData> Files(const QStringList& c_lstUrls) {
    auto pData = std::make_unique<QMimeData>();
    QList<QUrl> lstUrls;
    for (const QString& c_str : c_lstUrls) lstUrls << QUrl(c_str);
    pData->setUrls(lstUrls);
    return pData;
}

struct DragResult {
    bool bAccepted;
    Qt::DropAction eAction;
};

// A drag entering pTarget, as the platform delivers it (to the first widget that takes it).
DragResult Enter(QWidget* pTarget, const QMimeData* pData,
                 Qt::KeyboardModifiers eKeys = Qt::NoModifier,
                 Qt::DropActions eOffered = c_eFromFileManager) {
    QDragEnterEvent enter(QPoint(20, 20), eOffered, pData, Qt::LeftButton, eKeys);
    QApplication::sendEvent(pTarget, &enter);
    if (!enter.isAccepted()) return {false, Qt::IgnoreAction};
    QDragMoveEvent move(QPoint(22, 22), eOffered, pData, Qt::LeftButton, eKeys);
    QApplication::sendEvent(pTarget, &move);
    return {move.isAccepted(), move.dropAction()};
}

DragResult Drop(QWidget* pTarget, const QMimeData* pData,
                Qt::KeyboardModifiers eKeys = Qt::NoModifier,
                Qt::DropActions eOffered = c_eFromFileManager) {
    const DragResult entered = Enter(pTarget, pData, eKeys, eOffered);
    if (!entered.bAccepted) return entered;
    QDropEvent drop(QPointF(22, 22), eOffered, pData, Qt::LeftButton, eKeys);
    QApplication::sendEvent(pTarget, &drop);
    return {drop.isAccepted(), drop.dropAction()};
}

}  // namespace

TEST(WindowDrops, FilesDroppedOnTheWindowOpen) {
    TestWindow w = MakeShownWindow();
    auto pData = Files({"file:///tmp/a.lzh", "file:///tmp/b%20c.zip", "file:///tmp/d.7z"});

    const DragResult result = Drop(w.frm.get(), pData.get());
    EXPECT_TRUE(result.bAccepted);
    // Reading a file is no move: the source must never think its files were taken away.
    EXPECT_EQ(result.eAction, Qt::CopyAction);
    EXPECT_EQ(w.pDriver->lstCalls,
              QStringList({"File_Open_NewWindows(/tmp/a.lzh|/tmp/b c.zip|/tmp/d.7z)"}));
}

TEST(WindowDrops, OnlyLocalFilesAreTaken) {
    TestWindow w = MakeShownWindow();

    auto pRemote = Files({"https://example.org/a.zip", "sftp://host/b.zip"});
    EXPECT_FALSE(Enter(w.frm.get(), pRemote.get()).bAccepted);
    auto pText = std::make_unique<QMimeData>();
    pText->setText("/tmp/a.lzh");
    EXPECT_FALSE(Enter(w.frm.get(), pText.get()).bAccepted);
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());

    auto pMixed = Files({"https://example.org/a.zip", "file:///tmp/x.lzh"});
    EXPECT_TRUE(Drop(w.frm.get(), pMixed.get()).bAccepted);
    EXPECT_EQ(w.pDriver->lstCalls, QStringList({"File_Open_NewWindows(/tmp/x.lzh)"}));

    // A source that only lets its files be moved away is refused rather than told they moved.
    w.pDriver->lstCalls.clear();
    auto pFiles = Files({"file:///tmp/a.lzh"});
    EXPECT_FALSE(Drop(w.frm.get(), pFiles.get(), Qt::NoModifier, Qt::MoveAction).bAccepted);
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());
}

TEST(WindowDrops, FileListOpensWithoutCtrlAndDoesNothingWithCtrl) {
    TestWindow w = MakeShownWindow();
    QWidget* pListArea = w.frm->frmListView->viewport();
    auto pData = Files({"file:///tmp/a.lzh", "file:///tmp/b.lzh"});

    EXPECT_TRUE(Drop(pListArea, pData.get()).bAccepted);
    EXPECT_EQ(w.pDriver->lstCalls, QStringList({"File_Open_NewWindows(/tmp/a.lzh|/tmp/b.lzh)"}));

    // Ctrl asks to copy into the archive, which never changes: the files are not opened.
    w.pDriver->lstCalls.clear();
    EXPECT_TRUE(Enter(pListArea, pData.get(), Qt::ControlModifier).bAccepted);
    Drop(pListArea, pData.get(), Qt::ControlModifier);
    EXPECT_TRUE(w.pDriver->lstCalls.isEmpty());
}

TEST(WindowDrops, AfterTheFirstOpenStartsTheWindowTakesDropsOverTheList) {
    TestWindow w = MakeShownWindow();
    w.frm->Set_ListViewAcceptDrops(false);
    QWidget* pListArea = w.frm->frmListView->viewport();
    EXPECT_FALSE(pListArea->acceptDrops());
    EXPECT_FALSE(w.frm->frmListView->acceptDrops());

    // Over the list the window's rule holds now, and Ctrl makes no difference.
    auto pData = Files({"file:///tmp/a.lzh"});
    EXPECT_TRUE(Drop(pListArea, pData.get(), Qt::ControlModifier).bAccepted);
    EXPECT_EQ(w.pDriver->lstCalls, QStringList({"File_Open_NewWindows(/tmp/a.lzh)"}));

    // Over the tree, too.
    w.pDriver->lstCalls.clear();
    EXPECT_TRUE(Drop(w.frm->frmTreeView->viewport(), pData.get()).bAccepted);
    EXPECT_EQ(w.pDriver->lstCalls, QStringList({"File_Open_NewWindows(/tmp/a.lzh)"}));
}

TEST(WindowDrops, OwnDragsNeverDropBackIn) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    frm.show();
    auto pData = Files({"file:///tmp/kestrel/doc/a.txt"});

    struct Seen {
        bool bListFlag = false, bTreeFlag = false;
        bool bWindowTook = true, bListTook = true, bTreeTook = true;
    };
    Seen seen;
    w.pDriver->fnDuringDrag = [&] {
        seen.bListFlag = frm.bListViewDrag();
        seen.bTreeFlag = frm.bTreeViewDrag();
        seen.bWindowTook = Drop(&frm, pData.get()).bAccepted;
        seen.bListTook = Drop(frm.frmListView->viewport(), pData.get()).bAccepted;
        seen.bTreeTook = Drop(frm.frmTreeView->viewport(), pData.get()).bAccepted;
    };

    // A drag out of the list.
    QStandardItemModel rows(2, Column_Count);
    frm.frmListView->SetRowModel(&rows);
    frm.frmListView->selectionModel()->select(
        frm.frmListView->model()->index(0, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    emit frm.frmListView->ItemDrag();
    EXPECT_TRUE(seen.bListFlag);
    EXPECT_FALSE(seen.bTreeFlag);
    EXPECT_FALSE(seen.bWindowTook);
    EXPECT_FALSE(seen.bListTook);
    EXPECT_FALSE(seen.bTreeTook);
    EXPECT_FALSE(frm.bListViewDrag());
    EXPECT_EQ(w.pDriver->pLastSender, frm.frmListView);

    // A drag out of the tree, with its node.
    seen = Seen();
    auto* pNode = new QTreeWidgetItem(frm.frmTreeView, {"doc"});
    CFolderTreeView::SetNodeName(pNode, "/doc/");
    emit frm.frmTreeView->ItemDrag(pNode);
    EXPECT_FALSE(seen.bListFlag);
    EXPECT_TRUE(seen.bTreeFlag);
    EXPECT_FALSE(seen.bWindowTook);
    EXPECT_FALSE(seen.bListTook);
    EXPECT_FALSE(seen.bTreeTook);
    EXPECT_FALSE(frm.bTreeViewDrag());
    EXPECT_EQ(w.pDriver->pLastNode, pNode);
    EXPECT_EQ(w.pDriver->pLastSender, frm.frmTreeView);

    EXPECT_EQ(w.pDriver->CountOf("File_Open_NewWindows"), 0);
    // Once the drag has ended, dropped files open again.
    EXPECT_TRUE(Drop(&frm, pData.get()).bAccepted);
    EXPECT_EQ(w.pDriver->CountOf("File_Open_NewWindows"), 1);
}

TEST(WindowDrops, DroppedFilesKeepsLocalPathsInOrder) {
    auto pData = Files({"file:///b/%E6%9B%B8%E5%BA%AB.lzh", "http://x/y", "file:///a/c.zip"});
    EXPECT_EQ(Form_FilerMain::DroppedFiles(pData.get()),
              QStringList({QStringLiteral("/b/書庫.lzh"), "/a/c.zip"}));
    EXPECT_TRUE(Form_FilerMain::DroppedFiles(nullptr).isEmpty());
    QMimeData empty;
    EXPECT_TRUE(Form_FilerMain::DroppedFiles(&empty).isEmpty());
}
