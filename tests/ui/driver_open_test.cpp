#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidgetItemIterator>

#include "CArchive_Driver.h"
#include "CConfig.h"
#include "CFileDialogs.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "DriverTestSupport.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

bool Enabled(const Form_FilerMain& c_frm, const char* pszName) {
    return FindItem(c_frm, pszName)->isEnabled();
}

struct DialogAnswer {
    explicit DialogAnswer(const QString& c_strFile) {
        CFileDialogs::SetHooks({}, [this, c_strFile](QWidget*, const QString&, const QString&,
                                                     const QString& c_strFilter) {
            strFilter = c_strFilter;
            ++nShown;
            return c_strFile;
        });
    }
    ~DialogAnswer() { CFileDialogs::SetHooks({}, {}); }
    QString strFilter;
    int nShown = 0;
};

QStringList TopLevelNodes(const Form_FilerMain& c_frm) {
    QStringList lst;
    for (int i = 0; i < c_frm.frmTreeView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* pNode = c_frm.frmTreeView->topLevelItem(i);
        lst << pNode->text(0) + QLatin1Char('|') + CFolderTreeView::NodeName(pNode);
    }
    return lst;
}

}  // namespace

TEST(OpenWorkflow, FromTheCommandLine) {
    {
        DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath(), "", "other.zip"});
        EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("sample.lzh - ケストレル"));
        EXPECT_EQ(TopLevelNodes(*w.frm), (QStringList{"[全てのファイル]|", "[ルート]|/"}));
        EXPECT_EQ(CFolderTreeView::NodeName(w.frm->frmTreeView->currentItem()),
                  QStringLiteral("/"));
        EXPECT_EQ(w.RowNames(), (QStringList{"readme.txt", "空.txt"}));
        EXPECT_EQ(w.frm->frmLabel_CurrentDirectory->text(), QStringLiteral("選択フォルダ  /"));
        // Every further archive in an instance of its own; an empty name opens nothing.
        EXPECT_EQ(w.pDriver->lstStarted, QStringList{"other.zip"});
    }
    {
        DriverWindow w = MakeDriverWindow({}, {"kestrel", ""});
        EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("ケストレル"));
        EXPECT_EQ(w.frm->frmTreeView->topLevelItemCount(), 0);
        EXPECT_FALSE(w.pDriver->pcArchive_Driver()->bFileOpened());
    }
}

TEST(OpenWorkflow, OneArchivePerWindow) {
    MessageRecorder messages;
    DriverWindow w = MakeDriverWindow();
    EXPECT_FALSE(Enabled(*w.frm, FormName::frmMenu_Edit_SelectAll));
    {
        DialogAnswer dialog(SamplePath());
        w.pDriver->File_Open_OpenDialog();
        w.pDriver->Wait_FileOpen();
        EXPECT_EQ(dialog.strFilter,
                  QStringLiteral(
                      "LHA書庫(*.lzh *.lha);;ZIP書庫(*.zip);;7-ZIP書庫(*.7z);;全てのファイル(*)"));
    }
    EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("sample.lzh - ケストレル"));
    EXPECT_TRUE(Enabled(*w.frm, FormName::frmMenu_Edit_SelectAll));
    for (const char* pszItem : FormName::c_apszExtractItems)
        EXPECT_TRUE(Enabled(*w.frm, pszItem)) << pszItem;
    EXPECT_FALSE(Enabled(*w.frm, FormName::frmMenu_Edit_Arc_Thaw));
    EXPECT_FALSE(Enabled(*w.frm, FormName::frmMenu_File_Save));

    // Further archives go to new instances; this window keeps its archive.
    const QString strOther = w.Path(QStringLiteral("other archive.zip"));
    ASSERT_TRUE(MakeZip(strOther, {"x.txt"}));
    {
        DialogAnswer dialog(strOther);
        w.pDriver->File_Open_OpenDialog();
    }
    w.pDriver->File_Open_NewWindows({strOther, SamplePath()});
    w.pDriver->File_Open_NewWindow(QString(), false);  // 新規作成
    EXPECT_EQ(w.pDriver->lstStarted, (QStringList{strOther, strOther, SamplePath(), QString()}));
    EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("sample.lzh - ケストレル"));

    // A cancelled dialog changes nothing.
    DialogAnswer cancelled{QString()};
    w.pDriver->File_Open_OpenDialog();
    EXPECT_EQ(w.pDriver->lstStarted.size(), 4);
    EXPECT_TRUE(messages.lstTexts.isEmpty());
}

