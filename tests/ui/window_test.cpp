// The window through its real driver, as a user works it: opening from the command line, the
// menu or a drop; the tree, the list and the status bar; extracting, viewers and drags; the
// options dialog; the window's placement.
#include "support/Window.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <csignal>
#include <thread>

#include "CArchive_Driver.h"
#include "CConfig.h"
#include "CExtractJob.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "DataObject_DelayRender_Archive.h"
#include "Form_Config.h"
#include "Form_FilerMain_Names.h"
#include "support/Support.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

bool Enabled(const Form_FilerMain& c_frm, const char* pszName) {
    const auto* pItem = c_frm.findChild<QAction*>(QString::fromLatin1(pszName));
    if (pItem == nullptr)
        pItem = c_frm.findChild<QMenu*>(QString::fromLatin1(pszName))->menuAction();
    return pItem->isEnabled();
}

QString MakeFolder(const DriverWindow& c_w, const QString& c_strName) {
    QDir().mkpath(c_w.Path(c_strName));
    return c_w.Path(c_strName);
}

// Counts the paint events of a widget.
class CPaintCounter : public QObject {
public:
    explicit CPaintCounter(QWidget* pWidget) { pWidget->installEventFilter(this); }
    int nPaints = 0;
    bool eventFilter(QObject*, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Paint) ++nPaints;
        return false;
    }
};

QStringList Entries(const QString& c_strFolder) {
    return QDir(c_strFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

class CNoButtons : public shelf_cli::IMouseButtonState {
public:
    Qt::MouseButtons eButtons = Qt::NoButton;
    Qt::MouseButtons Buttons() const override { return eButtons; }
};

}  // namespace

TEST(Window, OpensFromTheCommandLineTheMenuAndDrops) {
    MessageRecorder messages;
    {
        // Every further archive of the command line in an instance of its own; "" opens nothing.
        DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath(), "", "other.zip"});
        EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("sample.lzh - ケストレル"));
        EXPECT_EQ(w.TreeNodes(),
                  (QStringList{"", "/", "/文書/", "/文書/画像/", "/src/", "/src/lib/"}));
        EXPECT_EQ(w.RowNames(), (QStringList{"readme.txt", "空.txt"}));
        EXPECT_EQ(w.frm->frmLabel_CurrentDirectory->text(), QStringLiteral("選択フォルダ  /"));
        EXPECT_TRUE(w.frm->frmTreeView->topLevelItem(1)->isExpanded());
        for (const char* pszItem : FormName::c_apszExtractItems)
            EXPECT_TRUE(Enabled(*w.frm, pszItem)) << pszItem;
        // Every further archive opens in a new instance; this window keeps its archive.
        const QString strOther = w.Path(QStringLiteral("other archive.zip"));
        DialogAnswers dialog({}, strOther);
        w.pDriver->File_Open_OpenDialog();
        w.pDriver->File_Open_NewWindows({SamplePath()});
        EXPECT_EQ(dialog.strFilter,
                  QStringLiteral(
                      "LHA書庫(*.lzh *.lha);;ZIP書庫(*.zip);;7-ZIP書庫(*.7z);;全てのファイル(*)"));
        EXPECT_EQ(w.pDriver->lstStarted, (QStringList{"other.zip", strOther, SamplePath()}));
        EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("sample.lzh - ケストレル"));
    }
    // A failed open is told, leaves the window empty and usable, and the next open uses it.
    DriverWindow w = MakeDriverWindow([](STConfig& st) {
        st.stGeneral.bFirstFolderOfAllFiles = true;
        st.stGeneral.bExpandTreeNode = false;
    });
    const QString strBad = w.Path(QStringLiteral("bad.zip"));
    QFile bad(strBad);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("no archive here");
    bad.close();
    // A file that is not there is no new, empty archive either.
    for (const QString& c_strFailing : {strBad, w.Path(QStringLiteral("nothere.zip"))}) {
        messages.lstTexts.clear();
        messages.lstCaptions.clear();
        w.Open(c_strFailing);
        EXPECT_EQ(messages.lstTexts, QStringList{"このファイルは開くことが出来ません"});
        EXPECT_EQ(messages.lstCaptions, QStringList{"エラー"});
        EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("ケストレル"));
        EXPECT_TRUE(w.frm->frmMenu->isEnabled());
        for (const char* pszItem : FormName::c_apszExtractItems)
            EXPECT_FALSE(Enabled(*w.frm, pszItem)) << pszItem;
    }
    // A reason the user can act on is given.
    w.Open(FixturePath("7z_header_encrypted.7z"));
    EXPECT_EQ(messages.lstTexts.value(1),
              "このファイルは開くことが出来ません\n\n■原因\nこの 7z "
              "書庫は暗号化されているため開けません");
    // Files dropped on an empty window: the first opens here, the others in new instances.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(SamplePath()), QUrl::fromLocalFile("/tmp/b c.zip"),
                  QUrl(QStringLiteral("https://example.org/a.zip"))});
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                    Qt::NoModifier);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(w.frm.get(), &enter);
    QApplication::sendEvent(w.frm.get(), &drop);
    EXPECT_NE(drop.dropAction(), Qt::MoveAction) << "the source must keep its files";
    w.pDriver->Wait_FileOpen();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.frm->windowTitle(), QStringLiteral("sample.lzh - ケストレル"));
    EXPECT_EQ(w.pDriver->lstStarted, QStringList{"/tmp/b c.zip"});
    EXPECT_EQ(w.RowNames(), (QStringList{"表.csv", "logo.bmp", "報告書.txt", "util.h", "main.c",
                                         "readme.txt", "空.txt"}));
    EXPECT_FALSE(w.frm->frmTreeView->topLevelItem(1)->isExpanded());
}

