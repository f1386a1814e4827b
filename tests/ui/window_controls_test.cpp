// Every control of the main window exists under its name, with its text, shortcut, state and
// place; the driver finds them by these names.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

enum : unsigned { Enabled = 1, Visible = 2, Separator = 4 };

struct ExpectedItem {
    const char* pszName;
    const char16_t* pszText;   // before the tab
    const char16_t* pszShown;  // after the tab; nullptr: no tab
    const char* pszShortcut;
    unsigned nFlags;
};

QStringList Names(const QList<QAction*>& c_lstItems) {
    QStringList lst;
    for (QAction* pItem : c_lstItems) lst << pItem->objectName();
    return lst;
}

void ExpectItems(QWidget* pOwner, std::initializer_list<ExpectedItem> lstExpectedItems) {
    ASSERT_NE(pOwner, nullptr);
    QStringList lstExpected;
    for (const ExpectedItem& c_expected : lstExpectedItems) lstExpected << c_expected.pszName;
    EXPECT_EQ(Names(pOwner->actions()), lstExpected) << pOwner->objectName().toStdString();

    for (const ExpectedItem& c_expected : lstExpectedItems) {
        SCOPED_TRACE(c_expected.pszName);
        QAction* pItem = pOwner->findChild<QAction*>(c_expected.pszName);
        ASSERT_NE(pItem, nullptr);
        EXPECT_EQ(pItem->isSeparator(), bool(c_expected.nFlags & Separator));
        if (c_expected.nFlags & Separator) continue;
        EXPECT_EQ(pItem->isEnabled(), bool(c_expected.nFlags & Enabled));
        EXPECT_EQ(pItem->isVisible(), bool(c_expected.nFlags & Visible));
        const QString strText = pItem->text();
        EXPECT_EQ(strText.section(u'\t', 0, 0), QString::fromUtf16(c_expected.pszText));
        if (c_expected.pszShown) {
            EXPECT_TRUE(strText.contains(u'\t'));
            EXPECT_EQ(strText.section(u'\t', 1), QString::fromUtf16(c_expected.pszShown));
        } else {
            EXPECT_FALSE(strText.contains(u'\t'));
        }
        EXPECT_EQ(pItem->shortcut(), QKeySequence(QString::fromLatin1(c_expected.pszShortcut)));
    }
}

}  // namespace

TEST(WindowControls, TitleIconAndLayout) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("ケストレル"));
    EXPECT_FALSE(frm.windowIcon().isNull());
    EXPECT_FALSE(frm.windowIcon().pixmap(QSize(16, 16)).isNull());

    EXPECT_EQ(frm.menuBar(), frm.frmMenu);
    EXPECT_EQ(frm.frmMenu->objectName(), "frmMenu");
    EXPECT_EQ(frm.frmToolBar->objectName(), "frmToolBar");
    EXPECT_EQ(frm.toolBarArea(frm.frmToolBar), Qt::TopToolBarArea);
    EXPECT_EQ(frm.frmToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(frm.centralWidget(), frm.MainSplitContainer);
    EXPECT_EQ(frm.MainSplitContainer->objectName(), "MainSplitContainer");
    EXPECT_TRUE(frm.MainSplitContainer->widget(0)->isAncestorOf(frm.frmTreeView));
    EXPECT_TRUE(frm.MainSplitContainer->widget(1)->isAncestorOf(frm.frmListView));

    for (QLabel* pCaption : {frm.TreeLabel, frm.frmLabel_CurrentDirectory}) {
        EXPECT_EQ(pCaption->frameShadow(), QFrame::Sunken);
        EXPECT_NE(pCaption->frameShape(), QFrame::NoFrame);
    }
    EXPECT_EQ(frm.TreeLabel->objectName(), "TreeLabel");
    EXPECT_EQ(frm.TreeLabel->text(), QStringLiteral("フォルダ一覧"));
    EXPECT_EQ(frm.frmLabel_CurrentDirectory->objectName(), "frmLabel_CurrentDirectory");
    EXPECT_EQ(frm.frmLabel_CurrentDirectory->text(), QStringLiteral("選択フォルダ"));
}

