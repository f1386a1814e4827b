// The window on hostile archives and hostile surroundings: every command on every entry and
// folder writes only into the chosen folders and the instance's temporary folder; what cannot be
// handed out whole is told; temporary folders never land in another user's folder or through a
// link, and go with the window.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <climits>

#include "CArchive_Driver.h"
#include "CConfig.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "DataObject_DelayRender.h"
#include "support/Support.h"
#include "support/Window.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

const QString c_strExtractError =
    QStringLiteral("ファイルの解凍中にエラーが発生しました\n\n■原因\n");

QString Q(const fs::path& c_path) {
    return QString::fromStdString(c_path.string());
}

bool IsInside(const fs::path& c_path, const fs::path& c_folder) {
    std::error_code ec;
    return (fs::weakly_canonical(c_path, ec).string() + "/")
        .starts_with(fs::weakly_canonical(c_folder, ec).string() + "/");
}

QTreeWidgetItem* TreeNode(const DriverWindow& c_w, const QString& c_strName) {
    for (QTreeWidgetItemIterator it(c_w.frm->frmTreeView); *it; ++it) {
        if (CFolderTreeView::NodeName(*it) == c_strName) return *it;
    }
    return nullptr;
}

class CNoButtons : public shelf_cli::IMouseButtonState {
public:
    Qt::MouseButtons Buttons() const override { return Qt::NoButton; }
};

// A window whose temporary folders live in the sandbox's "tmp"; each command's folder is
// out/<n>.
struct HostileWindow {
    explicit HostileWindow(const Sandbox& c_sandbox)
        : sandbox(c_sandbox),
          w(MakeDriverWindow([&c_sandbox](STConfig& st) {
              st.stGeneral.bUseUserTempDirectory = true;
              st.stGeneral.strUserTempDirectory = Q(c_sandbox.Folder("tmp")) + QLatin1Char('/');
          })),
          answers([this] {
              const fs::path folder = sandbox.Folder("out") / std::to_string(nFolder++);
              fs::create_directories(folder);
              return Q(folder);
          }) {
        w.pDriver->hookQuestion = [](const CFileMover::Question&) {
            return CFileMover::EAnswer::Yes;
        };
        instance = w.pDriver->pcArchive_Driver()->strTempDirectory().toStdString();
        // A drop taken at once; what the target is handed lies in the instance folder.
        w.pDriver->hookDrag = [this](QMimeData* pData) {
            static_cast<shelf_cli::DataObject_DelayRender*>(pData)->Set_MouseButtonState(
                std::make_shared<CNoButtons>());
            for (const QUrl& c_url : pData->urls()) {
                lstDropped << c_url.toLocalFile();
                EXPECT_TRUE(IsInside(c_url.toLocalFile().toStdString(), instance));
            }
            return Qt::CopyAction;
        };
    }
    bool Open(const fs::path& c_archive) {
        w.Open(Q(c_archive));
        return w.pDriver->pcArchive_Driver()->bFileOpened();
    }
    // Every command: the selected files, each tree folder with its subfolders, the viewers and
    // the drags of both.
    void RunEveryCommand(QStringList lstFolders = {}) {
        if (lstFolders.isEmpty()) lstFolders = w.TreeNodes();
        w.SelectFolder(QString());
        w.SelectAllRows();
        const bool bRows = w.pDriver->pcFileListModel()->rowCount() > 0;
        if (bRows) w.pDriver->Edit_Extract_ListView();
        for (const QString& c_strNode : lstFolders) {
            if (c_strNode.isEmpty()) continue;
            w.SelectFolder(c_strNode);
            w.pDriver->Edit_Extract_TreeView(true);
        }
        w.SelectFolder(QString());
        w.SelectAllRows();
        w.pDriver->lstLaunched.clear();
        if (bRows) w.pDriver->Edit_Open(nullptr);
        for (const auto& c_launch : w.pDriver->lstLaunched)
            EXPECT_TRUE(IsInside(c_launch.strFile.toStdString(), instance));
        w.pDriver->DoDragDrop_ListView(w.frm->frmListView);
        for (const QString& c_strNode : lstFolders) {
            if (!c_strNode.isEmpty())
                w.pDriver->DoDragDrop_TreeView(w.frm->frmTreeView, TreeNode(w, c_strNode));
        }
        QCoreApplication::processEvents();
    }
    // Nothing changed outside the chosen folders and the temporary folder; nothing in that lies
    // outside the instance folder; no link leads out of where it was put.
    void ExpectContained() {
        EXPECT_EQ(sandbox.Verify(), "");
        std::error_code ec;
        for (const auto& c_entry : fs::directory_iterator(sandbox.Folder("out"), ec))
            EXPECT_EQ(LinksLeadingOut(c_entry.path()), std::vector<std::string>{});
        for (const std::string& c_str : ListTree(sandbox.Folder("tmp"))) {
            const fs::path path = sandbox.Folder("tmp") / c_str;
            EXPECT_TRUE(c_str == "kestrel/" || path == instance || IsInside(path, instance))
                << c_str;
        }
        EXPECT_EQ(LinksLeadingOut(instance), std::vector<std::string>{});
    }
    QString Told() const { return messages.lstTexts.join("\n---\n"); }