TEST(Window, StatusBarFollowsFolderAndSelection) {
    DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath()});
    EXPECT_EQ(w.frm->frmStatus_Select->text(), QStringLiteral("選択 0 file, 0 byte"));
    EXPECT_EQ(w.frm->frmStatus_Directory->text(), QStringLiteral("フォルダ 2 file, 40 byte"));
    EXPECT_EQ(w.frm->frmStatus_Archive->text(),
              QStringLiteral("圧縮後/圧縮前 944 / 7,123 byte, 圧縮率 13.25 %"));
    w.frm->frmMenu_Edit_SelectAll_Click();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.frm->frmStatus_Select->text(), QStringLiteral("選択 2 file, 40 byte"));
    w.SelectFolder(QStringLiteral("/文書/"));
    QStringList lstRow;  // the type (column 1) is the desktop's name for it
    for (int i : {0, 2, 3, 4, 5, 6}) lstRow << w.pDriver->pcFileListModel()->Text(0, i);
    EXPECT_EQ(lstRow, (QStringList{"報告書.txt", "3,890", "464", "11.9%", "2024/05/01 12:34:56",
                                   "/文書/"}));
    w.SelectFolder(QStringLiteral("/文書/画像/"));
    EXPECT_EQ(w.frm->frmStatus_Select->text(), QStringLiteral("選択 0 file, 0 byte"));
    EXPECT_EQ(w.frm->frmStatus_Directory->text(), QStringLiteral("フォルダ 2 file, 3,101 byte"));
    w.SelectFolder(QString());
    EXPECT_EQ(w.frm->frmStatus_Directory->text(), QStringLiteral("フォルダ 7 file, 7,123 byte"));
    DriverWindow big = MakeDriverWindow({}, {"kestrel", FixturePath("zip_zip64_declared.zip")});
    big.SelectRows({0});
    EXPECT_EQ(big.frm->frmStatus_Select->text(), QStringLiteral("選択 1 file, 5,368,709,120 byte"));
    // Declared sizes that add up past 2^63 stop at the largest, never turn negative.
    DriverWindow huge =
        MakeDriverWindow({}, {"kestrel", QString::fromStdString(BigArchives() / "huge.zip")});
    huge.SelectAllRows();
    EXPECT_EQ(huge.frm->frmStatus_Select->text(),
              QStringLiteral("選択 4 file, 9,223,372,036,854,775,807 byte"));
    for (const QLabel* pLabel : {huge.frm->frmStatus_Directory, huge.frm->frmStatus_Archive})
        EXPECT_FALSE(pLabel->text().contains(u'-')) << pLabel->text().toStdString();
}

