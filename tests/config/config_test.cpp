// Settings: what the file keeps and refuses, what is applied, and that a failed or killed save
// never costs the settings already there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTableWidget>
#include <chrono>

#include "CConfig.h"
#include "CConfigFile.h"
#include "Form_Config.h"
#include "IConfigTarget.h"
#include "support/Support.h"
#include "support/Window.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

QString Q(const fs::path& c_path) {
    return QString::fromStdString(c_path.string());
}

class FakeTarget : public IConfigTarget {
public:
    bool Set_TempDirectory(const QString& strBase, QString* pstrError) override {
        lstTempBases.append(strBase);
        if (strBase != strFailing) return true;
        *pstrError = QStringLiteral("cannot create ") + strBase;
        return false;
    }
    void Set_ListViewRowsPluralColor(bool) override {}
    void UI_Update_ViewerApplications(const QList<VIEWERAPPLICATION>& c_lst) override {
        lstViewerUpdates.append(c_lst);
    }
    QString strFailing;
    QStringList lstTempBases;
    QList<QList<VIEWERAPPLICATION>> lstViewerUpdates;
};

// Differs from the defaults in every field, with texts XML must escape.
STConfig ChangedRecord(int nViewers = 3, const QString& c_strMark = QStringLiteral("v")) {
    STConfig st;
    st.stGeneral.bFirstFolderOfAllFiles = true;
    st.stGeneral.bExpandTreeNode = false;
    st.stGeneral.bUseUserTempDirectory = true;
    st.stGeneral.strUserTempDirectory = QStringLiteral("/var/tmp/作業 & 'x'/");
    st.stGeneral.lstRecentFiles = {QStringLiteral("/home/u/a <1>.lzh"), QStringLiteral("/b\r.zip")};
    st.stExtract.strLastExtractDirectory = QStringLiteral("/home/u/解凍 & 'x'");
    st.stOpen.stViewerApplications.clear();
    for (int i = 0; i < nViewers; ++i)
        st.stOpen.stViewerApplications.append({c_strMark + QStringLiteral(" a&b <%1>").arg(i),
                                               QStringLiteral("/usr/bin/v%1").arg(i), i % 2 == 0});
    st.stView.bListViewRowsPluralColor = true;
    st.stView.stWindow.bRestoreWindowPosition = true;
    st.stView.stWindow.eWindowState = EWindowState::Maximized;
    st.stView.stWindow.stWindowBounds = {-8, -2147483647 - 1, 1936, 2147483647};
    return st;
}

}  // namespace

TEST(Settings, TheFileKeepsWhatItUnderstandsAndRefusesTheRest) {
    const STConfig c_st = ChangedRecord();
    EXPECT_EQ(CConfigFile::Parse(CConfigFile::Serialize(c_st).value()), c_st);
    const QByteArray c_baXml = CConfigFile::Serialize(STConfig()).value();
    const std::pair<const char*, const char*> c_aReplaced[] = {
        {"<Config ", "<Settings "},
        {">Normal<", ">Fullscreen<"},
        {"<Width>800<", "<Width>8OO<"},
        {"<Width>800<", "<Width>2147483648<"},
        {"<ExpandTreeNode>true<", "<ExpandTreeNode>yes<"},
        {"RestoreWindowSize=\"false\"", "RestoreWindowSize=\"no\""},
        {"<Name>メモ帳</Name>", "<Name><b/></Name>"},
        {"</General>", "</Genera>"}};
    for (const auto& [c_pszFrom, c_pszTo] : c_aReplaced) {
        ASSERT_TRUE(c_baXml.contains(c_pszFrom)) << c_pszFrom;
        EXPECT_FALSE(CConfigFile::Parse(QByteArray(c_baXml).replace(c_pszFrom, c_pszTo)))
            << c_pszTo;
    }
    for (const QByteArray& c_ba :
         {c_baXml.left(c_baXml.size() / 2), c_baXml + "<Config/>", QByteArray()})
        EXPECT_FALSE(CConfigFile::Parse(c_ba));
    // Missing nodes keep their defaults, unknown ones are skipped; an empty viewer list is none.
    const auto c_stRead = CConfigFile::Parse(
        "<Config><Future><Deep>1</Deep></Future><General><ExpandTreeNode> 0 </ExpandTreeNode>"
        "</General><Open><ViewerApplications/></Open></Config>");
    ASSERT_TRUE(c_stRead);
    STConfig stExpected;
    stExpected.stGeneral.bExpandTreeNode = false;
    stExpected.stOpen.stViewerApplications.clear();
    EXPECT_EQ(*c_stRead, stExpected);
    // Texts XML cannot carry are not written.
    STConfig stBad;
    stBad.stOpen.stViewerApplications[1].strFilePath = QStringLiteral("/opt/a\x01");
    EXPECT_FALSE(CConfigFile::Serialize(stBad));
}