    const Sandbox& sandbox;
    MessageRecorder messages;
    PasswordAnswers passwords;  // none: the encrypted entries are skipped
    DriverWindow w;
    int nFolder = 0;
    DialogAnswers answers;
    fs::path instance;
    QStringList lstDropped;
};

}  // namespace

TEST(WindowHostile, EveryCommandStaysInsideItsFolders) {
    const struct {
        const char* pszFixture;
        const char* pszTold;
        const char* pszArrives;  // in the first chosen folder
    } c_aCase[] = {
        {"zip_hostile.zip", "/../evil.txt: 解凍先の外を指す名前", "good.txt"},
        {"lzh_hostile.lzh", "/../evil.txt: 解凍先の外を指す名前", "good.txt"},
        {"7z_hostile.7z", "/../evil.txt: 解凍先の外を指す名前", "good.txt"},
        {"zip_escape.zip", "/up: 解凍先の外を指すリンク", "inside.txt"},
        {"lzh_escape.lzh", "/up: 解凍先の外を指すリンク", "inside.txt"},
        {"7z_escape.7z", "/up: 解凍先の外を指すリンク", "inside.txt"},
        {"zip_controlnames.zip", "/nl\\x0Aname.txt: 解凍先の外を指す名前や改行", "ok.txt"},
        {"7z_controlnames.7z", "/nl\\x0Aname.txt: 解凍先の外を指す名前や改行", "ok.txt"},
        {"lzh_duplicates.lzh", "/x/y.txt: 同じ名前のファイルまたはフォルダ", "dup.txt"},
        {"zip_encrypted.zip", "暗号化されているため", "plain.txt"},
        {"lzh_corrupt.lzh", "データが壊れています", "ok.txt"},
    };
    for (const auto& c_case : c_aCase) {
        SCOPED_TRACE(c_case.pszFixture);
        Sandbox sandbox({"tmp", "out"});
        HostileWindow hw(sandbox);
        ASSERT_TRUE(hw.Open(DataPath(c_case.pszFixture)));
        hw.RunEveryCommand();
        EXPECT_TRUE(hw.Told().contains(c_strExtractError));
        EXPECT_TRUE(hw.Told().contains(QString::fromUtf8(c_case.pszTold)))
            << hw.Told().toStdString();
        EXPECT_TRUE(fs::exists(sandbox.Folder("out") / "0" / c_case.pszArrives));
        hw.ExpectContained();
    }
}

