// Moving extracted items to where the user wants them, within a file system and across two: one
// table of answers to the replace question, merges, failures that keep the source, cancelled
// copies that leave nothing half-written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>

#include "CFileMover.h"
#include "support/Support.h"
#include "support/Window.h"

using namespace kestrel::test;
using kestrel::CFileMover;
using EAnswer = CFileMover::EAnswer;
using EResult = CFileMover::EResult;

namespace {

// "path=content", "path/" and "path -> target" of everything below a folder.
std::vector<std::string> Tree(const fs::path& c_folder) {
    std::vector<std::string> v;
    for (const std::string& c_str : ListTree(c_folder)) {
        const fs::path path = c_folder / c_str;
        v.push_back(fs::is_symlink(path)   ? c_str + " -> " + fs::read_symlink(path).string()
                    : c_str.ends_with("/") ? c_str
                                           : c_str + "=" + ReadFile(path).substr(0, 20));
    }
    return v;
}

void Put(const fs::path& c_path, const std::string& c_str) {
    fs::create_directories(c_path.parent_path());
    WriteFile(c_path, c_str);
}

class Progress : public CFileMover::IProgress {
public:
    explicit Progress(int nCancelAt) : m_nCancelAt(nCancelAt) {}
    void Start(const QString&, qint64) override {}
    bool Update(qint64) override { return ++m_nUpdates != m_nCancelAt; }
    void Finish() override {}

private:
    int m_nCancelAt, m_nUpdates = 0;
};

// Staging and destination on one file system, or the staging on another (/dev/shm).
class Mover : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            m_pShm = std::make_unique<Scratch>();
            std::string strTemplate = "/dev/shm/kestrel-test-XXXXXX";
            if (mkdtemp(strTemplate.data()) == nullptr) GTEST_SKIP() << "no /dev/shm";
            m_shm = strTemplate;
            struct stat a {
            }, b{};
            stat(m_shm.c_str(), &a);
            stat(m_dst.Path().c_str(), &b);
            if (a.st_dev == b.st_dev) GTEST_SKIP() << "/dev/shm is the same file system";
        }
    }
    void TearDown() override {
        if (!m_shm.empty()) RemoveTree(m_shm);
    }
    fs::path Src(const std::string& c_str) const {
        return (m_shm.empty() ? m_src.Path() : m_shm) / c_str;
    }
    fs::path Dst(const std::string& c_str) const { return m_dst.Path() / c_str; }
    // A folder with files, a subfolder, an empty folder and a link that points out.
    void Stage(const std::string& c_strFolder) {
        Put(Src(c_strFolder + "/a.txt"), "alpha");
        Put(Src(c_strFolder + "/sub/b.txt"), "beta");
        Put(Src(c_strFolder + "/sub/deeper/c.txt"), std::string(3 << 20, 'c'));
        fs::create_directories(Src(c_strFolder + "/empty"));
        fs::create_symlink("/etc/hostname", Src(c_strFolder + "/link"));
    }
    std::unique_ptr<CFileMover> MakeMover(std::deque<EAnswer> answers, int nItems = 1,
                                          int nCancelAt = 0) {
        auto pcMover = std::make_unique<CFileMover>(nullptr, nItems);
        m_answers = std::move(answers);
        pcMover->Set_QuestionHook([this](const CFileMover::Question& c_q) {
            lstAsked << QString::fromStdString(fs::path(c_q.strTarget.toStdString())
                                                   .lexically_relative(m_dst.Path())
                                                   .string()) +
                            (c_q.bFolder ? "/" : "") + (c_q.bOfferAll ? "*" : "");
            if (m_answers.empty()) return EAnswer::Cancel;
            const EAnswer e = m_answers.front();
            m_answers.pop_front();
            return e;
        });
        pcMover->Set_Progress(std::make_unique<Progress>(nCancelAt));
        return pcMover;
    }
    QString Q(const fs::path& c_path) const { return QString::fromStdString(c_path.string()); }

    MessageRecorder messages;
    QStringList lstAsked;
    Scratch m_src, m_dst;
    std::unique_ptr<Scratch> m_pShm;
    fs::path m_shm;
    std::deque<EAnswer> m_answers;
};

