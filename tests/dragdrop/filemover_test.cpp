// The mover: renames within a file system, copies then deletes across them, asks before
// replacing, and never loses the source when it fails or is cancelled.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>

#include "CFileMover.h"
#include "DragDropTestSupport.h"

using kestrel::CFileMover;
using EAnswer = CFileMover::EAnswer;
using EResult = CFileMover::EResult;

namespace {

void WriteFile(const QString& c_strPath, const QByteArray& c_baContent) {
    QDir().mkpath(QFileInfo(c_strPath).path());
    QFile file(c_strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << c_strPath.toStdString();
    file.write(c_baContent);
}

QByteArray ReadFile(const QString& c_strPath) {
    QFile file(c_strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every path below c_strRoot with a mark for its kind, to compare whole trees.
QStringList Tree(const QString& c_strRoot) {
    QStringList lstItems;
    QDir dir(c_strRoot);
    const QFileInfoList c_lstEntries = dir.entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& c_info : c_lstEntries) {
        if (c_info.isSymLink()) {
            lstItems << c_info.fileName() + QStringLiteral(" -> ") + c_info.symLinkTarget();
        } else if (c_info.isDir()) {
            lstItems << c_info.fileName() + QLatin1Char('/');
            for (const QString& c_strChild : Tree(c_info.filePath())) {
                lstItems << c_info.fileName() + QLatin1Char('/') + c_strChild;
            }
        } else if (!c_info.isFile()) {
            lstItems << c_info.fileName() + QStringLiteral(" (special)");
        } else {
            lstItems << c_info.fileName() + QLatin1Char('=') +
                            QString::fromUtf8(ReadFile(c_info.filePath()));
        }
    }
    return lstItems;
}

dev_t Device(const QString& c_strPath) {
    struct stat st {};
    return stat(QFile::encodeName(c_strPath).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

// Answers the replace questions from a script and keeps what was asked.
struct ScriptedQuestions {
    std::deque<EAnswer> answers;
    QList<CFileMover::Question> asked;

    void Attach(CFileMover* pcMover) {
        pcMover->Set_QuestionHook([this](const CFileMover::Question& c_question) {
            asked.append(c_question);
            if (answers.empty()) {
                ADD_FAILURE() << "unexpected question for " << c_question.strTarget.toStdString();
                return EAnswer::Cancel;
            }
            const EAnswer c_eAnswer = answers.front();
            answers.pop_front();
            return c_eAnswer;
        });
    }
};

// Records progress; cancels at the given update (0: never).
class FakeProgress : public CFileMover::IProgress {
public:
    struct Log {
        int nStarts = 0, nFinishes = 0, nUpdates = 0;
        qint64 llTotal = -1, llLast = -1;
        int nCancelAt = 0;
    };
    explicit FakeProgress(Log* pLog) : m_pLog(pLog) {}
    void Start(const QString&, qint64 llTotal) override {
        ++m_pLog->nStarts;
        m_pLog->llTotal = llTotal;
    }
    bool Update(qint64 llDone) override {
        m_pLog->llLast = llDone;
        return ++m_pLog->nUpdates != m_pLog->nCancelAt;
    }
    void Finish() override { ++m_pLog->nFinishes; }

private:
    Log* m_pLog;
};

class FileMoverTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_staging.isValid());
        ASSERT_TRUE(m_destination.isValid());
    }
    QString Src(const QString& c_strName) const { return m_staging.filePath(c_strName); }
    QString Dst(const QString& c_strName) const { return m_destination.filePath(c_strName); }

    std::unique_ptr<CFileMover> MakeMover(int nItems = 1) {
        auto pcMover = std::make_unique<CFileMover>(nullptr, nItems);
        m_questions.Attach(pcMover.get());
        pcMover->Set_Progress(std::make_unique<FakeProgress>(&m_progress));
        return pcMover;
    }

    // A staged folder with files, a sub-folder, an empty folder and a link that points out.
    void StageFolder(const QString& c_strFolder) {
        WriteFile(c_strFolder + QStringLiteral("/a.txt"), "alpha");
        WriteFile(c_strFolder + QStringLiteral("/sub/b.txt"), "beta");
        WriteFile(c_strFolder + QStringLiteral("/sub/deeper/c.txt"), QByteArray(3 << 20, 'c'));
        QDir().mkpath(c_strFolder + QStringLiteral("/empty"));
        ASSERT_EQ(symlink("/etc/hostname",
                          QFile::encodeName(c_strFolder + QStringLiteral("/link")).constData()),
                  0);
    }

    kestrel::test::MessageRecorder m_messages;
    ScriptedQuestions m_questions;
    FakeProgress::Log m_progress;
    QTemporaryDir m_staging;
    QTemporaryDir m_destination;
};

// The same cases run within one file system and across two.
class FileMoverAcrossTest : public FileMoverTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            m_pcShm = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/kestrel-XXXXXX"));
            if (!m_pcShm->isValid() || Device(m_pcShm->path()) == Device(m_destination.path())) {
                GTEST_SKIP() << "/dev/shm and the temporary folder are one file system here";
            }
        }
        FileMoverTest::SetUp();
    }
    QString Src(const QString& c_strName) const {
        return m_pcShm ? m_pcShm->filePath(c_strName) : FileMoverTest::Src(c_strName);
    }
    std::unique_ptr<QTemporaryDir> m_pcShm;
};