// Files that cannot be read as settings give the defaults, without hanging the start.
TEST(Settings, UnreadableFilesGiveTheDefaults) {
    Scratch scratch;
    std::string strNested;
    while (strNested.size() < 900 * 1024) strNested += "<a>";
    std::string strLaughs =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE Config [\n<!ENTITY l0 \"lollollol\">\n";
    for (int i = 1; i < 10; ++i) {
        strLaughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) strLaughs += "&l" + std::to_string(i - 1) + ";";
        strLaughs += "\">\n";
    }
    strLaughs +=
        "]>\n<Config><General><UserTempDirectory>&l9;</UserTempDirectory></General></Config>";
    WriteFile(scratch / "nested.xml", strNested);
    WriteFile(scratch / "laughs.xml", strLaughs);
    WriteFile(scratch / "zeros.xml", std::string(1 << 20, '\0'));
    WriteFile(scratch / "huge.xml", CConfigFile::Serialize(ChangedRecord())->toStdString());
    fs::resize_file(scratch / "huge.xml", 100u << 20);
    mkfifo((scratch / "pipe.xml").c_str(), 0600);
    fs::create_directory(scratch / "folder.xml");
    fs::create_symlink("/dev/zero", scratch / "zero.xml");
    for (const char* c_psz : {"nested.xml", "laughs.xml", "zeros.xml", "huge.xml", "pipe.xml",
                              "folder.xml", "zero.xml"}) {
        MessageRecorder messages;
        CConfig config(nullptr, Q(scratch / c_psz));
        EXPECT_FALSE(config.Load()) << c_psz;
        EXPECT_EQ(config.pstConfig(), STConfig()) << c_psz;
        EXPECT_TRUE(messages.lstTexts.isEmpty());
    }
}

TEST(Settings, TemporaryFolderChoicesAreCheckedAndFailuresTold) {
    Scratch scratch;
    const QString strPath = Q(scratch / "kestrel.config.xml");
    // A folder that is no usable path is corrected silently, and saved corrected.
    STConfig st;
    st.stGeneral.bUseUserTempDirectory = true;
    st.stGeneral.strUserTempDirectory = QStringLiteral("work/tmp");
    WriteFile(strPath.toStdString(), CConfigFile::Serialize(st)->toStdString());
    MessageRecorder messages;
    FakeTarget target;
    {
        CConfig config(&target, strPath);
        EXPECT_TRUE(config.Load());
        EXPECT_EQ(target.lstTempBases, QStringList{Get_SystemTempDirectory()});
        ASSERT_TRUE(config.Save());
        EXPECT_FALSE(CConfigFile::Read(strPath)->stGeneral.bUseUserTempDirectory);
    }
    // One that cannot be made is told, and the system's is used; the choice is kept.
    CConfig config(&target, strPath);
    st.stGeneral.strUserTempDirectory = QStringLiteral("/media/usb/");
    target.strFailing = QStringLiteral("/media/usb/");
    target.lstTempBases.clear();
    EXPECT_FALSE(config.Update(st));
    EXPECT_EQ(target.lstTempBases, (QStringList{"/media/usb/", Get_SystemTempDirectory()}));
    EXPECT_EQ(
        messages.lstTexts,
        QStringList{
            "一時フォルダの作成中にエラーが発生しました\n\n■原因\ncannot create /media/usb/"});
    EXPECT_TRUE(config.pcGeneral()->bUseUserTempDirectory());
    EXPECT_EQ(target.lstViewerUpdates.size(), 2);  // the rest is still applied
}

TEST(Settings, AFailedSaveKeepsTheOldFile) {
    Scratch scratch;
    const QString strPath = Q(scratch / "kestrel.config.xml");
    CConfig config(nullptr, strPath);
    ASSERT_TRUE(config.Save());
    const std::string strOld = ReadFile(strPath.toStdString());
    MessageRecorder messages;
    STConfig st;
    st.stOpen.stViewerApplications[1].strName = QStringLiteral("bell\a");
    config.Update(st);
    EXPECT_FALSE(config.Save());
    // A write that stops half-way (the file-size limit) must not reach the old file either.
    st.stOpen.stViewerApplications[1].strName = QString(4096, u'x');
    config.Update(st);
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);  // as the program does from its start
        const rlimit stLimit{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &stLimit);
        _exit(config.Save() ? 1 : 0);
    }
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << "saved, or killed: " << nStatus;
    EXPECT_EQ(ReadFile(strPath.toStdString()), strOld);
    EXPECT_EQ(ListTree(scratch.Path()), std::vector<std::string>{"kestrel.config.xml"});
    ASSERT_EQ(messages.lstTexts.size(), 1);
    EXPECT_TRUE(messages.lstTexts[0].startsWith(
        QStringLiteral("設定ファイルの保存中にエラーが発生しました\n\n■原因\n")));
    // Into a folder that cannot be written: the reason is told.
    CConfig cProc(nullptr, QStringLiteral("/proc/kestrel/kestrel.config.xml"));
    EXPECT_FALSE(cProc.Save());
    EXPECT_EQ(messages.lstTexts.size(), 2);
}