// Links inside the archive's folder can climb out of a file or folder handed out alone: those
// are not handed out, and the user is told; the rest is.
TEST(WindowHostile, LinksThatWouldLeadOutOfWhereTheyLandAreNotHandedOut) {
    for (const char* c_psz :
         {"zip_relativelinks.zip", "lzh_relativelinks.lzh", "7z_relativelinks.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox({"tmp", "out"});
        HostileWindow hw(sandbox);
        ASSERT_TRUE(hw.Open(DataPath(c_psz)));
        const fs::path out = sandbox.Folder("out");
        const QString c_strNotHandedOut =
            c_strExtractError + QStringLiteral("解凍先の外を指すリンクは取り出しません:\n");
        hw.w.SelectFolder(QString());
        hw.w.SelectAllRows();
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_ListView());
        EXPECT_EQ(ListTree(out / "0"), (std::vector<std::string>{"c.txt", "top.txt"}));
        EXPECT_TRUE(hw.Told().contains(c_strNotHandedOut + "/a/b/up\n/a/b/side"))
            << hw.Told().toStdString();
        hw.messages.lstTexts.clear();
        hw.w.SelectFolder(QStringLiteral("/a/"));
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_TreeView(true));
        EXPECT_EQ(ListTree(out / "1"),
                  (std::vector<std::string>{"a/", "a/b/", "a/b/side", "a/c.txt"}));
        EXPECT_EQ(hw.messages.lstTexts.last(), c_strNotHandedOut + "/a/b/up");
        hw.w.SelectFolder(QStringLiteral("/"));
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_TreeView(true));
        EXPECT_EQ(fs::read_symlink(out / "2" / c_psz / "a/b/up"), "../../top.txt");
        hw.w.pDriver->DoDragDrop_TreeView(hw.w.frm->frmTreeView,
                                          TreeNode(hw.w, QStringLiteral("/a/b/")));
        ASSERT_EQ(hw.lstDropped.size(), 1);
        EXPECT_TRUE(ListTree(hw.lstDropped[0].toStdString()).empty());
        hw.ExpectContained();
    }
}

TEST(WindowHostile, FoldersNamedDotDotOrEmptyAreNeverStaged) {
    Sandbox sandbox({"tmp", "out"});
    HostileWindow hw(sandbox);
    ASSERT_TRUE(hw.Open(DataPath("zip_hostile.zip")));
    for (const QString& c_strNode : {QStringLiteral("/../"), QStringLiteral("//")}) {
        SCOPED_TRACE(c_strNode.toStdString());
        hw.messages.lstTexts.clear();
        hw.w.SelectFolder(c_strNode);
        EXPECT_FALSE(hw.w.pDriver->Edit_Extract_TreeView(true));
        EXPECT_EQ(
            hw.messages.lstTexts,
            QStringList{c_strExtractError +
                        QStringLiteral("解凍先の外を指す名前は取り出せません:\n") + c_strNode});
        hw.w.SelectAllRows();
        hw.w.pDriver->Edit_Open(nullptr);
        EXPECT_TRUE(hw.w.pDriver->lstLaunched.isEmpty());
        EXPECT_EQ(
            hw.w.pDriver->DoDragDrop_TreeView(hw.w.frm->frmTreeView, TreeNode(hw.w, c_strNode)),
            Qt::IgnoreAction);
    }
    EXPECT_TRUE(hw.lstDropped.isEmpty());
    hw.ExpectContained();
}

// 2,040 folders: deeper than a path can name. The root is extracted whole, a file is staged
// for a viewer below it, and the staging tree goes with the window.
TEST(WindowHostile, TreesDeeperThanAPath) {
    Sandbox sandbox({"tmp", "out"});
    fs::path instance;
    {
        HostileWindow hw(sandbox);
        instance = hw.instance;
        ASSERT_TRUE(hw.Open(BigArchives() / "deep2040.zip"));
        hw.w.SelectFolder(QStringLiteral("/"));
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_TreeView(true));
        EXPECT_TRUE(hw.messages.lstTexts.isEmpty()) << hw.Told().toStdString();
        EXPECT_TRUE(fs::is_directory(sandbox.Folder("out") / "0/deep2040.zip/d/d/d"));
        hw.w.SelectFolder(hw.w.TreeNodes().last());
        hw.w.SelectRows({0});
        EXPECT_TRUE(hw.w.pDriver->Edit_Open(nullptr));
        ASSERT_EQ(hw.w.pDriver->lstLaunched.size(), 1);
        EXPECT_GT(hw.w.pDriver->lstLaunched[0].strFile.size(), PATH_MAX);
    }
    EXPECT_FALSE(fs::exists(instance));
    EXPECT_EQ(ListTree(sandbox.Folder("tmp")), std::vector<std::string>{"kestrel/"});
    RemoveTree(sandbox.Folder("out"));
}