INSTANTIATE_TEST_SUITE_P(FileSystems, FileMoverAcrossTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& c_info) {
                             return c_info.param ? "Across" : "Within";
                         });

TEST_P(FileMoverAcrossTest, MovesAFileKeepingContentModeAndTime) {
    WriteFile(Src(QStringLiteral("新規 文書.txt")), "hello");
    const QByteArray c_baSource = QFile::encodeName(Src(QStringLiteral("新規 文書.txt")));
    ASSERT_EQ(chmod(c_baSource.constData(), 0640), 0);
    const timespec c_times[2] = {{1000000000, 0}, {1234567890, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, c_baSource.constData(), c_times, 0), 0);

    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("新規 文書.txt")), Dst(QStringLiteral("x.txt"))),
              EResult::Moved);

    EXPECT_FALSE(QFileInfo::exists(Src(QStringLiteral("新規 文書.txt"))));
    EXPECT_EQ(Tree(m_destination.path()), QStringList{QStringLiteral("x.txt=hello")});
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(Dst(QStringLiteral("x.txt"))).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_TRUE(m_messages.lstTexts.isEmpty());
    EXPECT_TRUE(pcMover->Get_LastError().isEmpty());
    // Only a copy has progress to show.
    EXPECT_EQ(m_progress.nStarts, GetParam() ? 1 : 0);
    EXPECT_EQ(m_progress.nFinishes, m_progress.nStarts);
}

TEST_P(FileMoverAcrossTest, MovesAFolderWithSubFoldersEmptyFoldersAndLinksAsLinks) {
    StageFolder(Src(QStringLiteral("doc")));
    const QStringList c_lstBefore = Tree(Src(QStringLiteral("doc")));

    auto pcMover = MakeMover();
    EXPECT_EQ(
        pcMover->Move(Src(QStringLiteral("doc")) + QLatin1Char('/'), Dst(QStringLiteral("doc"))),
        EResult::Moved);

    EXPECT_FALSE(QFileInfo::exists(Src(QStringLiteral("doc"))));
    EXPECT_EQ(Tree(Dst(QStringLiteral("doc"))), c_lstBefore);
    EXPECT_TRUE(QFileInfo(Dst(QStringLiteral("doc/link"))).isSymLink());
    // No hidden leftovers of the copy beside the result.
    EXPECT_EQ(QDir(m_destination.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("doc")});
    if (GetParam()) {
        EXPECT_EQ(m_progress.llTotal, 5 + 4 + (3 << 20));
        EXPECT_EQ(m_progress.llLast, m_progress.llTotal);
    }
}

