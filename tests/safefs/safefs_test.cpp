// The file-system safety rules on their own, without a window: what stays inside a folder, and
// the one tree walk behind removal, copying and the link check, on trees with links in them and
// trees deeper than a path can name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "CContainment.h"
#include "CErrorText.h"
#include "CInstanceFolder.h"
#include "CTreeWalk.h"
#include "FileOps.h"

using namespace kestrel::safefs;
using kestrel::UniqueFd;

namespace {

void Write(const QByteArray& c_baPath, const QByteArray& c_baText, mode_t eMode = 0644) {
    const UniqueFd fd(
        ::open(c_baPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, eMode));
    ASSERT_TRUE(fd.Valid()) << c_baPath.constData();
    ASSERT_EQ(::write(fd.Get(), c_baText.constData(), c_baText.size()), c_baText.size());
}

QByteArray Read(int nAt, const char* pszName) {
    const UniqueFd fd(::openat(nAt, pszName, O_RDONLY | O_CLOEXEC));
    char sz[64];
    const ssize_t n = fd.Valid() ? ::read(fd.Get(), sz, sizeof sz) : -1;
    return n < 0 ? QByteArray("<missing>") : QByteArray(sz, n);
}

// A folder name of 100 bytes: 41 of them in a row are longer than any path the system takes.
const QByteArray c_baLong(100, 'd');
constexpr int c_nLevels = 45;

// nLevels folders c_baLong inside each other below c_baRoot, "bottom.txt" in the last.
void MakeDeep(const QByteArray& c_baRoot, int nLevels) {
    UniqueFd fd(::open(c_baRoot.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; i < nLevels; ++i) {
        ASSERT_EQ(::mkdirat(fd.Get(), c_baLong, 0755), 0);
        fd = OpenFolder(fd.Get(), c_baLong);
        ASSERT_TRUE(fd.Valid());
    }
    const UniqueFd file(::openat(fd.Get(), "bottom.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::write(file.Get(), "deep", 4), 4);
}

// The folder nLevels down below c_baRoot, opened through descriptors.
UniqueFd OpenDeep(const QByteArray& c_baRoot, int nLevels) {
    UniqueFd fd(::open(c_baRoot.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; i < nLevels && fd.Valid(); ++i) fd = OpenFolder(fd.Get(), c_baLong);
    return fd;
}

QString DeepPath(const QString& c_strRoot, int nLevels) {
    QString str = c_strRoot;
    for (int i = 0; i < nLevels; ++i) str += QLatin1Char('/') + QLatin1String(c_baLong);
    return str;
}

}  // namespace

TEST(Containment, ALinkOrAFileOnTheWayIsFoundAtAnyDepth) {
    QTemporaryDir dir;
    const QString c_strRoot = dir.path() + QLatin1Char('/');
    const QByteArray c_baRoot = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(c_baRoot + "/real", 0755), 0);
    ASSERT_EQ(::symlink("real", c_baRoot + "/link"), 0);
    Write(c_baRoot + "/file", "f");

    EXPECT_TRUE(ReachedWithoutLinks(c_strRoot, c_strRoot + QStringLiteral("real/x")));
    EXPECT_FALSE(ReachedWithoutLinks(c_strRoot, c_strRoot + QStringLiteral("link/x")));
    // The last part is checked only when a "/" follows it.
    EXPECT_TRUE(ReachedWithoutLinks(c_strRoot, c_strRoot + QStringLiteral("link")));
    EXPECT_FALSE(ReachedWithoutLinks(c_strRoot, c_strRoot + QStringLiteral("link/")));
    EXPECT_FALSE(ReachedWithoutLinks(c_strRoot, c_strRoot + QStringLiteral("file/x")));
    EXPECT_TRUE(ReachedWithoutLinks(c_strRoot, c_strRoot + QStringLiteral("none/x")));
    EXPECT_FALSE(ReachedWithoutLinks(c_strRoot, QStringLiteral("/elsewhere/x")));

    // Deeper than a path: a folder half way down swapped for a link to a real one beside it.
    MakeDeep(c_baRoot + "/real", c_nLevels);
    const QString c_strBottom =
        DeepPath(c_strRoot + QStringLiteral("real"), c_nLevels) + QStringLiteral("/bottom.txt");
    ASSERT_GT(c_strBottom.size(), PATH_MAX);
    EXPECT_TRUE(ReachedWithoutLinks(c_strRoot, c_strBottom));
    const UniqueFd c_fdHalf = OpenDeep(c_baRoot + "/real", c_nLevels / 2);
    ASSERT_EQ(::renameat(c_fdHalf.Get(), c_baLong, c_fdHalf.Get(), "moved"), 0);
    ASSERT_EQ(::symlinkat("moved", c_fdHalf.Get(), c_baLong), 0);
    EXPECT_FALSE(ReachedWithoutLinks(c_strRoot, c_strBottom));
    EXPECT_TRUE(RemoveTree(c_baRoot + "/real", false));  // too deep for QTemporaryDir
}

TEST(TreeWalk, RemovalTakesTheTreeButNothingItsLinksPointTo) {
    QTemporaryDir dir;
    const QByteArray c_baRoot = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(c_baRoot + "/outside", 0755), 0);
    Write(c_baRoot + "/outside/keep.txt", "keep");
    ASSERT_EQ(::mkdir(c_baRoot + "/tree", 0755), 0);
    ASSERT_EQ(::mkdir(c_baRoot + "/tree/sub", 0755), 0);
    Write(c_baRoot + "/tree/sub/a.txt", "a");
    ASSERT_EQ(::symlink(c_baRoot + "/outside", c_baRoot + "/tree/sub/to-folder"), 0);
    ASSERT_EQ(::symlink(c_baRoot + "/outside/keep.txt", c_baRoot + "/tree/to-file"), 0);
    ASSERT_EQ(::mkfifo(c_baRoot + "/tree/pipe", 0600), 0);
    ASSERT_EQ(::chmod(c_baRoot + "/tree/sub", 0500), 0);  // read-only, as an archive may set it

    int nErrno = -1;
    if (::geteuid() != 0) {
        EXPECT_FALSE(RemoveTree(c_baRoot + "/tree", false, &nErrno));
        EXPECT_EQ(nErrno, EACCES);
        EXPECT_TRUE(Exists(c_baRoot + "/tree/sub/a.txt"));
    }
    EXPECT_TRUE(RemoveTree(c_baRoot + "/tree/", true, &nErrno));
    EXPECT_EQ(nErrno, 0);
    EXPECT_FALSE(Exists(c_baRoot + "/tree"));
    EXPECT_EQ(Read(AT_FDCWD, c_baRoot + "/outside/keep.txt"), "keep");

    // A link as the root goes itself; nothing there at all is no failure; "/" is never taken.
    ASSERT_EQ(::symlink("outside", c_baRoot + "/link"), 0);
    EXPECT_TRUE(RemoveTree(c_baRoot + "/link", true));
    EXPECT_FALSE(Exists(c_baRoot + "/link"));
    EXPECT_TRUE(Exists(c_baRoot + "/outside/keep.txt"));
    EXPECT_TRUE(RemoveTree(c_baRoot + "/none", true));
    EXPECT_FALSE(RemoveTree("/", true, &nErrno));
    EXPECT_EQ(nErrno, EINVAL);
}

TEST(TreeWalk, CopyKeepsModesTimesAndLinksRefusesSpecialFilesAndCanBeCancelled) {
    QTemporaryDir dir;
    const QByteArray c_baRoot = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(c_baRoot + "/src", 0750), 0);
    ASSERT_EQ(::mkdir(c_baRoot + "/src/sub", 0700), 0);
    Write(c_baRoot + "/src/sub/b.txt", "beta", 0640);
    Write(c_baRoot + "/src/a.txt", "alpha");
    ASSERT_EQ(::symlink("/etc/passwd", c_baRoot + "/src/sub/link"), 0);
    const timespec c_times[2] = {{1000000000, 0}, {1234567890, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, c_baRoot + "/src/sub", c_times, 0), 0);

    qint64 llCopied = 0;
    int nCalls = 0;
    auto fnCount = [&](qint64 llBytes) {
        llCopied += llBytes;
        ++nCalls;
        return true;
    };
    QString strError;
    ASSERT_TRUE(CopyTree(c_baRoot + "/src", c_baRoot + "/dst", fnCount, &strError))
        << strError.toStdString();
    EXPECT_EQ(llCopied, 9);
    EXPECT_EQ(llCopied, TreeSize(c_baRoot + "/src"));
    EXPECT_EQ(Read(AT_FDCWD, c_baRoot + "/dst/sub/b.txt"), "beta");
    struct stat st {};
    ASSERT_EQ(::lstat(c_baRoot + "/dst/sub/b.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(::lstat(c_baRoot + "/dst", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    ASSERT_EQ(::lstat(c_baRoot + "/dst/sub", &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    ASSERT_EQ(::lstat(c_baRoot + "/dst/sub/link", &st), 0);
    ASSERT_TRUE(S_ISLNK(st.st_mode));

    // The target must be new; a pipe is not copied; a cancel stops at once and says nothing.
    EXPECT_FALSE(CopyTree(c_baRoot + "/src", c_baRoot + "/dst", fnCount, &strError));
    EXPECT_EQ(strError, ErrnoText(EEXIST, QFile::decodeName(c_baRoot + "/dst")));
    EXPECT_TRUE(
        strError.startsWith(QStringLiteral("同じ名前のファイルまたはフォルダが既にあります。\n")));
    ASSERT_EQ(::mkfifo(c_baRoot + "/src/sub/pipe", 0600), 0);
    EXPECT_FALSE(CopyTree(c_baRoot + "/src", c_baRoot + "/dst2", fnCount, &strError));
    EXPECT_EQ(strError, QStringLiteral("特殊なファイルは別のドライブへ移動できません。\n") +
                            QFile::decodeName(c_baRoot + "/src/sub/pipe"));
    EXPECT_FALSE(CopyTree(
        c_baRoot + "/src", c_baRoot + "/dst3", [](qint64) { return false; }, &strError));
    EXPECT_TRUE(strError.isEmpty());
    EXPECT_FALSE(CopyTree(c_baRoot + "/none", c_baRoot + "/dst4", fnCount, &strError));
    EXPECT_EQ(strError, QStringLiteral("指定されたファイルまたはフォルダが見つかりません。\n") +
                            QFile::decodeName(c_baRoot + "/none"));
}

TEST(TreeWalk, TreesDeeperThanAPathAreCopiedAndRemovedWhole) {
    QTemporaryDir dir;
    const QByteArray c_baRoot = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(c_baRoot + "/deep", 0755), 0);
    MakeDeep(c_baRoot + "/deep", c_nLevels);

    QString strError;
    ASSERT_TRUE(CopyTree(
        c_baRoot + "/deep", c_baRoot + "/copy", [](qint64) { return true; }, &strError))
        << strError.toStdString();
    EXPECT_EQ(Read(OpenDeep(c_baRoot + "/copy", c_nLevels).Get(), "bottom.txt"), "deep");
    EXPECT_EQ(TreeSize(c_baRoot + "/copy"), 4);
    EXPECT_TRUE(RemoveTree(c_baRoot + "/deep", false));
    EXPECT_TRUE(RemoveTree(c_baRoot + "/copy", false));
    EXPECT_FALSE(Exists(c_baRoot + "/deep"));
    EXPECT_FALSE(Exists(c_baRoot + "/copy"));
}

TEST(TreeWalk, AFolderMovedAwayWhileItIsWalkedStopsTheWalk) {
    QTemporaryDir dir;
    const QByteArray c_baRoot = QFile::encodeName(dir.path());
    for (const char* psz : {"/tree", "/tree/a", "/tree/a/b", "/other"})
        ASSERT_EQ(::mkdir(c_baRoot + psz, 0755), 0);
    Write(c_baRoot + "/tree/a/b/f.txt", "f");
    Write(c_baRoot + "/tree/z.txt", "z");
    Write(c_baRoot + "/other/keep.txt", "keep");

    // Deletes like the removal, but moves b into "other" as soon as it is inside it: going up
    // from b through ".." would now lead into "other".
    class CMovingRemover : public CTreeWalk::IVisitor {
    public:
        explicit CMovingRemover(const QByteArray& c_baRoot) : m_baRoot(c_baRoot) {}
        CTreeWalk::EStep Visit(const CTreeWalk::ENTRY& c_entry) override {
            if (c_entry.baPath == "a/b/f.txt")
                ::rename(m_baRoot + "/tree/a/b", m_baRoot + "/other/b");
            if (!S_ISDIR(c_entry.st.st_mode)) ::unlinkat(c_entry.nFolder, c_entry.baName, 0);
            return CTreeWalk::EStep::Continue;
        }
        CTreeWalk::EStep Leave(const CTreeWalk::ENTRY& c_entry) override {
            ::unlinkat(c_entry.nFolder, c_entry.baName, AT_REMOVEDIR);
            return CTreeWalk::EStep::Continue;
        }
        QByteArray m_baRoot;
    } remover(c_baRoot);
    CTreeWalk walk;
    EXPECT_FALSE(walk.Walk(c_baRoot + "/tree", remover));
    EXPECT_EQ(walk.nErrno(), ESTALE);
    EXPECT_EQ(Read(AT_FDCWD, c_baRoot + "/other/keep.txt"), "keep");
    EXPECT_TRUE(Exists(c_baRoot + "/other/b"));
    EXPECT_TRUE(Exists(c_baRoot + "/tree/z.txt"));  // the walk ended before it
}

// Instance folders left behind by ended instances go; nothing else below the shared folder does.
TEST(InstanceFolders, OnlyThisUsersAbandonedOnesAreRemoved) {
    QTemporaryDir dir;
    const QByteArray c_baShared = QFile::encodeName(dir.path()) + "/kestrel";
    ASSERT_EQ(::mkdir(c_baShared, 0755), 0);
    auto fnMarked = [&](const char* pszName, bool bOld) {
        const QByteArray c_baFolder = c_baShared + '/' + pszName;
        ::mkdir(c_baFolder, 0700);
        UniqueFd fd = MarkInstanceFolder(c_baFolder);
        EXPECT_TRUE(fd.Valid()) << pszName;
        const timespec c_atOld[2] = {{1000, 0}, {1000, 0}};
        if (bOld) ::utimensat(AT_FDCWD, c_baFolder + "/.kestrel-instance", c_atOld, 0);
        return fd;
    };
    const UniqueFd c_fdRunning = fnMarked("t1", true);
    fnMarked("t2", true);   // ended
    fnMarked("t3", false);  // just made: its instance may not hold it yet
    ASSERT_EQ(::mkdir(c_baShared + "/t4", 0700), 0);
    fnMarked("t6", true);
    ASSERT_EQ(::mkdir(c_baShared + "/t6/sub", 0500), 0);
    fnMarked("other", true);
    const QByteArray c_baElsewhere = QFile::encodeName(dir.path()) + "/elsewhere";
    ASSERT_EQ(::mkdir(c_baElsewhere, 0700), 0);
    fnMarked("../elsewhere", true);
    ASSERT_EQ(::symlink(c_baElsewhere, c_baShared + "/t5"), 0);
    const bool c_bRoot = ::geteuid() == 0;
    if (c_bRoot) {
        fnMarked("t7", true);
        ASSERT_EQ(::chown(c_baShared + "/t7", 4242, 4242), 0);
    }
    EXPECT_EQ(RemoveAbandonedInstanceFolders(c_baShared), 2);
    const UniqueFd c_fdShared = OpenFolder(AT_FDCWD, c_baShared);
    std::vector<QByteArray> vNames;
    int nErrno = 0;
    ASSERT_TRUE(ReadNames(c_fdShared.Get(), &vNames, &nErrno));
    std::vector<QByteArray> vKept = {"other", "t1", "t3", "t4", "t5"};
    if (c_bRoot) vKept.push_back("t7");
    EXPECT_EQ(vNames, vKept);
    EXPECT_TRUE(Exists(c_baElsewhere + "/.kestrel-instance"));
}