TEST(Window, ExtractsSelectedFilesAndFoldersAskingBeforeReplacing) {
    MessageRecorder messages;
    DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath()});
    const QString strOut = MakeFolder(w, QStringLiteral("out"));
    {
        DialogAnswers folder([&] { return strOut; });
        EXPECT_FALSE(w.pDriver->Edit_Extract_ListView());
        EXPECT_TRUE(folder.lstStarts.isEmpty());
    }
    EXPECT_EQ(messages.lstTexts, QStringList{"ファイルが選択されていません"});
    messages.lstTexts.clear();
    w.SelectRows({0, 1});
    w.pDriver->hookQuestion = [](const CFileMover::Question&) { return CFileMover::EAnswer::Yes; };
    {
        DialogAnswers folder([&] { return strOut; });
        EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
        EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
        EXPECT_EQ(folder.lstStarts, (QStringList{QDir::homePath(), strOut}));
    }
    EXPECT_EQ(ReadAll(strOut + "/readme.txt"),
              QStringLiteral("ケストレルの見本書庫です。\n").toUtf8());
    // Each answer to the replace question, asked once per clash.
    for (auto eAnswer :
         {CFileMover::EAnswer::No, CFileMover::EAnswer::Yes, CFileMover::EAnswer::Cancel}) {
        QFile mine(strOut + "/readme.txt");
        ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
        mine.write("mine");
        mine.close();
        int nAsked = 0;
        w.pDriver->hookQuestion = [&](const CFileMover::Question& c_q) {
            ++nAsked;
            EXPECT_TRUE(c_q.bOfferAll);
            return c_q.strTarget.endsWith(QStringLiteral("空.txt")) ? CFileMover::EAnswer::Yes
                                                                    : eAnswer;
        };
        messages.lstTexts.clear();
        DialogAnswers folder([&] { return strOut; });
        w.pDriver->Edit_Extract_ListView();
        EXPECT_EQ(nAsked, 2);
        EXPECT_EQ(ReadAll(strOut + "/readme.txt") == "mine", eAnswer != CFileMover::EAnswer::Yes);
        EXPECT_EQ(messages.lstTexts.size(), eAnswer == CFileMover::EAnswer::Cancel ? 1 : 0);
    }
    // Tree folders: without and with subfolders; the root arrives named like the archive.
    w.pDriver->hookQuestion = [](const CFileMover::Question&) { return CFileMover::EAnswer::Yes; };
    const QString strTree = MakeFolder(w, QStringLiteral("tree"));
    DialogAnswers folder([&] { return strTree; });
    w.SelectFolder(QStringLiteral("/文書/"));
    EXPECT_TRUE(w.pDriver->Edit_Extract_TreeView(false));
    EXPECT_TRUE(QFileInfo(strTree + "/文書/報告書.txt").isFile());
    EXPECT_FALSE(QFileInfo::exists(strTree + "/文書/画像"));
    EXPECT_TRUE(w.pDriver->Edit_Extract_TreeView(true));
    EXPECT_EQ(ReadAll(strTree + "/文書/画像/logo.bmp").size(), 3072);
    w.SelectFolder(QStringLiteral("/"));
    EXPECT_TRUE(w.pDriver->Edit_Extract_TreeView(true));
    EXPECT_TRUE(QFileInfo(strTree + "/sample.lzh/src/lib/util.h").isFile());
    w.SelectFolder(QString());
    EXPECT_FALSE(w.pDriver->Edit_Extract_TreeView(true));
    EXPECT_EQ(messages.lstTexts.size(), 1);

    // Equal names from two folders meet at the destination: one question.
    DriverWindow twins =
        MakeDriverWindow([](STConfig& st) { st.stGeneral.bFirstFolderOfAllFiles = true; });
    ASSERT_TRUE(MakeZip(twins.Path("twins.zip"), {"a/x.txt", "b/x.txt"}));
    twins.Open(twins.Path("twins.zip"));
    twins.SelectAllRows();
    int nAsked = 0;
    twins.pDriver->hookQuestion = [&](const CFileMover::Question&) {
        ++nAsked;
        return CFileMover::EAnswer::Yes;
    };
    const QString strTwins = MakeFolder(twins, QStringLiteral("out"));
    DialogAnswers twinsFolder([&] { return strTwins; });
    EXPECT_TRUE(twins.pDriver->Edit_Extract_ListView());
    EXPECT_EQ(nAsked, 1);
    EXPECT_EQ(ReadAll(strTwins + "/x.txt"), QByteArray("b/x.txt"));

    // A folder whose every file fails arrives as nothing at all.
    const QString strDamaged = twins.Path("damaged.zip");
    ASSERT_TRUE(MakeZip(strDamaged, {"d/bad.txt", "ok.txt"}));
    QByteArray baZip = ReadAll(strDamaged);
    baZip.replace("d/bad.txtd/bad.txt", "d/bad.txtd/BAD.txt");  // stored data, its CRC kept
    QFile damaged(strDamaged);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write(baZip) == baZip.size());
    damaged.close();
    DriverWindow bad = MakeDriverWindow({}, {"kestrel", strDamaged});
    bad.SelectFolder(QStringLiteral("/d/"));
    messages.lstTexts.clear();
    EXPECT_FALSE(bad.pDriver->Edit_Extract_TreeView(true));
    EXPECT_EQ(messages.lstTexts.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(strTwins + "/d"));
}