TEST_P(FileMoverAcrossTest, EachAnswerToReplacingOneFile) {
    struct Case {
        EAnswer eAnswer;
        EResult eResult;
        QByteArray baTargetAfter;
        bool bSourceStays;
    };
    const Case c_cases[] = {
        {EAnswer::Yes, EResult::Moved, "new", false},
        {EAnswer::No, EResult::Skipped, "old", true},
        {EAnswer::Cancel, EResult::Failed, "old", true},
    };
    for (const Case& c_case : c_cases) {
        SCOPED_TRACE(int(c_case.eAnswer));
        WriteFile(Src(QStringLiteral("x.txt")), "new");
        WriteFile(Dst(QStringLiteral("x.txt")), "old");
        m_messages.lstTexts.clear();
        m_questions.asked.clear();
        m_questions.answers = {c_case.eAnswer};

        auto pcMover = MakeMover();
        EXPECT_EQ(pcMover->Move(Src(QStringLiteral("x.txt")), Dst(QStringLiteral("x.txt"))),
                  c_case.eResult);

        ASSERT_EQ(m_questions.asked.size(), 1);
        EXPECT_EQ(m_questions.asked[0].strTarget, Dst(QStringLiteral("x.txt")));
        EXPECT_FALSE(m_questions.asked[0].bFolder);
        EXPECT_FALSE(m_questions.asked[0].bOfferAll);
        EXPECT_EQ(ReadFile(Dst(QStringLiteral("x.txt"))), c_case.baTargetAfter);
        EXPECT_EQ(QFileInfo::exists(Src(QStringLiteral("x.txt"))), c_case.bSourceStays);
        EXPECT_EQ(pcMover->Is_Cancelled(), c_case.eAnswer == EAnswer::Cancel);
        if (c_case.eAnswer == EAnswer::Cancel) {
            ASSERT_EQ(m_messages.lstTexts.size(), 1);
            EXPECT_EQ(m_messages.lstTexts[0],
                      QStringLiteral("ファイルの移動中にエラーが発生しました\n\n■原因\n") +
                          CFileMover::CancelledReason());
            EXPECT_EQ(m_messages.lstCaptions[0], QStringLiteral("エラー"));
        } else {
            EXPECT_TRUE(m_messages.lstTexts.isEmpty());
        }
        EXPECT_EQ(QDir(m_destination.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("x.txt")});
        QFile::remove(Src(QStringLiteral("x.txt")));
    }
}

TEST_P(FileMoverAcrossTest, AllAnswersHoldForTheFollowingItems) {
    for (EAnswer eAll : {EAnswer::YesToAll, EAnswer::NoToAll}) {
        SCOPED_TRACE(int(eAll));
        const bool c_bYes = eAll == EAnswer::YesToAll;
        const QStringList c_lstNames{QStringLiteral("1.txt"), QStringLiteral("2.txt"),
                                     QStringLiteral("3.txt")};
        for (const QString& c_strName : c_lstNames) {
            WriteFile(Src(c_strName), "new " + c_strName.toUtf8());
            WriteFile(Dst(c_strName), "old");
        }
        WriteFile(Src(QStringLiteral("4.txt")), "fresh");
        m_questions.asked.clear();
        m_questions.answers = {eAll};

        auto pcMover = MakeMover(4);
        for (const QString& c_strName : c_lstNames) {
            EXPECT_EQ(pcMover->Move(Src(c_strName), Dst(c_strName)),
                      c_bYes ? EResult::Moved : EResult::Skipped);
        }
        EXPECT_EQ(pcMover->Move(Src(QStringLiteral("4.txt")), Dst(QStringLiteral("4.txt"))),
                  EResult::Moved);

        ASSERT_EQ(m_questions.asked.size(), 1);
        EXPECT_TRUE(m_questions.asked[0].bOfferAll);
        for (const QString& c_strName : c_lstNames) {
            EXPECT_EQ(ReadFile(Dst(c_strName)), c_bYes ? "new " + c_strName.toUtf8() : "old");
            EXPECT_EQ(QFileInfo::exists(Src(c_strName)), !c_bYes);
            QFile::remove(Src(c_strName));
            QFile::remove(Dst(c_strName));
        }
        EXPECT_EQ(ReadFile(Dst(QStringLiteral("4.txt"))), "fresh");
        QFile::remove(Dst(QStringLiteral("4.txt")));
    }
}

