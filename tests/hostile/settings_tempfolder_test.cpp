// Settings files that are damaged, enormous or not files at all; saves killed half-way; and
// temporary folders put where deleting the wrong thing would hurt: the home folder and "/".
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <fstream>
#include <random>

#include "CArchive_Driver.h"
#include "CConfig.h"
#include "CConfigFile.h"
#include "CMessageBox.h"
#include "DriverTestSupport.h"
#include "HostileSupport.h"

using namespace kestrel;
using namespace kestrel::test;
using namespace kestrel::hostile;

namespace {

QString Q(const fs::path& c_path) {
    return QString::fromStdString(c_path.string());
}

// What applying the settings reaches, on a real archive driver.
class CDriverTarget : public IConfigTarget {
public:
    bool Set_TempDirectory(const QString& strBase, QString* pstrError) override {
        return cDriver.Set_TempDirectory(strBase, pstrError);
    }
    void Set_ListViewRowsPluralColor(bool) override {}
    void UI_Update_ViewerApplications(const QList<VIEWERAPPLICATION>&) override {}
    CArchive_Driver cDriver;
};

struct SilentMessages {
    SilentMessages() {
        CMessageBox::SetHook([this](QMessageBox::Icon, const QString&, const QString& c_strText,
                                    QMessageBox::StandardButtons) {
            lstTexts << c_strText;
            return QMessageBox::Ok;
        });
    }
    ~SilentMessages() { CMessageBox::SetHook({}); }
    QStringList lstTexts;
};

STConfig ChangedSettings(int nViewers, const QString& c_strMark) {
    STConfig st;
    st.stGeneral.bExpandTreeNode = false;
    for (int i = 0; i < nViewers; ++i) {
        st.stOpen.stViewerApplications.append(
            {c_strMark + QString::number(i), QStringLiteral("/usr/bin/viewer-%1").arg(i), true});
    }
    return st;
}

}  // namespace

TEST(SettingsHostile, UnreadableFilesGiveTheDefaultsQuickly) {
    Scratch scratch;
    const QByteArray c_baGood = CConfigFile::Serialize(ChangedSettings(3, "v")).value();
    std::string strNested;
    while (strNested.size() < 900 * 1024) strNested += "<a>";
    std::string strLaughs =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE Config [\n<!ENTITY l0 \"lollollollollollol\">\n";
    for (int i = 1; i < 10; ++i) {
        strLaughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) strLaughs += "&l" + std::to_string(i - 1) + ";";
        strLaughs += "\">\n";
    }
    strLaughs +=
        "]>\n<Config><General><UserTempDirectory>&l9;</UserTempDirectory></General></Config>";
    std::mt19937 random(11);
    std::string strNoise(512 * 1024, '\0');
    for (char& c : strNoise) c = static_cast<char>(random());

    const std::vector<std::pair<std::string, std::string>> c_vCase = {
        {"truncated", c_baGood.left(c_baGood.size() / 2).toStdString()},
        {"cut inside the last tag", c_baGood.left(c_baGood.lastIndexOf('>')).toStdString()},
        {"malformed", c_baGood.toStdString().replace(c_baGood.indexOf("<General>"), 9, "<General")},
        {"noise", strNoise},
        {"zeros", std::string(1024 * 1024, '\0')},
        {"nested 300,000 deep", strNested},
        {"entity expansion", strLaughs},
        {"UTF-16", std::string("\xff\xfe<\0C\0", 6)},
    };
    for (const auto& [c_strCase, c_strContent] : c_vCase) {
        SCOPED_TRACE(c_strCase);
        const fs::path path = scratch / "kestrel.config.xml";
        WriteFile(path, c_strContent);
        SilentMessages messages;
        CConfig config(nullptr, Q(path));
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(config.Load());
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(config.pstConfig(), STConfig());
        EXPECT_TRUE(messages.lstTexts.isEmpty());
    }

    // 100 MB (sparse), a pipe nobody writes to, a folder, an endless device.
    const fs::path huge = scratch / "huge.xml";
    WriteFile(huge, c_baGood.toStdString());
    fs::resize_file(huge, 100u << 20);
    ASSERT_EQ(mkfifo((scratch / "pipe.xml").c_str(), 0600), 0);
    fs::create_directory(scratch / "folder.xml");
    fs::create_symlink("/dev/zero", scratch / "zero.xml");
    for (const char* c_psz : {"huge.xml", "pipe.xml", "folder.xml", "zero.xml"}) {
        SCOPED_TRACE(c_psz);
        CConfig config(nullptr, Q(scratch / c_psz));
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(config.Load());
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(config.pstConfig(), STConfig());
    }
}