TEST(Window, ViewersDragsAndFailuresAreTold) {
    MessageRecorder messages;
    DriverWindow w = MakeDriverWindow(
        [](STConfig& st) {
            st.stOpen.stViewerApplications = {{"関連づけ", "RELATE:", false},
                                              {"メモ帳", "/usr/bin/editor-of-choice", true}};
        },
        {"kestrel", SamplePath()});
    w.SelectRows({0});
    w.pDriver->Edit_Open_Click_EventHandler(w.frm->frmListView);  // a double-click
    ASSERT_EQ(w.pDriver->lstLaunched.size(), 1);
    EXPECT_TRUE(w.pDriver->lstLaunched[0].strProgram.isEmpty());
    EXPECT_TRUE(w.pDriver->lstLaunched[0].strFile.startsWith(
        w.pDriver->pcArchive_Driver()->strTempDirectory()));
    EXPECT_EQ(w.pDriver->lstLaunched[0].baContent,
              QStringLiteral("ケストレルの見本書庫です。\n").toUtf8());
    // Two files with the second viewer: asked once, both opened; "No" opens nothing.
    w.SelectRows({0, 1});
    auto* pItem = w.frm->findChild<QAction*>(QLatin1String(FormName::frmMenu_Edit_Select_Open) +
                                             QStringLiteral("_1"));
    ASSERT_NE(pItem, nullptr);
    pItem->trigger();
    EXPECT_EQ(messages.lstCaptions, QStringList{"警告"});
    ASSERT_EQ(w.pDriver->lstLaunched.size(), 3);
    EXPECT_EQ(w.pDriver->lstLaunched[2].strProgram, QStringLiteral("/usr/bin/editor-of-choice"));
    messages.bAnswerYes = false;
    pItem->trigger();
    EXPECT_EQ(w.pDriver->lstLaunched.size(), 3);

    // Dragged files are extracted at the drop, not before.
    const QString strStaging = w.pDriver->pcArchive_Driver()->Generate_ExtractTempDirectoryName();
    const QString strFile = strStaging + QStringLiteral("文書/報告書.txt");
    auto pcButtons = std::make_shared<CNoButtons>();
    {
        DataObject_DelayRender_Archive data({strFile}, w.pDriver, {"/文書/報告書.txt"}, strStaging,
                                            false);
        data.Set_MouseButtonState(pcButtons);
        for (Qt::MouseButton eHeld : {Qt::LeftButton, Qt::RightButton, Qt::ExtraButton2}) {
            pcButtons->eButtons = eHeld;  // any button held: still dragging
            EXPECT_EQ(data.urls(), QList<QUrl>{QUrl::fromLocalFile(strFile)});
            EXPECT_FALSE(QFileInfo::exists(strFile));
        }
        pcButtons->eButtons = Qt::NoButton;
        EXPECT_EQ(data.urls(), QList<QUrl>{QUrl::fromLocalFile(strFile)});
        EXPECT_EQ(ReadAll(strFile).size(), 3890);
    }

    // A damaged entry: the archiver's own words follow the program's.
    DriverWindow bad = MakeDriverWindow({}, {"kestrel", FixturePath("zip_corrupt.zip")});
    bad.SelectRows({0});
    messages.lstTexts.clear();
    bad.pDriver->Edit_Open_Click_EventHandler(bad.frm->frmListView);
    ASSERT_EQ(messages.lstTexts.size(), 1);
    EXPECT_TRUE(messages.lstTexts[0].startsWith(
        QStringLiteral("ファイルの解凍中にエラーが発生しました\n\n■原因\n")));
    EXPECT_TRUE(messages.lstTexts[0].contains(QStringLiteral("bad.txt: データが壊れています")));
    EXPECT_TRUE(bad.pDriver->lstLaunched.isEmpty());
}

TEST(Window, OptionsReachTheViewerMenusAndTheFile) {
    DriverWindow w = MakeDriverWindow();
    auto fnClick = [](QObject* pRoot, const char* pszName) {
        pRoot->findChild<QAbstractButton*>(QString::fromLatin1(pszName))->click();
    };
    WhenShown<Form_Config>([&](Form_Config* pDialog) {
        fnClick(pDialog, "frmAdd");
        pDialog->findChild<QLineEdit*>(QStringLiteral("frmName"))->setText(QStringLiteral("画像"));
        pDialog->findChild<QLineEdit*>(QStringLiteral("frmFilePath"))
            ->setText(QStringLiteral("/usr/bin/eog"));
        fnClick(pDialog, "frmUpdate");
        fnClick(pDialog, "frmButton_OK");
    });
    w.frm->findChild<QAction*>(QLatin1String(FormName::frmMenu_Option_Option))->trigger();
    for (const char* pszMenu : FormName::c_apszViewerMenus) {
        QStringList lst;
        for (const QAction* pAction :
             w.frm->findChild<QMenu*>(QString::fromLatin1(pszMenu))->actions())
            lst << pAction->text();
        EXPECT_EQ(lst, (QStringList{"関連づけ(&0)", "メモ帳(&1)", "画像(&2)"})) << pszMenu;
    }
    CConfig cSaved(nullptr, w.Settings());
    ASSERT_TRUE(cSaved.Load());
    EXPECT_EQ(cSaved.pcOpen()->stViewerApplications().last().strFilePath,
              QStringLiteral("/usr/bin/eog"));
    // Cancel after edits changes nothing.
    WhenShown<Form_Config>([&](Form_Config* pDialog) {
        fnClick(pDialog, "frmAdd");
        fnClick(pDialog, "frmButton_Cancel");
    });
    w.frm->findChild<QAction*>(QLatin1String(FormName::frmMenu_Option_Option))->trigger();
    EXPECT_EQ(w.pDriver->pcConfig()->pcOpen()->stViewerApplications().size(), 3);
}

TEST(Window, PlacementIsRestoredOnAScreenAndSavedAtTheEnd) {
    QString strSettings;
    const QRect rcScreen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QRect& c_rcSaved :
         {QRect(40, 50, 700, 420), QRect(-5000, 9000, 700, 420),
          QRect(rcScreen.right() + 100, rcScreen.bottom() + 100, 700, 420)}) {
        DriverWindow w = MakeDriverWindow([&](STConfig& st) {
            st.stView.stWindow.bRestoreWindowPosition = true;
            st.stView.stWindow.bRestoreWindowSize = true;
            st.stView.stWindow.stWindowBounds = {c_rcSaved.x(), c_rcSaved.y(), 700, 420};
            st.stView.stWindow.stWindowRestoreBounds = st.stView.stWindow.stWindowBounds;
        });
        EXPECT_EQ(w.frm->size(), QSize(700, 420));
        // A position off every screen (a monitor since removed) is not restored.
        EXPECT_TRUE(rcScreen.intersects(w.frm->frameGeometry()))
            << c_rcSaved.x() << "," << c_rcSaved.y();
        if (c_rcSaved.x() == 40) {
            EXPECT_EQ(w.frm->pos(), QPoint(40, 50));
        }
        w.frm->resize(820, 500);
        QCoreApplication::processEvents();
        strSettings = w.Settings();
        w.frm.reset();  // the driver saves as the program ends
        CConfig cConfig(nullptr, strSettings);
        ASSERT_TRUE(cConfig.Load());
        EXPECT_EQ(cConfig.pstConfig().stView.stWindow.stWindowBounds.Width, 820);
    }
}