TEST_P(FileMoverAcrossTest, AFolderOntoAFolderIsAskedOnceThenMergedAskingPerClash) {
    StageFolder(Src(QStringLiteral("doc")));
    WriteFile(Dst(QStringLiteral("doc/a.txt")), "old a");
    WriteFile(Dst(QStringLiteral("doc/sub/b.txt")), "old b");
    WriteFile(Dst(QStringLiteral("doc/mine.txt")), "untouched");
    // Merge, keep the old a.txt, merge sub, replace b.txt.
    m_questions.answers = {EAnswer::Yes, EAnswer::No, EAnswer::Yes, EAnswer::Yes};

    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc"))),
              EResult::Moved);

    ASSERT_EQ(m_questions.asked.size(), 4);
    EXPECT_TRUE(m_questions.asked[0].bFolder);
    EXPECT_EQ(m_questions.asked[0].strTarget, Dst(QStringLiteral("doc")));
    EXPECT_EQ(m_questions.asked[1].strTarget, Dst(QStringLiteral("doc/a.txt")));
    EXPECT_FALSE(m_questions.asked[1].bFolder);
    EXPECT_TRUE(m_questions.asked[1].bOfferAll);
    EXPECT_TRUE(m_questions.asked[2].bFolder);
    EXPECT_EQ(m_questions.asked[3].strTarget, Dst(QStringLiteral("doc/sub/b.txt")));

    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc/a.txt"))), "old a");
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc/sub/b.txt"))), "beta");
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc/mine.txt"))), "untouched");
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc/sub/deeper/c.txt"))).size(), 3 << 20);
    EXPECT_TRUE(QFileInfo(Dst(QStringLiteral("doc/link"))).isSymLink());
    EXPECT_TRUE(QFileInfo(Dst(QStringLiteral("doc/empty"))).isDir());
    // The kept file is all that stays behind.
    EXPECT_EQ(Tree(Src(QStringLiteral("doc"))), QStringList{QStringLiteral("a.txt=alpha")});
}

TEST_P(FileMoverAcrossTest, YesToAllOnTheFolderReplacesEverythingWithoutAskingAgain) {
    StageFolder(Src(QStringLiteral("doc")));
    WriteFile(Dst(QStringLiteral("doc/a.txt")), "old a");
    WriteFile(Dst(QStringLiteral("doc/sub/b.txt")), "old b");
    m_questions.answers = {EAnswer::YesToAll};

    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc"))),
              EResult::Moved);
    EXPECT_EQ(m_questions.asked.size(), 1);
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc/a.txt"))), "alpha");
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc/sub/b.txt"))), "beta");
    EXPECT_FALSE(QFileInfo::exists(Src(QStringLiteral("doc"))));
}

TEST_P(FileMoverAcrossTest, CancelInTheMiddleOfAMergeKeepsWhatIsNotMoved) {
    StageFolder(Src(QStringLiteral("doc")));
    WriteFile(Dst(QStringLiteral("doc/sub/b.txt")), "old b");
    // Merge doc, merge sub, then cancel at b.txt: a.txt is already in place by then.
    m_questions.answers = {EAnswer::Yes, EAnswer::Yes, EAnswer::Cancel};

    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc"))),
              EResult::Failed);
    EXPECT_TRUE(pcMover->Is_Cancelled());
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc/a.txt"))), "alpha");
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc/sub/b.txt"))), "old b");
    EXPECT_EQ(ReadFile(Src(QStringLiteral("doc/sub/b.txt"))), "beta");
    EXPECT_EQ(ReadFile(Src(QStringLiteral("doc/sub/deeper/c.txt"))).size(), 3 << 20);
    EXPECT_EQ(m_messages.lstTexts.size(), 1);
}