// A child saves two large settings records in turn, over and over, and is killed at a random
// moment: the file on disk is always one whole record, never a part of one.
TEST(SettingsHostile, ASaveKilledHalfWayLeavesAWholeFile) {
    Scratch scratch;
    const QString c_strPath = Q(scratch / "kestrel.config.xml");
    const STConfig c_stOld = ChangedSettings(1, QStringLiteral("old"));
    const STConfig c_stA = ChangedSettings(4000, QStringLiteral("a"));
    const STConfig c_stB = ChangedSettings(4000, QStringLiteral("b"));
    ASSERT_LT(CConfigFile::Serialize(c_stA)->size(), CConfigFile::c_llMaxFileSize);
    {
        CConfig config(nullptr, c_strPath);
        config.Update(c_stOld);
        ASSERT_TRUE(config.Save());
    }
    // The kills fall within a few saves' time, however fast this build saves (a sanitizer
    // build is several times slower).
    long nSaveUs = 0;
    {
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(CConfigFile::Write(Q(scratch / "probe.xml"), c_stA, nullptr));
        nSaveUs = static_cast<long>(timer.nsecsElapsed() / 1000);
        fs::remove(scratch / "probe.xml");
    }
    std::mt19937 random(7);
    int nOld = 0, nNew = 0;
    for (int nRound = 0; nRound < 12; ++nRound) {
        const pid_t pid = fork();
        if (pid == 0) {
            CConfig config(nullptr, c_strPath);
            for (int i = 0;; ++i) {
                config.Update(i % 2 ? c_stB : c_stA);
                config.Save();
            }
        }
        ASSERT_GT(pid, 0);
        usleep(static_cast<useconds_t>(2000 + nSaveUs + random() % (40000 + 4 * nSaveUs)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const std::optional<STConfig> c_stRead = CConfigFile::Read(c_strPath);
        ASSERT_TRUE(c_stRead.has_value()) << "round " << nRound;
        EXPECT_TRUE(*c_stRead == c_stOld || *c_stRead == c_stA || *c_stRead == c_stB);
        ++(*c_stRead == c_stOld ? nOld : nNew);
    }
    EXPECT_GT(nNew, 0);  // the saves did run
    // A kill between the two steps of putting a save in place may leave the save's own
    // temporary file beside the settings (whole, under the settings' name and a suffix);
    // nothing else is ever left.
    for (const std::string& c_strLeft : ListTree(scratch.Path())) {
        EXPECT_TRUE(c_strLeft == "kestrel.config.xml" ||
                    (c_strLeft.rfind("kestrel.config.xml.", 0) == 0 && c_strLeft.size() == 25))
            << c_strLeft;
    }
}

TEST(TempFolderHostile, TheHomeFolderAsTemporaryFolder) {
    Sandbox sandbox({"home"});
    const fs::path home = sandbox.Folder("home");
    WriteFile(home / "precious.txt", "precious\n");
    fs::create_directories(home / "Documents");
    WriteFile(home / "Documents/report.txt", "report\n");
    const QByteArray c_baOldHome = qgetenv("HOME");
    qputenv("HOME", home.c_str());
    const Snapshot c_before = TakeSnapshot(home);
    QString strInstance;
    {
        MessageRecorder messages;
        DriverWindow w = MakeDriverWindow(
            [&](STConfig& st) {
                st.stGeneral.bUseUserTempDirectory = true;
                st.stGeneral.strUserTempDirectory = Q(home);  // without the final "/"
            },
            {"kestrel", SamplePath()});
        strInstance = w.pDriver->pcArchive_Driver()->strTempDirectory();
        EXPECT_TRUE(strInstance.startsWith(Q(home / "kestrel/t"))) << strInstance.toStdString();
        struct stat st {};
        ASSERT_EQ(stat(strInstance.toLocal8Bit().constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        // Stage something, and plant links out of the instance folder to the user's files.
        w.SelectRows({0, 1});
        w.pDriver->Edit_Open(nullptr);
        EXPECT_EQ(w.pDriver->lstLaunched.size(), 2);
        fs::create_symlink(home, fs::path(strInstance.toStdString()) / "home");
        fs::create_symlink(home / "precious.txt", fs::path(strInstance.toStdString()) / "file");
        EXPECT_TRUE(messages.lstTexts.isEmpty()) << messages.lstTexts.join("\n").toStdString();
    }
    qputenv("HOME", c_baOldHome);
    // Only the instance folder went; the shared folder stays, empty.
    EXPECT_FALSE(fs::exists(strInstance.toStdString()));
    Snapshot after = TakeSnapshot(home);
    EXPECT_EQ(after.erase("kestrel"), 1u);
    EXPECT_EQ(Difference(c_before, after), "");
    EXPECT_EQ(sandbox.Verify(), "");
}

TEST(TempFolderHostile, AnInstanceFolderReplacedByALinkIsNotFollowed) {
    Sandbox sandbox({"tmp"});
    WriteFile(sandbox.Folder("sibling") / "keep.txt", "keep\n");
    CArchive_Driver cDriver;
    ASSERT_TRUE(cDriver.Set_TempDirectory(Q(sandbox.Folder("tmp"))));
    const fs::path instance = cDriver.strTempDirectory().chopped(1).toStdString();
    fs::remove(instance);
    fs::create_directory_symlink(sandbox.Folder("sibling"), instance);
    EXPECT_TRUE(cDriver.Cleanup_TempDirectory());
    EXPECT_FALSE(fs::exists(fs::symlink_status(instance)));
    EXPECT_EQ(ReadFile(sandbox.Folder("sibling") / "keep.txt"), "keep\n");
    EXPECT_EQ(sandbox.Verify(), "");
}

// "/" as the temporary folder, tried in a child process whose root is a scratch folder (a
// private mount namespace and chroot; skipped where the system allows neither).
TEST(TempFolderHostile, TheRootAsTemporaryFolder) {
    Scratch root;
    WriteFile(root / "precious.txt", "precious\n");
    fs::create_directories(root / "kestrel/t0ther");
    WriteFile(root / "kestrel/t0ther/keep.txt", "another instance's\n");
    fs::create_directories(root / "etc");
    WriteFile(root / "etc/passwd", "root:x:0:0\n");
    {
        STConfig st;
        st.stGeneral.bUseUserTempDirectory = true;
        st.stGeneral.strUserTempDirectory = QStringLiteral("/");
        WriteFile(root / "kestrel.config.xml", CConfigFile::Serialize(st)->toStdString());
    }
    const Snapshot c_before = TakeSnapshot(root.Path());

    const pid_t pid = fork();
    if (pid == 0) {
        const uid_t nUid = getuid();
        const gid_t nGid = getgid();
        if (unshare(CLONE_NEWNS) != 0) {
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
            std::ofstream("/proc/self/setgroups") << "deny";
            std::ofstream("/proc/self/uid_map") << "0 " << nUid << " 1";
            std::ofstream("/proc/self/gid_map") << "0 " << nGid << " 1";
        }
        if (chroot(root.Path().c_str()) != 0 || chdir("/") != 0) _exit(77);
        SilentMessages messages;
        CDriverTarget target;
        CConfig config(&target, QStringLiteral("/kestrel.config.xml"));
        config.Load();
        const QString strInstance = target.cDriver.strTempDirectory();
        WriteFile("/instance.txt", strInstance.toStdString());
        if (!strInstance.startsWith(QStringLiteral("/kestrel/t"))) _exit(2);
        // Links out of the instance folder to the root and to the other instance.
        const std::string strBase = strInstance.toStdString();
        fs::create_directories(strBase + "t1/sample.lzh/deep/er");
        WriteFile(strBase + "t1/sample.lzh/deep/er/file.txt", "staged\n");
        fs::create_directory_symlink("/", strBase + "root");
        fs::create_directory_symlink("/kestrel/t0ther", strBase + "other");
        fs::create_symlink("/precious.txt", strBase + "t1/precious");
        target.cDriver.Cleanup_TempDirectory();
        _exit(fs::exists(strBase) ? 3 : 0);
    }
    ASSERT_GT(pid, 0);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    ASSERT_TRUE(WIFEXITED(nStatus));
    if (WEXITSTATUS(nStatus) == 77) GTEST_SKIP() << "no private root for a child process here";
    EXPECT_EQ(WEXITSTATUS(nStatus), 0) << ReadFile(root / "instance.txt");
    Snapshot after = TakeSnapshot(root.Path());
    EXPECT_EQ(after.erase("instance.txt"), 1u);
    EXPECT_EQ(Difference(c_before, after), "");
}