// A PNG in the image folder replaces the embedded image of that name, wherever it is shown; one
// that cannot be read leaves the embedded image.
TEST(Window, ImagesBesideTheProgramReplaceTheirOwnOnly) {
    QTemporaryDir dir;
    QImage blue(16, 16, QImage::Format_ARGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(dir.filePath(QStringLiteral("File_New.png"))));
    QFile bad(dir.filePath(QStringLiteral("File_Open.png")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write("no picture") > 0);
    bad.close();
    DriverWindow plain = MakeDriverWindow();
    DriverWindow w = MakeDriverWindow({}, {"kestrel"}, dir.path() + QLatin1Char('/'));
    auto fnImage = [](const DriverWindow& c_w, const char* psz) {
        return c_w.frm->findChild<QAction*>(QLatin1String(psz))
            ->icon()
            .pixmap(16, 16)
            .toImage()
            .convertToFormat(QImage::Format_ARGB32);
    };
    for (const char* psz : {FormName::frmMenu_File_New, FormName::frmToolBar_File_New})
        EXPECT_EQ(fnImage(w, psz), blue) << psz;
    for (const char* psz : {FormName::frmMenu_File_Open, FormName::frmMenu_Option_Option})
        EXPECT_EQ(fnImage(w, psz), fnImage(plain, psz)) << psz;
    EXPECT_NE(fnImage(plain, FormName::frmMenu_File_New), blue);
}

// An extraction runs beside the window, which keeps painting; its dialog comes up after a moment,
// and キャンセル in the middle of a large entry leaves the destination as it was plus the files
// finished. The files are staged on the destination's file system when that is another one than
// the temporary folder's (/dev/shm is a tmpfs where it exists).
TEST(Window, ExtractionIsAJobThatRepaintsAndCancels) {
    MessageRecorder messages;
    DriverWindow w =
        MakeDriverWindow([](STConfig& st) { st.stGeneral.bFirstFolderOfAllFiles = true; },
                         {"kestrel", FixturePath("zip_large.zip")});
    QTemporaryDir other(QDir(QStringLiteral("/dev/shm")).exists()
                            ? QStringLiteral("/dev/shm/kestrel-test-XXXXXX")
                            : w.Path(QStringLiteral("out-XXXXXX")));
    const QString strOut = other.path();
    struct stat stOut {
    }, stTemp{};
    ::stat(QFile::encodeName(strOut).constData(), &stOut);
    ::stat(QFile::encodeName(w.pDriver->pcArchive_Driver()->strTempDirectory()).constData(),
           &stTemp);
    QFile mine(strOut + "/mine.txt");
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.close();

    std::atomic<bool> bStagedThere{false};
    int64_t llTold = 0;
    CExtractJob::SetProgressHook([&](const shelf::EXTRACT_PROGRESS& c_st) {
        if (Entries(strOut).join("|").contains(".kestrel-")) bStagedThere = true;
        // A slow disk: 20 ms for every 64 KiB.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(20 * (c_st.llBytesDone - llTold) >> 16));
        llTold = c_st.llBytesDone;
    });
    CPaintCounter paints(w.frm->frmListView->viewport());
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, [&] {
        w.frm->frmListView->viewport()->update();
        QWidget* pDialog = QApplication::activeModalWidget();
        if (pDialog == nullptr || pDialog->objectName() != FormName::frmProgressDialog) return;
        const auto* pBar = pDialog->findChild<QProgressBar*>(FormName::frmProgress_Bar);
        if (pBar->value() > 0)
            pDialog->findChild<QAbstractButton*>(FormName::frmProgress_Cancel)->click();
    });
    poke.start(20);
    w.SelectAllRows();
    DialogAnswers folder([&] { return strOut; });
    EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
    CExtractJob::SetProgressHook({});
    poke.stop();

    EXPECT_GE(paints.nPaints, 5);
    EXPECT_EQ(bStagedThere, stOut.st_dev != stTemp.st_dev);
    QStringList lstArrived = Entries(strOut);
    lstArrived.removeOne("mine.txt");
    EXPECT_TRUE(lstArrived.contains("a.txt"));
    EXPECT_FALSE(lstArrived.contains("big.bin"));
    for (const QString& c_strName : lstArrived)
        EXPECT_TRUE(c_strName.endsWith(".txt")) << c_strName.toStdString();
    ASSERT_EQ(messages.lstTexts.size(), 1);
    EXPECT_TRUE(messages.lstTexts[0].startsWith("解凍を中止しました。"));
    EXPECT_TRUE(messages.lstTexts[0].contains(QStringLiteral("%1 個").arg(lstArrived.size())))
        << messages.lstTexts[0].toStdString();

    // Quitting in the middle: the job stops, nothing more is moved or told, nothing is left.
    messages.lstTexts.clear();
    const QStringList lstBefore = Entries(strOut);
    CExtractJob::SetProgressHook([&](const shelf::EXTRACT_PROGRESS& c_st) {
        if (c_st.llBytesDone > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    QTimer::singleShot(300, w.frm.get(), [&] { w.frm->close(); });
    EXPECT_FALSE(w.pDriver->Edit_Extract_ListView());
    CExtractJob::SetProgressHook({});
    EXPECT_FALSE(w.pDriver->pcArchive_Driver()->bFileOpened());
    EXPECT_EQ(Entries(strOut), lstBefore);
    EXPECT_TRUE(messages.lstTexts.isEmpty());
}

// Encrypted entries are marked in the list; their password is asked (again after a wrong one,
// not at all once known); declining extracts the rest and names what was skipped.
TEST(Window, PasswordsAreAskedInADialog) {
    MessageRecorder messages;
    auto fnAllFiles = [](STConfig& st) { st.stGeneral.bFirstFolderOfAllFiles = true; };
    DriverWindow w = MakeDriverWindow(fnAllFiles, {"kestrel", FixturePath("zip_encrypted.zip")});
    ASSERT_EQ(w.RowNames(), (QStringList{"secret.txt", "plain.txt"}));
    EXPECT_TRUE(w.pDriver->pcFileListModel()->Text(0, Column_FileType).startsWith("(暗号化) "));
    EXPECT_FALSE(w.pDriver->pcFileListModel()->Text(1, Column_FileType).contains("暗号"));
    w.SelectAllRows();
    for (const char* pszOut : {"out", "again"}) {
        const QString strOut = MakeFolder(w, pszOut);
        DialogAnswers folder([&] { return strOut; });
        PasswordAnswers passwords({"wrong", "secret"});
        EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
        EXPECT_EQ(ReadAll(strOut + "/secret.txt"), QByteArray("secret\n"));
        if (QLatin1String(pszOut) == QLatin1String("again")) {
            EXPECT_TRUE(passwords.lstAsked.isEmpty());
            continue;
        }
        ASSERT_EQ(passwords.lstAsked.size(), 2);
        EXPECT_TRUE(passwords.lstAsked[0].contains("「zip_encrypted.zip」"));
        EXPECT_FALSE(passwords.lstAsked[0].contains("パスワードが違います"));
        EXPECT_TRUE(passwords.lstAsked[1].startsWith("パスワードが違います"));
    }
    EXPECT_TRUE(messages.lstTexts.isEmpty());

    DriverWindow declined =
        MakeDriverWindow(fnAllFiles, {"kestrel", FixturePath("zip_encrypted.zip")});
    declined.SelectAllRows();
    const QString strOut = MakeFolder(declined, "out");
    DialogAnswers folder([&] { return strOut; });
    PasswordAnswers none;
    EXPECT_TRUE(declined.pDriver->Edit_Extract_ListView());
    EXPECT_EQ(none.lstAsked.size(), 1);
    EXPECT_EQ(Entries(strOut), QStringList{"plain.txt"});
    ASSERT_EQ(messages.lstTexts.size(), 1);
    EXPECT_TRUE(
        messages.lstTexts[0].endsWith("■原因\n/secret.txt: 暗号化されているため読み出せません。"));
}

// What could not be extracted is told in Japanese: ten names, then how many more, every one in the
// details; 書庫を検査 names the same; a declared size that cannot fit stops the command before it
// starts; a write that fails (a file-size limit here) is told and leaves no part of the file.
TEST(Window, ProblemsAreToldWithTheirReasons) {
    MessageRecorder messages;
    auto fnAllFiles = [](STConfig& st) { st.stGeneral.bFirstFolderOfAllFiles = true; };
    DriverWindow w = MakeDriverWindow(fnAllFiles);
    QStringList lstNames;
    for (int i = 1; i <= 12; ++i) lstNames << QStringLiteral("d/%1.txt").arg(i, 2, 10, QChar('0'));
    const QString strZip = w.Path("damaged.zip");
    ASSERT_TRUE(MakeZip(strZip, lstNames + QStringList{"ok.txt"}));
    QByteArray baZip = ReadAll(strZip);
    // The stored data "d/NN.txt" of each becomes "D/NN.txt": twelve CRC errors.
    for (const QString& c_strName : lstNames) {
        const QByteArray baName = c_strName.toUtf8();
        baZip[baZip.indexOf(baName, baZip.indexOf(baName) + 1)] = 'D';  // after its header's name
    }
    QFile file(strZip);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(baZip);
    file.close();
    w.Open(strZip);
    EXPECT_TRUE(Enabled(*w.frm, FormName::frmMenu_Edit_Arc_Check));
    w.SelectAllRows();
    const QString strOut = MakeFolder(w, "out");
    DialogAnswers folder([&] { return strOut; });
    EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
    EXPECT_EQ(Entries(strOut), QStringList{"ok.txt"});
    w.pDriver->Edit_Check_Archive();
    ASSERT_EQ(messages.lstTexts.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QStringList lstLines = messages.lstTexts[i].split("■原因\n").value(1).split('\n');
        ASSERT_EQ(lstLines.size(), 11);
        EXPECT_EQ(lstLines[0], "/d/01.txt: データが壊れています。");
        EXPECT_EQ(lstLines[10], "ほか 2 件");
        EXPECT_EQ(messages.lstDetails[i].split('\n').size(), 12);
        EXPECT_TRUE(messages.lstDetails[i].endsWith("/d/12.txt: データが壊れています。"));
    }
    EXPECT_TRUE(messages.lstTexts[1].startsWith(
        "13 個のファイルを検査しました。\n正常: 1 個\n正常でない: 12 個"));
    messages.lstTexts.clear();
    DriverWindow sound = MakeDriverWindow({}, {"kestrel", SamplePath()});
    sound.pDriver->Edit_Check_Archive();
    EXPECT_EQ(messages.lstTexts, QStringList{"7 個のファイルを検査しました。すべて正常です。"});

    // 5 TiB declared: nothing is started.
    messages.lstTexts.clear();
    DriverWindow huge = MakeDriverWindow(
        fnAllFiles, {"kestrel", QString::fromStdString(BigArchives() / "huge.zip")});
    huge.SelectRows({0});
    const QString strHuge = MakeFolder(huge, "out");
    DialogAnswers hugeFolder([&] { return strHuge; });
    EXPECT_TRUE(huge.pDriver->Edit_Extract_ListView());
    ASSERT_EQ(messages.lstTexts.size(), 1);
    EXPECT_TRUE(messages.lstTexts[0].contains("空き容量が足りないため解凍できません。"));
    EXPECT_TRUE(Entries(strHuge).isEmpty());

    // Files may grow to 1 MiB: the 8 MiB one fails, and nothing of it is left anywhere.
    messages.lstTexts.clear();
    DriverWindow large = MakeDriverWindow(fnAllFiles, {"kestrel", FixturePath("zip_large.zip")});
    large.SelectAllRows();
    const QString strLarge = MakeFolder(large, "out");
    DialogAnswers largeFolder([&] { return strLarge; });
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit stOld{};
    getrlimit(RLIMIT_FSIZE, &stOld);
    rlimit stSmall = stOld;
    stSmall.rlim_cur = 1 << 20;
    setrlimit(RLIMIT_FSIZE, &stSmall);
    EXPECT_TRUE(large.pDriver->Edit_Extract_ListView());
    setrlimit(RLIMIT_FSIZE, &stOld);
    EXPECT_EQ(Entries(strLarge), (QStringList{"a.txt", "c.txt"}));
    ASSERT_EQ(messages.lstTexts.size(), 1);
    EXPECT_TRUE(messages.lstTexts[0].contains("/sub/big.bin: "))
        << messages.lstTexts[0].toStdString();
    for (const std::string& c_str :
         ListTree(large.pDriver->pcArchive_Driver()->strTempDirectory().toStdString()))
        EXPECT_EQ(c_str.find("big.bin"), std::string::npos) << c_str;
}

// The keyboard alone: Ctrl+F, typing, Esc, Enter, Backspace, Ctrl+E; 書庫を解凍.
TEST(Window, FilterKeyboardAndWholeArchive) {
    MessageRecorder messages;
    DriverWindow w = MakeDriverWindow();
    // Case and the width of letters, digits and katakana do not count.
    ASSERT_TRUE(MakeZip(w.Path("names.zip"),
                        {"カタカナ.txt", "ﾊﾝｶｸ.txt", "ＡＢＣ.txt", "abc.TXT", "数字１２.txt",
                         "dir/Straße.txt", "x\x01y.txt", "c\x02z/f.txt"}));
    w.Open(w.Path("names.zip"));
    EXPECT_EQ(
        w.frm->frmTreeView->findItems("c\\x02z", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);
    w.frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.frm.get()));
    QLineEdit* pFind = w.frm->frmToolBar_Edit_Find;
    QTest::keyClick(w.frm.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(pFind->hasFocus());
    const std::pair<const char*, QStringList> c_aFound[] = {
        {"ｶﾀｶﾅ", {"カタカナ.txt"}},
        {"はんかく", {}},
        {"ハンカク", {"ﾊﾝｶｸ.txt"}},
        {"abc", {"ＡＢＣ.txt", "abc.TXT"}},
        {"ａＢｃ.t", {"ＡＢＣ.txt", "abc.TXT"}},
        {"12", {"数字１２.txt"}},
        {".txt",
         {"カタカナ.txt", "ﾊﾝｶｸ.txt", "ＡＢＣ.txt", "abc.TXT", "数字１２.txt", "x\\x01y.txt"}}};
    for (const auto& [c_pszText, c_lstRows] : c_aFound) {
        pFind->clear();
        // As an input method hands over what the user has composed.
        QInputMethodEvent composed;
        composed.setCommitString(QString::fromUtf8(c_pszText));
        QApplication::sendEvent(pFind, &composed);
        EXPECT_EQ(w.RowNames(), c_lstRows) << c_pszText;
    }
    QTest::keyClicks(pFind, QStringLiteral("ABC"));
    EXPECT_EQ(w.frm->frmStatus_Directory->text(),
              QStringLiteral("フォルダ 0 / 6 file, 0 / 75 byte"));
    pFind->setText(QStringLiteral("abc"));
    EXPECT_EQ(w.frm->frmStatus_Directory->text(),
              QStringLiteral("フォルダ 2 / 6 file, 20 / 75 byte"));
    // The filter stays with the next folder; Esc shows every row again.
    w.SelectFolder(QString());
    EXPECT_EQ(w.RowNames(), (QStringList{"ＡＢＣ.txt", "abc.TXT"}));
    QTest::keyClick(pFind, Qt::Key_Escape);
    EXPECT_EQ(w.RowNames().size(), 8);
    w.SelectFolder(QStringLiteral("/dir/"));
    // Backspace in the list: the folder above; Enter: the viewer, as a double-click.
    w.SelectRows({0});
    QTest::keyClick(w.frm->frmListView, Qt::Key_Backspace);
    EXPECT_EQ(CFolderTreeView::NodeName(w.frm->frmTreeView->currentItem()), QStringLiteral("/"));
    w.SelectRows({static_cast<int>(w.RowNames().indexOf(QStringLiteral("abc.TXT")))});
    QTest::keyClick(w.frm->frmListView, Qt::Key_Return);
    ASSERT_EQ(w.pDriver->lstLaunched.size(), 1);
    EXPECT_EQ(w.pDriver->lstLaunched[0].baContent, QByteArray("abc.TXT"));
    // A click on empty space in the tree keeps the folder selected.
    QTest::mouseClick(w.frm->frmTreeView->viewport(), Qt::LeftButton, {},
                      w.frm->frmTreeView->viewport()->rect().bottomRight() - QPoint(5, 5));
    EXPECT_TRUE(w.frm->frmTreeView->currentItem()->isSelected());
    // Tab goes tree → list → search field.
    w.frm->frmTreeView->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.frm->frmListView);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), pFind);
    // Ctrl+E extracts the selection.
    const QString strOut = MakeFolder(w, QStringLiteral("out"));
    const QString strRoot = MakeFolder(w, QStringLiteral("root"));
    int nAsked = 0;
    DialogAnswers folder([&] { return nAsked++ == 0 ? strOut : strRoot; });
    QTest::keyClick(w.frm.get(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(ReadAll(strOut + "/abc.TXT"), QByteArray("abc.TXT"));
    // 書庫を解凍 gives what [ルート] with subfolders gives, and starts where the last one went.
    ASSERT_TRUE(Enabled(*w.frm, FormName::frmMenu_Edit_Arc_Thaw));
    w.frm->findChild<QAction*>(QLatin1String(FormName::frmMenu_Edit_Arc_Thaw))->trigger();
    EXPECT_EQ(folder.lstStarts.last(), strOut);
    w.SelectFolder(QStringLiteral("/"));
    QDir(strRoot).rename(QStringLiteral("names.zip"), QStringLiteral("whole"));
    EXPECT_TRUE(w.pDriver->Edit_Extract_TreeView(true));
    EXPECT_EQ(ListTree((strRoot + "/whole").toStdString()),
              ListTree((strRoot + "/names.zip").toStdString()));
    EXPECT_TRUE(QFileInfo(strRoot + "/whole/dir/Straße.txt").isFile());
    // ファイル → 最近使ったファイル: this archive first; chosen again, it opens in a new window.
    auto* pRecent = w.frm->findChild<QMenu*>(QLatin1String(FormName::frmMenu_File_Recent));
    emit pRecent->aboutToShow();
    ASSERT_FALSE(pRecent->actions().isEmpty());
    pRecent->actions().first()->trigger();
    EXPECT_EQ(w.pDriver->lstStarted, QStringList{w.Path("names.zip")});
    EXPECT_TRUE(messages.lstTexts.isEmpty()) << messages.lstTexts.join('\n').toStdString();
}

// Qt's own dialogs speak Japanese too: the folder dialog's types and dates.
TEST(Window, QtsOwnDialogsAreJapanese) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QFileSystemModel model;
    const QModelIndex c_folder = model.index(model.setRootPath(dir.path()).row(), 0,
                                             model.index(QFileInfo(dir.path()).path()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount(c_folder) == 1; }));
    const QModelIndex c_sub = model.index(0, 0, c_folder);
    EXPECT_EQ(model.data(c_sub.siblingAtColumn(2)).toString(), QStringLiteral("フォルダー"));
    const QDate c_date = QFileInfo(dir.filePath(QStringLiteral("sub"))).lastModified().date();
    EXPECT_TRUE(
        model.data(c_sub.siblingAtColumn(3)).toString().startsWith(c_date.toString(u"yyyy/MM/dd")))
        << model.data(c_sub.siblingAtColumn(3)).toString().toStdString();
}