TEST(OpenWorkflow, AFailedOpenIsToldAndTheNextOneUsesTheSameWindow) {
    MessageRecorder messages;
    DriverWindow w = MakeDriverWindow();
    const QString strBad = w.Path(QStringLiteral("bad.zip"));
    QFile bad(strBad);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("no archive here");
    bad.close();

    w.Open(strBad);
    EXPECT_EQ(messages.lstTexts, QStringList{"このファイルは開くことが出来ません"});
    EXPECT_EQ(messages.lstCaptions, QStringList{"エラー"});
    EXPECT_EQ(w.frm->frmTreeView->topLevelItemCount(), 0);
    EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("ケストレル"));
    EXPECT_TRUE(w.frm->frmMenu->isEnabled());
    EXPECT_TRUE(w.frm->frmToolBar->isEnabled());
    EXPECT_FALSE(Enabled(*w.frm, FormName::frmMenu_Edit_SelectAll));
    for (const char* pszItem : FormName::c_apszExtractItems)
        EXPECT_FALSE(Enabled(*w.frm, pszItem)) << pszItem;
    EXPECT_FALSE(w.frm->frmStatus_ProgressBar->isVisibleTo(w.frm.get()));

    w.Open(SamplePath());
    EXPECT_TRUE(w.pDriver->lstStarted.isEmpty());
    EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("sample.lzh - ケストレル"));
    EXPECT_EQ(messages.lstTexts.size(), 1);
}

TEST(OpenWorkflow, CommandStatesDuringAnOpenAndDropsMeanwhile) {
    DriverWindow w = MakeDriverWindow();
    w.frm->resize(1040, 600);
    QCoreApplication::processEvents();
    const QString strZip = w.Path(QStringLiteral("many.zip"));
    QStringList lstNames;
    for (int i = 0; i < 2000; ++i) lstNames << QStringLiteral("d%1/f%2.txt").arg(i % 10).arg(i);
    ASSERT_TRUE(MakeZip(strZip, lstNames));

    w.pDriver->bExtractSupported = false;
    w.pDriver->File_Open(strZip);
    // File-open mode, until the completion comes back through the event loop.
    EXPECT_TRUE(w.pDriver->bFileOpenMode());
    EXPECT_FALSE(w.frm->frmMenu->isEnabled());
    EXPECT_FALSE(w.frm->frmToolBar->isEnabled());
    EXPECT_FALSE(w.frm->bListViewAcceptDrops());
    EXPECT_TRUE(w.frm->frmStatus_ProgressBar->isVisibleTo(w.frm.get()));
    EXPECT_FALSE(w.frm->frmStatus_Select->isVisibleTo(w.frm.get()));
    EXPECT_EQ(w.frm->frmStatus_Select->maximumWidth(), 0);
    EXPECT_EQ(w.frm->frmStatus_ProgressBar->maximumWidth(), w.frm->frmStatusBar->width() - 20);

    // Drops while the worker reads: every file to a new instance, the open undisturbed.
    w.pDriver->File_Open_NewWindows({QStringLiteral("/a.lzh"), QStringLiteral("/b.zip")});
    EXPECT_EQ(w.pDriver->lstStarted, (QStringList{"/a.lzh", "/b.zip"}));

    w.pDriver->Wait_FileOpen();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.pDriver->bFileOpenMode());
    EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("many.zip - ケストレル"));
    EXPECT_EQ(w.pDriver->pcArchive_Driver()->nFileCount(), 2000);
    EXPECT_TRUE(w.frm->frmMenu->isEnabled());
    EXPECT_FALSE(w.frm->frmStatus_ProgressBar->isVisibleTo(w.frm.get()));
    EXPECT_EQ(w.frm->frmStatus_ProgressBar->value(), 1000);
    // A format that cannot extract: everything but select-all stays off.
    EXPECT_TRUE(Enabled(*w.frm, FormName::frmMenu_Edit_SelectAll));
    for (const char* pszItem : FormName::c_apszExtractItems)
        EXPECT_FALSE(Enabled(*w.frm, pszItem)) << pszItem;
}

TEST(OpenWorkflow, DroppedFilesWithNoArchiveShown) {
    DriverWindow w = MakeDriverWindow();
    const QString strSecond = w.Path(QStringLiteral("second.zip"));
    w.pDriver->File_Open_NewWindows({SamplePath(), strSecond, QStringLiteral("/third.7z")});
    w.pDriver->Wait_FileOpen();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("sample.lzh - ケストレル"));
    EXPECT_EQ(w.pDriver->lstStarted, (QStringList{strSecond, "/third.7z"}));
}

TEST(OpenWorkflow, StartFolderAndExpansionFollowTheSettings) {
    {
        DriverWindow w = MakeDriverWindow(
            [](STConfig& st) {
                st.stGeneral.bFirstFolderOfAllFiles = true;
                st.stGeneral.bExpandTreeNode = false;
            },
            {"kestrel", SamplePath()});
        EXPECT_EQ(CFolderTreeView::NodeName(w.frm->frmTreeView->currentItem()), QString());
        EXPECT_EQ(w.frm->frmLabel_CurrentDirectory->text(),
                  QStringLiteral("選択フォルダ  [全てのファイル]"));
        EXPECT_EQ(w.RowNames(), (QStringList{"表.csv", "logo.bmp", "報告書.txt", "util.h", "main.c",
                                             "readme.txt", "空.txt"}));
        EXPECT_FALSE(w.frm->frmTreeView->topLevelItem(1)->isExpanded());
    }
    {
        DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath()});
        int nFolders = 0;
        for (QTreeWidgetItemIterator it(w.frm->frmTreeView); *it; ++it) {
            if ((*it)->childCount() > 0) {
                EXPECT_TRUE((*it)->isExpanded()) << (*it)->text(0).toStdString();
            }
            ++nFolders;
        }
        EXPECT_EQ(nFolders, 6);  // all files, root, 文書, 画像, src, lib
    }
}