TEST(WindowControls, MenuBar) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;

    QStringList lstMenus;
    for (QAction* pItem : frm.frmMenu->actions()) lstMenus << pItem->menu()->objectName();
    EXPECT_EQ(lstMenus,
              QStringList({"frmMenu_File", "frmMenu_Edit", "MainMenu_Option", "MainMenu_Help"}));
    auto* pFile = frm.findChild<QMenu*>("frmMenu_File");
    auto* pEdit = frm.findChild<QMenu*>("frmMenu_Edit");
    auto* pOption = frm.findChild<QMenu*>("MainMenu_Option");
    auto* pHelp = frm.findChild<QMenu*>("MainMenu_Help");
    ASSERT_TRUE(pFile && pEdit && pOption && pHelp);
    EXPECT_EQ(pFile->title(), QStringLiteral("ファイル(&F)"));
    EXPECT_EQ(pEdit->title(), QStringLiteral("編集(&E)"));
    EXPECT_EQ(pOption->title(), QStringLiteral("設定(&O)"));
    EXPECT_EQ(pHelp->title(), QStringLiteral("ヘルプ(&H)"));

    ExpectItems(pFile,
                {
                    {"frmMenu_File_New", u"新規作成(&N)", u"Ctrl + N", "Ctrl+N", Enabled | Visible},
                    {"frmMenu_File_Open", u"開く(&O)", u"Ctrl + O", "Ctrl+O", Enabled | Visible},
                    {"frmMenu_File_Save", u"上書き保存(&S)", u"Ctrl + S", "Ctrl+S", 0},
                    {"frmMenu_File_SaveAs", u"名前を付けて保存(&A)", nullptr, "", 0},
                    {"frmMenu_File_Separator0", u"", nullptr, "", Separator},
                    {"frmMenu_File_Exit", u"終了(&X)", u"Alt + F4", "", Enabled | Visible},
                });
    ExpectItems(pEdit,
                {
                    {"frmMenu_Edit_Arc_Thaw", u"書庫を解凍(&K)", nullptr, "", Visible},
                    {"frmMenu_Edit_Arc_Add", u"書庫にファイルを追加(&A)", nullptr, "", 0},
                    {"MainMenu_Edit_Separator0", u"", nullptr, "", Separator},
                    {"frmMenu_Edit_SelectAll", u"全て選択(&S)", u"", "Ctrl+A", Visible},
                    {"toolStripSeparator1", u"", nullptr, "", Separator},
                    {"frmMenu_Edit_Select_Thaw", u"選択ファイルを解凍(&T)", nullptr, "", Visible},
                    {"frmMenu_Edit_Select_Open", u"選択ファイルを開く(&O)", nullptr, "", Visible},
                    {"frmMenu_Edit_Select_Rename", u"選択ファイルを名前変更(&R)", nullptr, "", 0},
                    {"frmMenu_Edit_Select_Delete", u"選択ファイルを削除(&D)", nullptr, "", 0},
                    {"MainMenu_Edit_Separator1", u"", nullptr, "", Separator},
                    {"frmMenu_Edit_Arc_Check", u"書庫を検査(&C)", nullptr, "", Visible},
                });
    ExpectItems(pOption,
                {{"frmMenu_Option_Option", u"オプション設定(&O)", nullptr, "", Enabled | Visible}});
    ExpectItems(pHelp,
                {{"frmMenu_Help_About", u"バージョン情報(&A)", nullptr, "", Enabled | Visible}});

    // The viewer items are added to this sub-menu; the item that opens it has the same name.
    auto* pViewers = frm.findChild<QMenu*>("frmMenu_Edit_Select_Open");
    ASSERT_NE(pViewers, nullptr);
    EXPECT_EQ(pViewers->menuAction(), FindItem(frm, "frmMenu_Edit_Select_Open"));
    // The default viewers, from the settings applied at start.
    ASSERT_EQ(pViewers->actions().size(), 2);
    EXPECT_EQ(pViewers->actions()[0]->objectName(), QStringLiteral("frmMenu_Edit_Select_Open_0"));
    EXPECT_EQ(pViewers->actions()[0]->text(), QStringLiteral("関連づけ(&0)"));
    EXPECT_EQ(pViewers->actions()[1]->text(), QStringLiteral("メモ帳(&1)"));
}