// The folder shared below the temporary folder ("kestrel") may be another user's, or a link
// someone planted: nothing of ours goes into it. The instance folder is ours alone (0700) and
// goes with the window, taking nothing else with it.
TEST(WindowHostile, TemporaryFoldersAreOurOwn) {
    Scratch scratch;
    const uid_t nOther = 4242;
    for (const char* c_pszPlanted : {"nothing", "kestrel", "kestrel-0", "both", "link"}) {
        SCOPED_TRACE(c_pszPlanted);
        if (geteuid() != 0 && std::string(c_pszPlanted) != "nothing")
            continue;  // another user needs root
        const fs::path base = scratch / c_pszPlanted;
        fs::create_directories(base / "elsewhere");
        WriteFile(base / "elsewhere/keep.txt", "keep\n");
        const std::string strPlanted = c_pszPlanted;
        for (const char* c_psz : {"kestrel", "kestrel-0"}) {
            if (strPlanted != c_psz && strPlanted != "both") continue;
            fs::create_directory(base / c_psz);
            ASSERT_EQ(chown((base / c_psz).c_str(), nOther, nOther), 0);
            fs::permissions(base / c_psz, fs::perms::all);
        }
        if (strPlanted == "link")
            fs::create_directory_symlink(base / "elsewhere", base / "kestrel");
        const Snapshot before = TakeSnapshot(base);
        QString strInstance;
        {
            DriverWindow w = MakeDriverWindow(
                [&](STConfig& st) {
                    st.stGeneral.bUseUserTempDirectory = true;
                    st.stGeneral.strUserTempDirectory = Q(base) + QLatin1Char('/');
                },
                {"kestrel", SamplePath()});
            strInstance = w.pDriver->pcArchive_Driver()->strTempDirectory();
            ASSERT_FALSE(strInstance.isEmpty());
            w.SelectRows({0});
            EXPECT_TRUE(w.pDriver->Edit_Open(nullptr));
            struct stat s {};
            ASSERT_EQ(stat(QFile::encodeName(strInstance).constData(), &s), 0);
            EXPECT_EQ(s.st_mode & 0777, 0700u);
            // Every folder on the way below the base is our own.
            for (fs::path p = strInstance.toStdString(); IsInside(p, base) && p != base;
                 p = p.parent_path()) {
                ASSERT_EQ(lstat(p.c_str(), &s), 0);
                EXPECT_TRUE(S_ISDIR(s.st_mode) && s.st_uid == geteuid()) << p;
            }
            // A link put in place of the instance folder is removed, not followed, at the end.
            RemoveTree(strInstance.chopped(1).toStdString());
            fs::create_directory_symlink(base / "elsewhere", strInstance.chopped(1).toStdString());
        }
        EXPECT_FALSE(QFileInfo::exists(strInstance));
        const Snapshot after = TakeSnapshot(base);
        for (const auto& [c_strPath, c_strWhat] : before)
            EXPECT_EQ(after.count(c_strPath) ? after.at(c_strPath) : "gone", c_strWhat)
                << c_strPath;
    }
}

// Ended by a signal (logout, kill, Ctrl+C), the program still removes its temporary folder.
TEST(WindowHostile, SignalsEndTheProgramWithoutLeavingItsFolder) {
    Scratch scratch;
    const QString strSettings = Q(scratch / "kestrel.config.xml");
    STConfig st;
    st.stGeneral.bUseUserTempDirectory = true;
    st.stGeneral.strUserTempDirectory = Q(scratch.Path()) + QLatin1Char('/');
    CConfig cConfig(nullptr, strSettings);
    cConfig.Update(st);
    ASSERT_TRUE(cConfig.Save());
    const QDir shared(Q(scratch / "kestrel"));
    for (const int c_nSignal : {SIGTERM, SIGHUP, SIGINT}) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTREL_CONFIG"), strSettings);
        program.setProcessEnvironment(env);
        program.start(Q(BinPath("kestrel")), {SamplePath()});
        ASSERT_TRUE(program.waitForStarted());
        for (int i = 0; i < 400 && shared.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty();
             ++i)
            QThread::msleep(50);
        ASSERT_EQ(shared.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        ::kill(static_cast<pid_t>(program.processId()), c_nSignal);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << c_nSignal;
        EXPECT_TRUE(
            shared.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
            << c_nSignal;
    }
}
