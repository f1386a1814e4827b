// The configuration manager: loading, applying, the temporary-folder rule and saving.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "CConfig.h"
#include "CConfigFile.h"
#include "ConfigTestSupport.h"

using namespace kestrel;
using kestrel::test::FakeConfigTarget;
using kestrel::test::MessageRecorder;

namespace {

const QString c_strSaveError =
    QStringLiteral("設定ファイルの保存中にエラーが発生しました\n\n■原因\n");

class ConfigTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_strPath = m_dir.filePath(QStringLiteral("kestrel.config.xml"));
    }
    void WriteFile(const QByteArray& c_baContent) {
        QFile file(m_strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c_baContent);
    }
    QByteArray FileContent() {
        QFile file(m_strPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QString m_strPath;
    FakeConfigTarget m_target;
};

}  // namespace

TEST_F(ConfigTest, NoFileAppliesTheDefaults) {
    CConfig config(&m_target, m_strPath);
    EXPECT_FALSE(config.Load());
    EXPECT_EQ(config.pstConfig(), STConfig());
    EXPECT_EQ(m_target.lstTempBases, QStringList{Get_SystemTempDirectory()});
    EXPECT_TRUE(Get_SystemTempDirectory().endsWith(u'/'));
    EXPECT_EQ(m_target.lstStriping, QList<bool>{false});
    ASSERT_EQ(m_target.lstViewerUpdates.size(), 1);
    const QList<VIEWERAPPLICATION>& c_lstViewers = m_target.lstViewerUpdates[0];
    ASSERT_EQ(c_lstViewers.size(), 2);
    EXPECT_EQ(c_lstViewers[0].strName, QStringLiteral("関連づけ"));
    EXPECT_EQ(c_lstViewers[1].strName, QStringLiteral("メモ帳"));
    EXPECT_FALSE(c_lstViewers[1].strFilePath.isEmpty());
    EXPECT_FALSE(QFile::exists(m_strPath));  // loading never writes
}

TEST_F(ConfigTest, SavedSettingsLoadBackAndAreApplied) {
    STConfig stChanged;
    stChanged.stGeneral.bUseUserTempDirectory = true;
    stChanged.stGeneral.strUserTempDirectory = m_dir.path() + QStringLiteral("/作業");
    stChanged.stView.bListViewRowsPluralColor = true;
    stChanged.stView.stWindow.eWindowState = EWindowState::Minimized;
    stChanged.stOpen.stViewerApplications.append({"less", "/usr/bin/less", true});
    {
        CConfig config(nullptr, m_strPath);
        EXPECT_TRUE(config.Update(stChanged));
        EXPECT_TRUE(config.Save());
    }
    CConfig config(&m_target, m_strPath);
    EXPECT_TRUE(config.Load());
    stChanged.stGeneral.strUserTempDirectory += u'/';
    EXPECT_EQ(config.pstConfig(), stChanged);
    EXPECT_EQ(m_target.lstTempBases, QStringList{stChanged.stGeneral.strUserTempDirectory});
    EXPECT_EQ(m_target.lstStriping, QList<bool>{true});
    EXPECT_EQ(m_target.lstViewerUpdates,
              QList<QList<VIEWERAPPLICATION>>{stChanged.stOpen.stViewerApplications});
    EXPECT_EQ(config.pcView()->pcWindow()->eWindowState(), EWindowState::Minimized);
}

TEST_F(ConfigTest, AFileThatDoesNotParseGivesTheDefaults) {
    STConfig stChanged;
    stChanged.stGeneral.bExpandTreeNode = false;
    WriteFile(CConfigFile::Serialize(stChanged).value().replace(">Normal<", ">Huge<"));
    CConfig config(&m_target, m_strPath);
    EXPECT_FALSE(config.Load());
    EXPECT_EQ(config.pstConfig(), STConfig());
    EXPECT_EQ(m_target.lstViewerUpdates.size(), 1);
    // The next save replaces the unreadable file.
    EXPECT_TRUE(config.Save());
    EXPECT_EQ(CConfigFile::Read(m_strPath), STConfig());
}

TEST_F(ConfigTest, PresentButEmptyViewerListAppliesAsEmpty) {
    WriteFile("<Config><Open><ViewerApplications/></Open></Config>");
    CConfig config(&m_target, m_strPath);
    EXPECT_TRUE(config.Load());
    ASSERT_EQ(m_target.lstViewerUpdates.size(), 1);
    EXPECT_TRUE(m_target.lstViewerUpdates[0].isEmpty());
}