TEST(WindowControls, ToolBar) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    ExpectItems(frm.frmToolBar,
                {
                    {"frmToolBar_File_New", u"新規作成", nullptr, "", Enabled | Visible},
                    {"frmToolBar_File_Open", u"開く", nullptr, "", Enabled | Visible},
                    {"frmToolBar_File_Save", u"上書き保存", nullptr, "", 0},
                    {"MainToolBar_Separator0", u"", nullptr, "", Separator},
                    {"frmToolBar_Edit_Arc_Thaw", u"書庫を解凍", nullptr, "", Visible},
                    {"frmToolBar_Edit_Arc_Add", u"書庫にファイルを追加", nullptr, "", 0},
                    {"MainToolBar_Separator1", u"", nullptr, "", Separator},
                    {"frmToolBar_Edit_Select_Thow", u"選択ファイルを解凍", nullptr, "", Visible},
                    {"frmToolBar_Edit_Select_Open", u"選択ファイルを開く", nullptr, "", Visible},
                    {"frmToolBar_Edit_Select_Rename", u"選択ファイルを名前変更", nullptr, "", 0},
                    {"frmToolBar_Edit_Select_Delete", u"選択ファイルを削除", nullptr, "", 0},
                    {"MainToolBar_Separator2", u"", nullptr, "", Separator},
                    {"frmToolBar_Edit_Arc_Check", u"書庫を検査", nullptr, "", Visible},
                    {"MainToolBar_Separator3", u"", nullptr, "", Separator},
                    {"frmToolBar_Option_Option", u"設定", nullptr, "", Enabled | Visible},
                });
    // Buttons show their image; the text is the tool tip.
    for (QAction* pItem : frm.frmToolBar->actions()) {
        if (pItem->isSeparator()) continue;
        EXPECT_EQ(pItem->toolTip(), pItem->text()) << pItem->objectName().toStdString();
    }

    // The split button: its drop-down is a menu under the same name, and the button is in the
    // state of its item.
    QAction* pOpen = FindItem(frm, "frmToolBar_Edit_Select_Open");
    auto* pButton = qobject_cast<QToolButton*>(frm.frmToolBar->widgetForAction(pOpen));
    ASSERT_NE(pButton, nullptr);
    EXPECT_EQ(pButton->objectName(), "frmToolBar_Edit_Select_Open");
    EXPECT_EQ(pButton->popupMode(), QToolButton::MenuButtonPopup);
    auto* pDropDown = frm.findChild<QMenu*>("frmToolBar_Edit_Select_Open");
    ASSERT_NE(pDropDown, nullptr);
    EXPECT_EQ(pOpen->menu(), pDropDown);
    EXPECT_FALSE(pButton->isEnabled());
    pOpen->setEnabled(true);
    EXPECT_TRUE(pButton->isEnabled());
}

TEST(WindowControls, ContextMenus) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    EXPECT_EQ(frm.frmListView_ContextMenuStrip->objectName(), "frmListView_ContextMenuStrip");
    EXPECT_EQ(frm.frmTreeView_ContextMenuStrip->objectName(), "frmTreeView_ContextMenuStrip");
    ExpectItems(frm.frmListView_ContextMenuStrip,
                {
                    {"frmListView_Menu_Select_Thaw", u"解凍(&T)", nullptr, "", Visible},
                    {"frmListView_Menu_Select_Open", u"開く(&O)", nullptr, "", Visible},
                    {"frmListView_Menu_Select_Rename", u"名前変更(&R)", nullptr, "", 0},
                    {"frmListView_Menu_Select_Delete", u"削除(&D)", nullptr, "", 0},
                });
    ExpectItems(frm.frmTreeView_ContextMenuStrip,
                {
                    {"frmTreeView_Menu_Select_Thaw_Include_SubFolder",
                     u"解凍(サブフォルダ含む)(&T)", nullptr, "", Visible},
                    {"frmTreeView_Menu_Select_Thaw_Only_CurrentFolder",
                     u"解凍(このフォルダのみ)(&F)", nullptr, "", Visible},
                    {"frmTreeView_Menu_Select_Rename", u"名前変更(&R)", nullptr, "", 0},
                    {"frmTreeView_Menu_Select_Delete", u"削除(&D)", nullptr, "", 0},
                });
    auto* pViewers = frm.findChild<QMenu*>("frmListView_Menu_Select_Open");
    ASSERT_NE(pViewers, nullptr);
    EXPECT_EQ(pViewers->menuAction(), FindItem(frm, "frmListView_Menu_Select_Open"));
}

