#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QUrl>

#include "CArchive_Driver.h"
#include "CFileDialogs.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "DataObject_DelayRender_Archive.h"
#include "DriverTestSupport.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// The folder dialog answers with c_strFolder and remembers where it started.
struct FolderAnswer {
    explicit FolderAnswer(const QString& c_strFolder) {
        CFileDialogs::SetHooks(
            [this, c_strFolder](QWidget*, const QString& c_strCaption, const QString& c_strStart) {
                strCaption = c_strCaption;
                lstStarts << c_strStart;
                return c_strFolder;
            },
            {});
    }
    ~FolderAnswer() { CFileDialogs::SetHooks({}, {}); }
    QString strCaption;
    QStringList lstStarts;
};

QString MakeFolder(const DriverWindow& c_w, const QString& c_strName) {
    const QString strPath = c_w.Path(c_strName);
    QDir().mkpath(strPath);
    return strPath;
}

void WriteFile(const QString& c_strPath, const QByteArray& c_baContent) {
    QFile file(c_strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c_baContent);
}

class CHeldButtons : public shelf_cli::IMouseButtonState {
public:
    Qt::MouseButtons eButtons = Qt::NoButton;
    Qt::MouseButtons Buttons() const override { return eButtons; }
};

}  // namespace

TEST(Commands, ExtractSelectedFilesAndAnswerTheReplaceQuestion) {
    MessageRecorder messages;
    DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath()});
    const QString strOut = MakeFolder(w, QStringLiteral("out"));

    // Nothing selected: told, nothing asked.
    {
        FolderAnswer folder(strOut);
        EXPECT_FALSE(w.pDriver->Edit_Extract_ListView());
        EXPECT_TRUE(folder.lstStarts.isEmpty());
    }
    EXPECT_EQ(messages.lstTexts, QStringList{"ファイルが選択されていません"});

    w.SelectRows({0, 1});
    {
        FolderAnswer folder(strOut);
        EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
        EXPECT_EQ(folder.strCaption, QStringLiteral("解凍先のフォルダを指定してください。"));
        EXPECT_EQ(folder.lstStarts, QStringList{QDir::homePath()});
        // Again: the dialog starts where the last one went, and both files clash.
        int nAsked = 0;
        w.pDriver->hookQuestion = [&](const CFileMover::Question&) {
            ++nAsked;
            return CFileMover::EAnswer::Yes;
        };
        EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
        EXPECT_EQ(folder.lstStarts.last(), strOut);
        EXPECT_EQ(nAsked, 2);
    }
    EXPECT_EQ(ReadFile(strOut + QStringLiteral("/readme.txt")),
              QStringLiteral("ケストレルの見本書庫です。\n").toUtf8());
    EXPECT_TRUE(QFileInfo(strOut + QStringLiteral("/空.txt")).isFile());

    // Each answer to the replace question.
    for (auto eAnswer :
         {CFileMover::EAnswer::No, CFileMover::EAnswer::Yes, CFileMover::EAnswer::Cancel}) {
        WriteFile(strOut + QStringLiteral("/readme.txt"), "mine");
        int nAsked = 0;
        w.pDriver->hookQuestion = [&](const CFileMover::Question& c_q) {
            ++nAsked;
            EXPECT_TRUE(c_q.bOfferAll);  // two files in one command
            return c_q.strTarget.endsWith(QStringLiteral("空.txt")) ? CFileMover::EAnswer::Yes
                                                                    : eAnswer;
        };
        messages.lstTexts.clear();
        FolderAnswer folder(strOut);
        w.pDriver->Edit_Extract_ListView();
        EXPECT_EQ(nAsked, 2);
        const QByteArray baNow = ReadFile(strOut + QStringLiteral("/readme.txt"));
        EXPECT_EQ(baNow == "mine", eAnswer != CFileMover::EAnswer::Yes);
        EXPECT_EQ(messages.lstTexts.size(), eAnswer == CFileMover::EAnswer::Cancel ? 1 : 0);
        if (!messages.lstTexts.isEmpty()) {
            EXPECT_TRUE(messages.lstTexts[0].startsWith(
                QStringLiteral("ファイルの移動中にエラーが発生しました\n\n■原因\n")));
        }
    }
}