TEST_P(FileMoverAcrossTest, AFileWhereAFolderIsNeededFailsAndLeavesBothAlone) {
    StageFolder(Src(QStringLiteral("doc")));
    const QStringList c_lstBefore = Tree(Src(QStringLiteral("doc")));
    WriteFile(Dst(QStringLiteral("doc")), "a file");
    WriteFile(Src(QStringLiteral("single.txt")), "x");
    QDir().mkpath(Dst(QStringLiteral("single.txt")));

    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc"))),
              EResult::Failed);
    EXPECT_TRUE(pcMover->Get_LastError().contains(Dst(QStringLiteral("doc"))));
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("single.txt")), Dst(QStringLiteral("single.txt"))),
              EResult::Failed);

    EXPECT_TRUE(m_questions.asked.isEmpty());
    EXPECT_EQ(Tree(Src(QStringLiteral("doc"))), c_lstBefore);
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("doc"))), "a file");
    EXPECT_EQ(ReadFile(Src(QStringLiteral("single.txt"))), "x");
    EXPECT_TRUE(QFileInfo(Dst(QStringLiteral("single.txt"))).isDir());
    ASSERT_EQ(m_messages.lstTexts.size(), 2);
    EXPECT_TRUE(m_messages.lstTexts[0].startsWith(
        QStringLiteral("ファイルの移動中にエラーが発生しました\n\n■原因\n")));
}

TEST_P(FileMoverAcrossTest, AMissingDestinationFolderFailsWithTheReason) {
    WriteFile(Src(QStringLiteral("x.txt")), "x");
    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("x.txt")), Dst(QStringLiteral("none/x.txt"))),
              EResult::Failed);
    EXPECT_EQ(pcMover->Get_LastError(),
              QStringLiteral("指定されたファイルまたはフォルダが見つかりません。\n") +
                  Dst(QStringLiteral("none/x.txt")));
    EXPECT_EQ(ReadFile(Src(QStringLiteral("x.txt"))), "x");
}

TEST_P(FileMoverAcrossTest, AReadOnlyDestinationFailsAndKeepsTheSource) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    StageFolder(Src(QStringLiteral("doc")));
    const QStringList c_lstBefore = Tree(Src(QStringLiteral("doc")));
    ASSERT_EQ(chmod(QFile::encodeName(m_destination.path()).constData(), 0500), 0);

    auto pcMover = MakeMover();
    const EResult c_eResult = pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc")));
    chmod(QFile::encodeName(m_destination.path()).constData(), 0700);

    EXPECT_EQ(c_eResult, EResult::Failed);
    EXPECT_TRUE(pcMover->Get_LastError().startsWith(QStringLiteral("アクセスが拒否されました。")));
    EXPECT_EQ(Tree(Src(QStringLiteral("doc"))), c_lstBefore);
    EXPECT_TRUE(Tree(m_destination.path()).isEmpty());
}

TEST_P(FileMoverAcrossTest, LinksAreNeitherFollowedAtTheSourceNorAtTheTarget) {
    // A link to a folder at the target is replaced as a link, never entered.
    QDir().mkpath(Dst(QStringLiteral("elsewhere")));
    WriteFile(Dst(QStringLiteral("elsewhere/a.txt")), "keep");
    ASSERT_EQ(symlink("elsewhere", QFile::encodeName(Dst(QStringLiteral("doc"))).constData()), 0);
    StageFolder(Src(QStringLiteral("doc")));

    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc"))),
              EResult::Failed);
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("elsewhere/a.txt"))), "keep");

    // A link moved onto a link replaces it with the link itself.
    m_questions.answers = {EAnswer::Yes};
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc/link")), Dst(QStringLiteral("doc"))),
              EResult::Moved);
    EXPECT_EQ(QFileInfo(Dst(QStringLiteral("doc"))).symLinkTarget(),
              QStringLiteral("/etc/hostname"));
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("elsewhere/a.txt"))), "keep");
}