TEST(WindowControls, StatusBar) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    EXPECT_EQ(frm.statusBar(), frm.frmStatusBar);
    EXPECT_EQ(frm.frmStatusBar->objectName(), "frmStatusBar");

    const std::pair<QLabel*, QString> labels[] = {
        {frm.frmStatus_Select, QStringLiteral("選択ファイル情報")},
        {frm.frmStatus_Directory, QStringLiteral("選択フォルダ情報")},
        {frm.frmStatus_Archive, QStringLiteral("書庫情報")},
    };
    const char* names[] = {"frmStatus_Select", "frmStatus_Directory", "frmStatus_Archive"};
    int nPrevX = -1;
    for (size_t i = 0; i < std::size(labels); ++i) {
        QLabel* pLabel = labels[i].first;
        ASSERT_EQ(frm.findChild<QLabel*>(names[i]), pLabel);
        EXPECT_EQ(pLabel->parentWidget(), frm.frmStatusBar);
        EXPECT_EQ(pLabel->text(), labels[i].second);
        EXPECT_EQ(pLabel->frameShadow(), QFrame::Sunken);
        EXPECT_EQ(pLabel->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        EXPECT_GT(pLabel->x(), nPrevX);
        nPrevX = pLabel->x();
    }
    QProgressBar* pBar = frm.findChild<QProgressBar*>("frmStatus_ProgressBar");
    ASSERT_EQ(pBar, frm.frmStatus_ProgressBar);
    EXPECT_EQ(pBar->minimum(), 0);
    EXPECT_EQ(pBar->maximum(), 1000);
    EXPECT_EQ(pBar->value(), 0);
    EXPECT_TRUE(pBar->isHidden());
}