TEST(Commands, SameNamesFromTwoFoldersMeetAtTheDestination) {
    MessageRecorder messages;
    DriverWindow w =
        MakeDriverWindow([](STConfig& st) { st.stGeneral.bFirstFolderOfAllFiles = true; });
    const QString strZip = w.Path(QStringLiteral("twins.zip"));
    ASSERT_TRUE(MakeZip(strZip, {"a/x.txt", "b/x.txt"}));
    w.Open(strZip);
    ASSERT_EQ(w.RowNames(), (QStringList{"x.txt", "x.txt"}));
    w.SelectRows({0, 1});
    QStringList lstAsked;
    w.pDriver->hookQuestion = [&](const CFileMover::Question& c_q) {
        lstAsked << QFileInfo(c_q.strTarget).fileName();
        return CFileMover::EAnswer::Yes;
    };
    const QString strOut = MakeFolder(w, QStringLiteral("out"));
    FolderAnswer folder(strOut);
    EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
    EXPECT_EQ(lstAsked, QStringList{"x.txt"});
    EXPECT_EQ(ReadFile(strOut + QStringLiteral("/x.txt")), QByteArray("b/x.txt"));
    EXPECT_TRUE(messages.lstTexts.isEmpty());
}

TEST(Commands, ExtractATreeFolder) {
    MessageRecorder messages;
    DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath()});
    const QString strOut = MakeFolder(w, QStringLiteral("out"));
    FolderAnswer folder(strOut);

    w.SelectFolder(QStringLiteral("/文書/"));
    EXPECT_TRUE(w.pDriver->Edit_Extract_TreeView(false));
    EXPECT_TRUE(QFileInfo(strOut + QStringLiteral("/文書/報告書.txt")).isFile());
    EXPECT_FALSE(QFileInfo::exists(strOut + QStringLiteral("/文書/画像")));

    const QString strWith = MakeFolder(w, QStringLiteral("with"));
    FolderAnswer folderWith(strWith);
    EXPECT_TRUE(w.pDriver->Edit_Extract_TreeView(true));
    EXPECT_TRUE(QFileInfo(strWith + QStringLiteral("/文書/画像/表.csv")).isFile());
    EXPECT_EQ(ReadFile(strWith + QStringLiteral("/文書/画像/logo.bmp")).size(), 3072);

    // The root arrives as a folder named like the archive.
    w.SelectFolder(QStringLiteral("/"));
    EXPECT_TRUE(w.pDriver->Edit_Extract_TreeView(true));
    EXPECT_TRUE(QFileInfo(strWith + QStringLiteral("/sample.lzh/src/lib/util.h")).isFile());
    EXPECT_TRUE(QFileInfo(strWith + QStringLiteral("/sample.lzh/readme.txt")).isFile());

    // A folder with no files of its own, without subfolders: an empty folder.
    const QString strEmpty = MakeFolder(w, QStringLiteral("empty"));
    FolderAnswer folderEmpty(strEmpty);
    w.SelectFolder(QStringLiteral("/src/lib/"));
    w.SelectFolder(QStringLiteral("/文書/画像/"));
    EXPECT_TRUE(w.pDriver->Edit_Extract_TreeView(false));
    EXPECT_TRUE(QFileInfo(strEmpty + QStringLiteral("/画像/logo.bmp")).isFile());

    // The all-files node: nothing happens after the folder has been chosen.
    w.SelectFolder(QString());
    const QStringList lstBefore = QDir(strEmpty).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    EXPECT_FALSE(w.pDriver->Edit_Extract_TreeView(true));
    EXPECT_EQ(QDir(strEmpty).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), lstBefore);
    EXPECT_TRUE(messages.lstTexts.isEmpty());

    // A cancelled folder dialog: nothing.
    FolderAnswer cancelled{QString()};
    EXPECT_FALSE(w.pDriver->Edit_Extract_TreeView(true));
}

TEST(Commands, OpenWithViewers) {
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
    EXPECT_TRUE(w.pDriver->lstLaunched[0].strProgram.isEmpty());  // the association
    EXPECT_TRUE(
        w.pDriver->lstLaunched[0].strFile.endsWith(QStringLiteral("/sample.lzh/readme.txt")));
    EXPECT_EQ(w.pDriver->lstLaunched[0].baContent,
              QStringLiteral("ケストレルの見本書庫です。\n").toUtf8());

    // The second viewer, from the Edit menu, on two files: one question, two starts.
    w.SelectRows({0, 1});
    auto* pItem = w.frm->findChild<QAction*>(QStringLiteral("frmMenu_Edit_Select_Open_1"));
    ASSERT_NE(pItem, nullptr);
    pItem->trigger();
    EXPECT_EQ(messages.lstTexts.size(), 1);
    EXPECT_EQ(messages.lstCaptions.value(0), QStringLiteral("警告"));
    EXPECT_TRUE(
        messages.lstTexts.value(0).startsWith(QStringLiteral("複数のファイルを1度に開いた場合")));
    ASSERT_EQ(w.pDriver->lstLaunched.size(), 3);
    EXPECT_EQ(w.pDriver->lstLaunched[1].strProgram, QStringLiteral("/usr/bin/editor-of-choice"));
    EXPECT_EQ(w.pDriver->lstLaunched[2].strProgram, QStringLiteral("/usr/bin/editor-of-choice"));
    EXPECT_TRUE(QFileInfo(w.pDriver->lstLaunched[2].strFile).isFile());

    // "No": nothing opens.
    messages.bAnswerYes = false;
    pItem->trigger();
    EXPECT_EQ(w.pDriver->lstLaunched.size(), 3);

    // No selection.
    w.frm->frmListView->clearSelection();
    messages.lstTexts.clear();
    w.pDriver->Edit_Open_Click_EventHandler(w.frm->frmListView);
    EXPECT_EQ(messages.lstTexts, QStringList{"ファイルが選択されていません"});
}