TEST(ConfigTempDirectory, UsablePaths) {
    const struct {
        const char* szPath;
        bool bUsable;
        const char* szStored;  // null: the system's temporary folder
    } c_aCases[] = {
        {"/", true, "/"},
        {"/home/user/tmp", true, "/home/user/tmp/"},
        {"/home/user/tmp/", true, "/home/user/tmp/"},
        {"/空白 あり/", true, "/空白 あり/"},
        {"relative/dir", false, nullptr},
        {"", false, nullptr},
        {"~/tmp", false, nullptr},
        {"C:\\Temp\\", false, nullptr},
        {"//server/share", true, "//server/share/"},
        {"/a*b", false, nullptr},
        {"/a:b", false, nullptr},
        {"/a?b", false, nullptr},
        {"/a\"b", false, nullptr},
        {"/a<b", false, nullptr},
        {"/a>b", false, nullptr},
        {"/a|b", false, nullptr},
        {"/tmp\n/x*", false, nullptr},
    };
    for (const auto& c_case : c_aCases) {
        QString strPath = QString::fromUtf8(c_case.szPath);
        EXPECT_EQ(CGeneral::Check_UserTempDirectoryPath(strPath), c_case.bUsable) << c_case.szPath;
        EXPECT_EQ(strPath,
                  c_case.szStored ? QString::fromUtf8(c_case.szStored) : Get_SystemTempDirectory())
            << c_case.szPath;
    }
}

TEST_F(ConfigTest, UnusableUserFolderTurnsTheSwitchOffAndIsSavedCorrected) {
    STConfig st;
    st.stGeneral.bUseUserTempDirectory = true;
    st.stGeneral.strUserTempDirectory = QStringLiteral("work/tmp");
    WriteFile(CConfigFile::Serialize(st).value());
    MessageRecorder messages;
    CConfig config(&m_target, m_strPath);
    EXPECT_TRUE(config.Load());
    EXPECT_FALSE(config.pcGeneral()->bUseUserTempDirectory());
    EXPECT_EQ(config.pcGeneral()->strUserTempDirectory(), Get_SystemTempDirectory());
    EXPECT_EQ(m_target.lstTempBases, QStringList{Get_SystemTempDirectory()});
    EXPECT_TRUE(messages.lstTexts.isEmpty());  // corrected silently
    ASSERT_TRUE(config.Save());
    const std::optional<STConfig> c_stSaved = CConfigFile::Read(m_strPath);
    ASSERT_TRUE(c_stSaved.has_value());
    EXPECT_FALSE(c_stSaved->stGeneral.bUseUserTempDirectory);
    EXPECT_EQ(c_stSaved->stGeneral.strUserTempDirectory, Get_SystemTempDirectory());
}

TEST_F(ConfigTest, UserFolderIsUsedOnlyWhileTheSwitchIsOn) {
    CConfig config(&m_target, m_strPath);
    STConfig st;
    st.stGeneral.strUserTempDirectory = QStringLiteral("/srv/stage");
    config.Update(st);
    st.stGeneral.bUseUserTempDirectory = true;
    config.Update(st);
    EXPECT_EQ(m_target.lstTempBases, (QStringList{Get_SystemTempDirectory(), "/srv/stage/"}));
    EXPECT_EQ(config.pcGeneral()->strUserTempDirectory(), QStringLiteral("/srv/stage/"));
    // Re-applying the current record makes a fresh temporary folder each time.
    config.Update();
    EXPECT_EQ(m_target.lstTempBases.size(), 3);
    EXPECT_EQ(m_target.lstViewerUpdates.size(), 3);
}

TEST_F(ConfigTest, TemporaryFolderThatCannotBeMadeIsReportedAndTheSystemOneUsed) {
    MessageRecorder messages;
    CConfig config(&m_target, m_strPath);
    STConfig st;
    st.stGeneral.bUseUserTempDirectory = true;
    st.stGeneral.strUserTempDirectory = QStringLiteral("/media/usb/");
    m_target.setFailingBases = {"/media/usb/"};
    EXPECT_FALSE(config.Update(st));
    EXPECT_EQ(m_target.lstTempBases, (QStringList{"/media/usb/", Get_SystemTempDirectory()}));
    ASSERT_EQ(messages.lstTexts.size(), 1);
    EXPECT_EQ(messages.lstCaptions[0], QStringLiteral("エラー"));
    EXPECT_EQ(messages.lstTexts[0],
              QStringLiteral("一時フォルダの作成中にエラーが発生しました\n\n■原因\ncannot create "
                             "/media/usb/"));
    EXPECT_EQ(config.strLastError(), messages.lstTexts[0]);
    // The user's choice is kept for a later run, when the folder may be there again.
    EXPECT_TRUE(config.pcGeneral()->bUseUserTempDirectory());
    EXPECT_EQ(m_target.lstViewerUpdates.size(), 1);  // the rest is still applied

    m_target.setFailingBases.insert(Get_SystemTempDirectory());
    EXPECT_FALSE(config.Update());
    EXPECT_TRUE(messages.lstTexts[1].endsWith(u'\n' + QStringLiteral("cannot create ") +
                                              Get_SystemTempDirectory()));
    m_target.setFailingBases.clear();
    EXPECT_TRUE(config.Update());
    EXPECT_TRUE(config.strLastError().isEmpty());
}