INSTANTIATE_TEST_SUITE_P(FileSystems, Mover, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& c_info) {
                             return c_info.param ? "Across" : "Within";
                         });

TEST_P(Mover, AnswersToTheReplaceQuestion) {
    const struct {
        std::deque<EAnswer> answers;
        std::vector<EResult> vResults;  // of 1.txt, 2.txt, 3.txt (new)
        std::vector<std::string> vDst;
        std::vector<std::string> vSrc;  // what stays behind
        int nTold;
    } c_aCase[] = {
        {{EAnswer::Yes, EAnswer::No},
         {EResult::Moved, EResult::Skipped, EResult::Moved},
         {"1.txt=new 1", "2.txt=old", "3.txt=new 3"},
         {"2.txt=new 2"},
         0},
        {{EAnswer::YesToAll},
         {EResult::Moved, EResult::Moved, EResult::Moved},
         {"1.txt=new 1", "2.txt=new 2", "3.txt=new 3"},
         {},
         0},
        {{EAnswer::NoToAll},
         {EResult::Skipped, EResult::Skipped, EResult::Moved},
         {"1.txt=old", "2.txt=old", "3.txt=new 3"},
         {"1.txt=new 1", "2.txt=new 2"},
         0},
        {{EAnswer::Cancel, EAnswer::Cancel},
         {EResult::Failed, EResult::Failed, EResult::Moved},
         {"1.txt=old", "2.txt=old", "3.txt=new 3"},
         {"1.txt=new 1", "2.txt=new 2"},
         2},
    };
    for (const auto& c_case : c_aCase) {
        for (const char* c_psz : {"1.txt", "2.txt"}) Put(Dst(c_psz), "old");
        for (const char* c_psz : {"1.txt", "2.txt", "3.txt"})
            Put(Src(c_psz), std::string("new ") + c_psz[0]);
        messages.lstTexts.clear();
        auto pcMover = MakeMover(c_case.answers, 3);
        std::vector<EResult> vResults;
        for (const char* c_psz : {"1.txt", "2.txt", "3.txt"})
            vResults.push_back(pcMover->Move(Q(Src(c_psz)), Q(Dst(c_psz))));
        EXPECT_EQ(vResults, c_case.vResults);
        EXPECT_EQ(Tree(Dst("")), c_case.vDst);
        EXPECT_EQ(Tree(Src("")), c_case.vSrc);
        EXPECT_EQ(messages.lstTexts.size(), c_case.nTold);
        for (const char* c_psz : {"1.txt", "2.txt", "3.txt"}) {
            fs::remove(Src(c_psz));
            fs::remove(Dst(c_psz));
        }
    }
    EXPECT_EQ(lstAsked, (QStringList{"1.txt*", "2.txt*", "1.txt*", "1.txt*", "1.txt*", "2.txt*"}));
}