TEST(Commands, ViewerMenusAndAnEmptyViewerList) {
    DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath()});
    w.pDriver->UI_Update_ViewerApplications({{"A", "/bin/a", true}, {"B", "/bin/b", true}});
    for (const char* pszMenu :
         {FormName::frmMenu_Edit_Select_Open, FormName::frmToolBar_Edit_Select_Open,
          FormName::frmListView_Menu_Select_Open}) {
        auto* pMenu = w.frm->findChild<QMenu*>(QString::fromLatin1(pszMenu));
        ASSERT_NE(pMenu, nullptr);
        const QList<QAction*> vItems = pMenu->actions();
        ASSERT_EQ(vItems.size(), 2) << pszMenu;
        EXPECT_EQ(vItems[0]->text(), QStringLiteral("A(&0)"));
        EXPECT_EQ(vItems[1]->text(), QStringLiteral("B(&1)"));
        EXPECT_EQ(vItems[1]->objectName(), QString::fromLatin1(pszMenu) + QStringLiteral("_1"));
    }
    w.pDriver->UI_Update_ViewerApplications({});
    EXPECT_TRUE(w.frm->findChild<QMenu*>(QLatin1String(FormName::frmMenu_Edit_Select_Open))
                    ->actions()
                    .isEmpty());
    EXPECT_EQ(w.frm->findChild<QAction*>(QStringLiteral("frmMenu_Edit_Select_Open_0")), nullptr);
    w.SelectRows({0});
    w.pDriver->Edit_Open_Click_EventHandler(w.frm->frmListView);
    ASSERT_EQ(w.pDriver->lstLaunched.size(), 1);
    EXPECT_TRUE(w.pDriver->lstLaunched[0].strProgram.isEmpty());
}

TEST(Commands, ExtractionFailuresAreTold) {
    MessageRecorder messages;
    DriverWindow w = MakeDriverWindow({}, {"kestrel", FixturePath("zip_corrupt.zip")});
    ASSERT_EQ(w.RowNames(), (QStringList{"bad.txt", "ok.txt"}));
    w.SelectRows({0});
    w.pDriver->Edit_Open_Click_EventHandler(w.frm->frmListView);
    ASSERT_GE(messages.lstTexts.size(), 1);
    EXPECT_TRUE(messages.lstTexts[0].startsWith(
        QStringLiteral("ファイルの解凍中にエラーが発生しました\n\n■原因\n")));
    EXPECT_GT(messages.lstTexts[0].size(), 30);  // with the archiver's own words
}

TEST(Commands, DragDataExtractsOnlyAtTheDrop) {
    DriverWindow w = MakeDriverWindow({}, {"kestrel", SamplePath()});
    const QString strStaging = w.pDriver->pcArchive_Driver()->Generate_ExtractTempDirectoryName();
    const QString strFile = strStaging + QStringLiteral("文書/報告書.txt");
    auto pcButtons = std::make_shared<CHeldButtons>();
    {
        DataObject_DelayRender_Archive data({strFile}, w.pDriver, {"/文書/報告書.txt"}, strStaging,
                                            false);
        data.Set_MouseButtonState(pcButtons);
        pcButtons->eButtons = Qt::LeftButton;
        EXPECT_EQ(data.urls(), QList<QUrl>{QUrl::fromLocalFile(strFile)});
        EXPECT_FALSE(QFileInfo::exists(strFile));
        pcButtons->eButtons = Qt::NoButton;
        EXPECT_EQ(data.urls(), QList<QUrl>{QUrl::fromLocalFile(strFile)});
        EXPECT_EQ(ReadFile(strFile).size(), 3890);
    }
    // A folder drag: the announced folder exists even without files of its own.
    const QString strStaging2 = w.pDriver->pcArchive_Driver()->Generate_ExtractTempDirectoryName();
    const QString strFolder = strStaging2 + QStringLiteral("src");
    DataObject_DelayRender_Archive folder({strFolder}, w.pDriver,
                                          {"/src/lib/util.h", "/src/main.c"}, strStaging2, true);
    folder.Set_MouseButtonState(pcButtons);
    (void)folder.urls();
    EXPECT_TRUE(QFileInfo(strFolder + QStringLiteral("/lib/util.h")).isFile());
    EXPECT_TRUE(QFileInfo(strFolder + QStringLiteral("/main.c")).isFile());
}