TEST(StatusBar, FiguresFollowFolderAndSelection) {
    DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath()});
    EXPECT_EQ(w.frm->frmStatus_Select->text(), QStringLiteral("選択 0 file, 0 byte"));
    EXPECT_EQ(w.frm->frmStatus_Directory->text(), QStringLiteral("フォルダ 2 file, 40 byte"));
    const auto* pcDriver = w.pDriver->pcArchive_Driver();
    EXPECT_EQ(w.frm->frmStatus_Archive->text(),
              QStringLiteral("圧縮後/圧縮前 %1 / 7,123 byte, 圧縮率 %2 %")
                  .arg(QLocale().toString(pcDriver->llCompressFileSize()))
                  .arg(QLocale().toString(pcDriver->dAvgRatio() * 100, 'f', 2)));

    w.SelectRows({0});
    EXPECT_EQ(w.frm->frmStatus_Select->text(), QStringLiteral("選択 1 file, 40 byte"));
    w.frm->frmMenu_Edit_SelectAll_Click();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.frm->frmStatus_Select->text(), QStringLiteral("選択 2 file, 40 byte"));
    w.frm->frmListView->selectionModel()->select(
        w.frm->frmListView->model()->index(0, 0),
        QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.frm->frmStatus_Select->text(), QStringLiteral("選択 1 file, 0 byte"));

    // A new folder starts the figures over.
    w.SelectFolder(QStringLiteral("/文書/画像/"));
    EXPECT_EQ(w.frm->frmStatus_Select->text(), QStringLiteral("選択 0 file, 0 byte"));
    EXPECT_EQ(w.frm->frmStatus_Directory->text(), QStringLiteral("フォルダ 2 file, 3,101 byte"));
    EXPECT_EQ(w.frm->frmLabel_CurrentDirectory->text(),
              QStringLiteral("選択フォルダ  /文書/画像/"));
    w.SelectFolder(QString());
    EXPECT_EQ(w.frm->frmStatus_Directory->text(), QStringLiteral("フォルダ 7 file, 7,123 byte"));
}

TEST(StatusBar, HugeEntriesAndEmptyArchives) {
    {
        DriverWindow w = MakeDriverWindow({}, {"kestrel", FixturePath("zip_zip64_declared.zip")});
        w.SelectRows({0});
        EXPECT_EQ(w.frm->frmStatus_Select->text(),
                  QStringLiteral("選択 1 file, 5,368,709,120 byte"));
    }
    {
        DriverWindow w = MakeDriverWindow();
        const QString strEmpty = w.Path(QStringLiteral("empty.zip"));
        ASSERT_TRUE(MakeZip(strEmpty, {"folder/"}));
        w.Open(strEmpty);
        EXPECT_EQ(w.frm->frmStatus_Archive->text(),
                  QStringLiteral("圧縮後/圧縮前 0 / 0 byte, 圧縮率 0.00 %"));
    }
}

TEST(Window, PlacementIsRestoredAndSavedAtTheEnd) {
    QString strSettings;
    {
        DriverWindow w = MakeDriverWindow([](STConfig& st) {
            st.stView.stWindow.bRestoreWindowPosition = true;
            st.stView.stWindow.bRestoreWindowSize = true;
            st.stView.stWindow.stWindowBounds = {40, 50, 700, 420};
            st.stView.stWindow.stWindowRestoreBounds = {40, 50, 700, 420};
        });
        EXPECT_EQ(w.frm->size(), QSize(700, 420));
        EXPECT_EQ(w.frm->pos(), QPoint(40, 50));
        w.frm->resize(820, 500);
        QCoreApplication::processEvents();
        strSettings = w.Path(QStringLiteral("kestrel.config.xml"));
        w.frm.reset();  // the driver saves as the program ends
        CConfig cConfig(nullptr, strSettings);
        ASSERT_TRUE(cConfig.Load());
        const STWindow& st = cConfig.pstConfig().stView.stWindow;
        EXPECT_EQ(st.stWindowBounds.Width, 820);
        EXPECT_EQ(st.stWindowBounds.Height, 500);
        EXPECT_EQ(st.eWindowState, EWindowState::Normal);
    }
    {
        // Without the restore settings the placement is left alone, and still saved.
        DriverWindow w = MakeDriverWindow([](STConfig& st) {
            st.stView.stWindow.stWindowBounds = {40, 50, 300, 200};
        });
        EXPECT_NE(w.frm->size(), QSize(300, 200));
        const QSize size = w.frm->size();
        const QString strFile = w.Path(QStringLiteral("kestrel.config.xml"));
        w.frm.reset();
        CConfig cConfig(nullptr, strFile);
        ASSERT_TRUE(cConfig.Load());
        EXPECT_EQ(cConfig.pstConfig().stView.stWindow.stWindowBounds.Width, size.width());
    }
}