TEST_F(FileMoverTest, AFolderIntoItselfOrOntoItselfFails) {
    StageFolder(Src(QStringLiteral("doc")));
    const QStringList c_lstBefore = Tree(Src(QStringLiteral("doc")));
    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Src(QStringLiteral("doc/sub/doc"))),
              EResult::Failed);
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Src(QStringLiteral("doc"))),
              EResult::Failed);
    EXPECT_EQ(Tree(Src(QStringLiteral("doc"))), c_lstBefore);
    EXPECT_TRUE(m_questions.asked.isEmpty());
}

// Runs c_fnAct on the first top-level widget of type T once it exists, from inside whatever
// modal loop or copy is running.
template <class T>
void WhenShown(std::function<void(T*)> fnAct) {
    auto* pcTimer = new QTimer;
    QObject::connect(pcTimer, &QTimer::timeout, [pcTimer, fnAct] {
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            if (T* pFound = qobject_cast<T*>(pWidget)) {
                pcTimer->stop();
                pcTimer->deleteLater();
                fnAct(pFound);
                return;
            }
        }
    });
    pcTimer->start(0);
}

TEST_F(FileMoverTest, TheRealQuestionOffersEveryAnswerAndYesToAllHolds) {
    for (const char* szName : {"x.txt", "y.txt"}) {
        WriteFile(Src(QLatin1String(szName)), "new");
        WriteFile(Dst(QLatin1String(szName)), "old");
    }
    CFileMover mover(nullptr, 2);
    QString strTitle, strText;
    QMessageBox::StandardButtons eButtons;
    int nShown = 0;
    WhenShown<QMessageBox>([&](QMessageBox* pBox) {
        ++nShown;
        strTitle = pBox->windowTitle();
        strText = pBox->text();
        eButtons = pBox->standardButtons();
        pBox->button(QMessageBox::YesToAll)->click();
    });

    EXPECT_EQ(mover.Move(Src(QStringLiteral("x.txt")), Dst(QStringLiteral("x.txt"))),
              EResult::Moved);
    EXPECT_EQ(mover.Move(Src(QStringLiteral("y.txt")), Dst(QStringLiteral("y.txt"))),
              EResult::Moved);

    EXPECT_EQ(nShown, 1);
    EXPECT_EQ(strTitle, QStringLiteral("ファイルの置き換えの確認"));
    EXPECT_TRUE(strText.contains(QStringLiteral("「x.txt」"))) << strText.toStdString();
    EXPECT_EQ(eButtons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel |
                            QMessageBox::YesToAll | QMessageBox::NoToAll);
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("x.txt"))), "new");
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("y.txt"))), "new");
}

// Copy failures need a second file system.
class FileMoverCopyTest : public FileMoverAcrossTest {};
INSTANTIATE_TEST_SUITE_P(FileSystems, FileMoverCopyTest, testing::Values(true),
                         [](const testing::TestParamInfo<bool>&) { return "Across"; });