TEST(WindowControls, FileListAndFolderTree) {
    TestWindow w = MakeWindow();
    Form_FilerMain& frm = *w.frm;
    CFileListView* pList = frm.frmListView;
    ASSERT_EQ(frm.findChild<CFileListView*>("frmListView"), pList);

    const QStringList lstHeaders = {"ファイル名", "ファイルの種類", "サイズ",  "圧縮サイズ",
                                    "圧縮率",     "更新日時",       "フォルダ"};
    const Qt::Alignment eAlign[] = {Qt::AlignLeft,  Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight,
                                    Qt::AlignRight, Qt::AlignLeft, Qt::AlignLeft};
    QAbstractItemModel* pModel = pList->model();
    ASSERT_EQ(pModel->columnCount(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(pModel->headerData(i, Qt::Horizontal).toString(), lstHeaders[i]);
        const auto eHeader =
            pModel->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_EQ(eHeader & Qt::AlignHorizontal_Mask, eAlign[i]) << i;
        EXPECT_GT(pList->header()->sectionSize(i),
                  pList->fontMetrics().horizontalAdvance(lstHeaders[i]))
            << i;
    }
    EXPECT_FALSE(pList->header()->sectionsClickable());
    EXPECT_FALSE(pList->isSortingEnabled());
    EXPECT_FALSE(pList->rootIsDecorated());
    EXPECT_TRUE(pList->uniformRowHeights());
    EXPECT_EQ(pList->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(pList->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(pList->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(pList->wordWrap());
    EXPECT_EQ(pList->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(pList->font().pointSize(), 9);
    EXPECT_TRUE(pList->viewport()->acceptDrops());
    EXPECT_TRUE(frm.bListViewAcceptDrops());

    CFolderTreeView* pTree = frm.frmTreeView;
    ASSERT_EQ(frm.findChild<CFolderTreeView*>("frmTreeView"), pTree);
    EXPECT_FALSE(pTree->acceptDrops());
    EXPECT_FALSE(pTree->viewport()->acceptDrops());
    EXPECT_EQ(pTree->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(pTree->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(pTree->topLevelItemCount(), 0);
    EXPECT_EQ(frm.frmTreeView_ImageList.Keys(), QStringList({"Tree_Close.png", "Tree_Open.png"}));
    EXPECT_EQ(pTree->ImageDelegate()->ImageKey(), "Tree_Close.png");
    EXPECT_EQ(pTree->ImageDelegate()->SelectedImageKey(), "Tree_Open.png");
}

// A row model of the driver's kind: the list keeps its own headers, alignments and widths, maps
// image indexes through its image list, and never lets a row be edited.
TEST(WindowControls, FileListShowsTheDriversRows) {
    TestWindow w = MakeWindow();
    CFileListView* pList = w.frm->frmListView;
    const int nNameWidth = pList->header()->sectionSize(Column_FileName);

    QStandardItemModel rows(2, Column_Count);
    rows.setHeaderData(0, Qt::Horizontal, "not shown");
    rows.setData(rows.index(0, 0), "a.txt");
    rows.setData(rows.index(0, 0), 1, Qt::DecorationRole);
    rows.setData(rows.index(1, 0), 7, Qt::DecorationRole);  // no such image
    rows.setData(rows.index(0, Column_OrgSize), "1,234");
    rows.itemFromIndex(rows.index(0, 0))->setEditable(true);

    QPixmap red(16, 16);
    red.fill(Qt::red);
    pList->SetImageList({QIcon(), QIcon(red)});
    pList->SetRowModel(&rows);
    QAbstractItemModel* pModel = pList->model();
    EXPECT_EQ(pList->RowModel(), &rows);
    EXPECT_EQ(pModel->rowCount(), 2);
    EXPECT_EQ(pModel->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ファイル名"));
    EXPECT_EQ(pList->header()->sectionSize(Column_FileName), nNameWidth);
    EXPECT_EQ(pModel->index(0, 0).data().toString(), "a.txt");
    EXPECT_EQ(pModel->index(0, Column_OrgSize).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                  Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    const QIcon icon = pModel->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
    EXPECT_EQ(icon.pixmap(16, 16).toImage().pixelColor(3, 3), QColor(Qt::red));
    EXPECT_FALSE(pModel->index(1, 0).data(Qt::DecorationRole).isValid());
    EXPECT_FALSE(pModel->flags(pModel->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(pModel->flags(pModel->index(0, 0)) & Qt::ItemIsDragEnabled);

    pList->SetRowModel(nullptr);
    EXPECT_EQ(pList->RowModel(), nullptr);
    EXPECT_EQ(pModel->rowCount(), 0);
    EXPECT_EQ(pModel->columnCount(), Column_Count);
}

// A cell too narrow for its text shows the whole text as its tool tip; one that fits shows none.
TEST(WindowControls, CutShortTextsShowAsToolTips) {
    TestWindow w = MakeShownWindow();
    CFileListView* pList = w.frm->frmListView;
    QStandardItemModel rows(2, Column_Count);
    const QString strLong = QStringLiteral("とても長いファイル名のテスト_2024_05_01_写真.jpg");
    rows.setData(rows.index(0, 0), strLong);
    rows.setData(rows.index(1, 0), "a.txt");
    pList->SetRowModel(&rows);
    pList->header()->resizeSection(Column_FileName, 80);
    QCoreApplication::processEvents();

    auto tipAt = [pList](int nRow) {
        const QPoint pt = pList->visualRect(pList->model()->index(nRow, 0)).center();
        QHelpEvent help(QEvent::ToolTip, pt, pList->viewport()->mapToGlobal(pt));
        QApplication::sendEvent(pList->viewport(), &help);
        const QString strTip = QToolTip::isVisible() ? QToolTip::text() : QString();
        QToolTip::hideText();
        return strTip;
    };
    // The short one first: a hidden tip lingers a moment before it goes.
    EXPECT_EQ(tipAt(1), QString());
    EXPECT_EQ(tipAt(0), strLong);
}