TEST_F(ConfigTest, SaveIntoAFolderThatCannotBeWrittenShowsTheReason) {
    MessageRecorder messages;
    for (const QString& c_strPath : {QStringLiteral("/proc/kestrel.config.xml"),
                                     QStringLiteral("/proc/kestrel/kestrel.config.xml")}) {
        CConfig config(nullptr, c_strPath);
        EXPECT_FALSE(config.Save()) << c_strPath.toStdString();
    }
    ASSERT_EQ(messages.lstTexts.size(), 2);
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(messages.lstIcons[n], QMessageBox::Critical);
        EXPECT_EQ(messages.lstCaptions[n], QStringLiteral("エラー"));
        EXPECT_TRUE(messages.lstTexts[n].startsWith(c_strSaveError));
        EXPECT_GT(messages.lstTexts[n].size(), c_strSaveError.size());
    }
}

TEST_F(ConfigTest, FailedSaveKeepsTheOldFile) {
    CConfig config(nullptr, m_strPath);
    ASSERT_TRUE(config.Save());
    const QByteArray c_baOld = FileContent();
    MessageRecorder messages;

    STConfig st;
    st.stOpen.stViewerApplications[1].strName = QStringLiteral("bell\a");
    config.Update(st);
    EXPECT_FALSE(config.Save());
    EXPECT_EQ(FileContent(), c_baOld);

    // A write that stops half-way (file size limit) must not reach the old file either.
    st.stOpen.stViewerApplications[1].strName = QString(4096, u'x');
    config.Update(st);
    rlimit stOldLimit{};
    getrlimit(RLIMIT_FSIZE, &stOldLimit);
    rlimit stLimit = stOldLimit;
    stLimit.rlim_cur = 1024;
    auto pOldHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &stLimit);
    const bool c_bSaved = config.Save();
    setrlimit(RLIMIT_FSIZE, &stOldLimit);
    signal(SIGXFSZ, pOldHandler);
    EXPECT_FALSE(c_bSaved);
    EXPECT_EQ(FileContent(), c_baOld);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"kestrel.config.xml"});

    ASSERT_EQ(messages.lstTexts.size(), 2);
    for (const QString& c_strText : messages.lstTexts) {
        EXPECT_TRUE(c_strText.startsWith(c_strSaveError)) << c_strText.toStdString();
    }
}

TEST_F(ConfigTest, ReadOnlyFolderKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    CConfig config(nullptr, m_strPath);
    ASSERT_TRUE(config.Save());
    const QByteArray c_baOld = FileContent();
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    MessageRecorder messages;
    STConfig st;
    st.stGeneral.bExpandTreeNode = false;
    config.Update(st);
    EXPECT_FALSE(config.Save());
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(FileContent(), c_baOld);
    EXPECT_EQ(messages.lstTexts.size(), 1);
}

TEST(ConfigLocation, BesideTheProgramWhenWritableElseTheUserConfigurationFolder) {
    EXPECT_EQ(CConfig::Get_ConfigFileName(), QStringLiteral("kestrel.config.xml"));
    const QString c_strProgramFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo(c_strProgramFolder).isWritable()) {
        CConfig config(nullptr);
        EXPECT_EQ(config.Get_ConfigFullPath(), c_strProgramFolder + "/kestrel.config.xml");
        return;
    }
    QTemporaryDir dirHome;
    ASSERT_TRUE(dirHome.isValid());
    const bool c_bHadHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray c_baOldHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dirHome.path().toUtf8());
    CConfig config(nullptr);
    EXPECT_TRUE(config.Get_ConfigFullPath().startsWith(dirHome.path() + u'/'));
    EXPECT_TRUE(config.Save());  // makes the folder
    EXPECT_TRUE(QFile::exists(config.Get_ConfigFullPath()));
    if (c_bHadHome) {
        qputenv("XDG_CONFIG_HOME", c_baOldHome);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
}