TEST_P(FileMoverCopyTest, CancelDuringTheCopyRemovesThePartialCopyAndKeepsTheSource) {
    StageFolder(Src(QStringLiteral("doc")));
    const QStringList c_lstBefore = Tree(Src(QStringLiteral("doc")));
    // Updates: a.txt 2, sub/b.txt 2, then sub/deeper/c.txt in 1 MiB steps: cancel inside it.
    m_progress.nCancelAt = 6;

    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc"))),
              EResult::Failed);
    EXPECT_EQ(pcMover->Get_LastError(), CFileMover::CancelledReason());
    EXPECT_TRUE(pcMover->Is_Cancelled());
    EXPECT_EQ(m_progress.nFinishes, 1);
    EXPECT_EQ(Tree(Src(QStringLiteral("doc"))), c_lstBefore);
    EXPECT_TRUE(QDir(m_destination.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
}

TEST_P(FileMoverCopyTest, AnUncopyableItemInTheMiddleKeepsTheSourceAndTheReplacedFile) {
    StageFolder(Src(QStringLiteral("doc")));
    ASSERT_EQ(mkfifo(QFile::encodeName(Src(QStringLiteral("doc/sub/pipe"))).constData(), 0600), 0);
    const QStringList c_lstBefore = Tree(Src(QStringLiteral("doc")));

    auto pcMover = MakeMover();
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc"))),
              EResult::Failed);
    EXPECT_TRUE(pcMover->Get_LastError().contains(QStringLiteral("pipe")));
    EXPECT_EQ(Tree(Src(QStringLiteral("doc"))), c_lstBefore);
    EXPECT_TRUE(QDir(m_destination.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());

    // Replacing a file: a cancelled copy leaves the old file as it was.
    WriteFile(Src(QStringLiteral("big.bin")), QByteArray(3 << 20, 'n'));
    WriteFile(Dst(QStringLiteral("big.bin")), "old");
    m_questions.answers = {EAnswer::Yes};
    m_progress = {};
    m_progress.nCancelAt = 2;
    EXPECT_EQ(pcMover->Move(Src(QStringLiteral("big.bin")), Dst(QStringLiteral("big.bin"))),
              EResult::Failed);
    EXPECT_EQ(ReadFile(Dst(QStringLiteral("big.bin"))), "old");
    EXPECT_EQ(ReadFile(Src(QStringLiteral("big.bin"))).size(), 3 << 20);
    EXPECT_EQ(QDir(m_destination.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("big.bin")});
}

TEST_P(FileMoverCopyTest, TheRealProgressDialogCancelsTheCopy) {
    WriteFile(Src(QStringLiteral("big.bin")), QByteArray(3 << 20, 'n'));
    CFileMover mover;
    QString strTitle;
    WhenShown<QProgressDialog>([&](QProgressDialog* pDialog) {
        strTitle = pDialog->windowTitle();
        pDialog->cancel();
    });

    EXPECT_EQ(mover.Move(Src(QStringLiteral("big.bin")), Dst(QStringLiteral("big.bin"))),
              EResult::Failed);
    EXPECT_EQ(strTitle, QStringLiteral("ファイルの移動"));
    EXPECT_EQ(mover.Get_LastError(), CFileMover::CancelledReason());
    EXPECT_EQ(ReadFile(Src(QStringLiteral("big.bin"))).size(), 3 << 20);
    EXPECT_TRUE(QDir(m_destination.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    // The dialog goes with the move.
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<QProgressDialog*>(pWidget), nullptr);
    }
}

TEST_P(FileMoverCopyTest, ASourceThatCannotBeDeletedIsReportedAfterACompleteCopy) {
    if (geteuid() == 0) GTEST_SKIP() << "root deletes from read-only folders";
    StageFolder(Src(QStringLiteral("doc")));
    const QStringList c_lstBefore = Tree(Src(QStringLiteral("doc")));
    const QByteArray c_baSub = QFile::encodeName(Src(QStringLiteral("doc/sub")));
    ASSERT_EQ(chmod(c_baSub.constData(), 0500), 0);

    auto pcMover = MakeMover();
    const EResult c_eResult = pcMover->Move(Src(QStringLiteral("doc")), Dst(QStringLiteral("doc")));
    chmod(c_baSub.constData(), 0700);

    EXPECT_EQ(c_eResult, EResult::Failed);
    EXPECT_TRUE(pcMover->Get_LastError().startsWith(
        QStringLiteral("コピーは完了しましたが、移動元を削除できませんでした。")));
    EXPECT_EQ(Tree(Dst(QStringLiteral("doc"))), c_lstBefore);
    EXPECT_EQ(ReadFile(Src(QStringLiteral("doc/sub/b.txt"))), "beta");
}

}  // namespace