// Two windows, each a process with its own copy: what one changed is not undone when the other
// ends, and each one's history joins the other's.
TEST(Settings, WindowsEndingInTurnKeepEachOthersChangesAndHistory) {
    Scratch scratch;
    const QString strPath = Q(scratch / "kestrel.config.xml");
    QStringList lstArchives;
    for (int i = 0; i < 12; ++i) {
        lstArchives << Q(scratch / ("a" + std::to_string(i) + ".zip"));
        WriteFile(lstArchives.last().toStdString(), "");
    }
    CConfig cA(nullptr, strPath), cB(nullptr, strPath);
    cA.Load();
    cB.Load();
    STConfig stOptions = cB.pstConfig();
    stOptions.stGeneral.bExpandTreeNode = false;  // the options dialog's OK in B
    cB.Update(stOptions);
    ASSERT_TRUE(cB.Save());
    cA.Add_RecentFile(lstArchives[11]);
    for (int i = 0; i < 11; ++i) cB.Add_RecentFile(lstArchives[i]);
    cB.Set_LastExtractDirectory(QStringLiteral("/srv/b"));
    cA.Add_RecentFile(lstArchives[0]);
    cA.Set_LastExtractDirectory(QStringLiteral("/srv/a"));
    cA.pcView()->pcWindow()->Set_WindowBounds({1, 2, 640, 400});
    ASSERT_TRUE(cB.Save_AtExit());
    ASSERT_TRUE(cA.Save_AtExit());
    QFile::remove(lstArchives[10]);
    CConfig cNext(nullptr, strPath);
    ASSERT_TRUE(cNext.Load());
    EXPECT_FALSE(cNext.pcGeneral()->bExpandTreeNode());
    EXPECT_EQ(cNext.pstConfig().stView.stWindow.stWindowBounds.Width, 640);
    EXPECT_EQ(cNext.pcExtract()->strLastExtractDirectory(), QStringLiteral("/srv/a"));
    // Newest first across the windows, ten at most, each once; a file gone since is not offered.
    EXPECT_EQ(
        cNext.Get_RecentFiles(),
        (QStringList{lstArchives[0], lstArchives[9], lstArchives[8], lstArchives[7], lstArchives[6],
                     lstArchives[5], lstArchives[4], lstArchives[3], lstArchives[2]}));
}

// The viewer list of the options dialog: the association row cannot be edited, rows move
// within the list's ends, a removed row leaves nothing selected, and OK hands back the order.
TEST(Settings, TheOptionsDialogEditsTheViewerList) {
    STConfig st;
    st.stOpen.stViewerApplications.append({"third", "/bin/third", true});
    Form_Config dialog(&st);
    auto* pList = dialog.findChild<QTableWidget*>(QStringLiteral("frmViewerApplications"));
    auto* pName = dialog.findChild<QLineEdit*>(QStringLiteral("frmName"));
    auto fnWidget = [&](const char* psz) { return dialog.findChild<QWidget*>(QLatin1String(psz)); };
    auto fnClick = [&](const char* psz) { static_cast<QAbstractButton*>(fnWidget(psz))->click(); };
    auto fnNames = [&] {
        QStringList lst;
        for (int n = 0; n < pList->rowCount(); ++n) lst << pList->item(n, 0)->text();
        return lst;
    };
    ASSERT_TRUE(pList && pName);
    EXPECT_EQ(pName->text(), QStringLiteral("関連づけ"));  // the first row, selected at the start
    for (const char* psz : {"frmName", "frmFilePath", "frmUpdate", "frmRemove"})
        EXPECT_FALSE(fnWidget(psz)->isEnabled()) << psz;
    fnClick("frmUp");
    EXPECT_EQ(fnNames(), (QStringList{"関連づけ", "メモ帳", "third"}));
    pList->selectRow(2);
    fnClick("frmDown");
    fnClick("frmUp");
    fnClick("frmUp");
    EXPECT_EQ(fnNames(), (QStringList{"third", "関連づけ", "メモ帳"}));
    pList->selectRow(2);
    fnClick("frmRemove");
    EXPECT_TRUE(pList->selectionModel()->selectedRows().isEmpty());
    EXPECT_FALSE(fnWidget("frmRemove")->isEnabled());
    fnClick("frmButton_OK");
    EXPECT_EQ(
        st.stOpen.stViewerApplications,
        (QList<VIEWERAPPLICATION>{{"third", "/bin/third", true}, {"関連づけ", "RELATE:", false}}));
}