TEST_P(Mover, FoldersMoveWholeOrMergeAskingPerClash) {
    Stage("doc");
    const std::vector<std::string> vBefore = Tree(Src("doc"));
    EXPECT_EQ(MakeMover({})->Move(Q(Src("doc")) + "/", Q(Dst("new"))), EResult::Moved);
    EXPECT_EQ(Tree(Dst("new")), vBefore);
    EXPECT_FALSE(fs::exists(Src("doc")));
    // Merge, keep the old a.txt, merge sub, replace b.txt.
    Stage("doc");
    Put(Dst("doc/a.txt"), "old a");
    Put(Dst("doc/sub/b.txt"), "old b");
    Put(Dst("doc/mine.txt"), "untouched");
    EXPECT_EQ(MakeMover({EAnswer::Yes, EAnswer::No, EAnswer::Yes, EAnswer::Yes})
                  ->Move(Q(Src("doc")), Q(Dst("doc"))),
              EResult::Moved);
    EXPECT_EQ(lstAsked, (QStringList{"doc/*", "doc/a.txt*", "doc/sub/*", "doc/sub/b.txt*"}));
    EXPECT_EQ(Tree(Dst("doc")),
              (std::vector<std::string>{"a.txt=old a", "empty/", "link -> /etc/hostname",
                                        "mine.txt=untouched", "sub/", "sub/b.txt=beta",
                                        "sub/deeper/", "sub/deeper/c.txt=cccccccccccccccccccc"}));
    EXPECT_EQ(Tree(Src("doc")), std::vector<std::string>{"a.txt=alpha"});
}

TEST_P(Mover, FailuresKeepTheSourceAndWhatWasThere) {
    Stage("doc");
    const std::vector<std::string> vBefore = Tree(Src("doc"));
    Put(Dst("doc"), "a file");  // a file where a folder is needed
    Put(Src("single.txt"), "x");
    fs::create_directories(Dst("single.txt"));
    fs::create_directories(Dst("elsewhere"));
    Put(Dst("elsewhere/a.txt"), "keep");
    fs::create_directory_symlink("elsewhere", Dst("linked"));  // never entered
    auto pcMover = MakeMover({});
    EXPECT_EQ(pcMover->Move(Q(Src("doc")), Q(Dst("doc"))), EResult::Failed);
    EXPECT_EQ(pcMover->Move(Q(Src("single.txt")), Q(Dst("single.txt"))), EResult::Failed);
    EXPECT_EQ(pcMover->Move(Q(Src("single.txt")), Q(Dst("none/x.txt"))), EResult::Failed);
    EXPECT_EQ(pcMover->Move(Q(Src("doc")), Q(Dst("linked"))), EResult::Failed);
    EXPECT_EQ(pcMover->Move(Q(Src("doc")), Q(Src("doc/sub/doc"))), EResult::Failed);
    EXPECT_EQ(Tree(Src("doc")), vBefore);
    EXPECT_EQ(ReadFile(Dst("doc")), "a file");
    EXPECT_EQ(ReadFile(Dst("elsewhere/a.txt")), "keep");
    EXPECT_EQ(messages.lstTexts.size(), 5);
    EXPECT_TRUE(messages.lstTexts[0].startsWith(
        QStringLiteral("ファイルの移動中にエラーが発生しました\n\n■原因\n")));
    if (!GetParam()) return;
    // Copies across: cancelled inside the big file, or stopped by a pipe, leave nothing.
    EXPECT_EQ(MakeMover({}, 1, 6)->Move(Q(Src("doc")), Q(Dst("copy"))), EResult::Failed);
    mkfifo(Src("doc/sub/pipe").c_str(), 0600);
    EXPECT_EQ(MakeMover({})->Move(Q(Src("doc")), Q(Dst("copy"))), EResult::Failed);
    fs::remove(Src("doc/sub/pipe"));
    EXPECT_EQ(Tree(Src("doc")), vBefore);
    EXPECT_FALSE(fs::exists(Dst("copy")));
    // A cancelled copy over a file leaves the old file as it was.
    Put(Src("big.bin"), std::string(3 << 20, 'n'));
    Put(Dst("big.bin"), "old");
    EXPECT_EQ(MakeMover({EAnswer::Yes}, 1, 2)->Move(Q(Src("big.bin")), Q(Dst("big.bin"))),
              EResult::Failed);
    EXPECT_EQ(ReadFile(Dst("big.bin")), "old");
    EXPECT_EQ(ListTree(Dst("")),
              (std::vector<std::string>{"big.bin", "doc", "elsewhere/", "elsewhere/a.txt", "linked",
                                        "single.txt/"}));
}

}  // namespace
