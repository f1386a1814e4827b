#include "CFileMover.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "CMessageBox.h"

namespace kestrel {

namespace {

QString Decode(const QByteArray& c_baPath) {
    return QFile::decodeName(c_baPath);
}

QByteArray Join(const QByteArray& c_baFolder, const QByteArray& c_baName) {
    return c_baFolder.endsWith('/') ? c_baFolder + c_baName : c_baFolder + '/' + c_baName;
}

QByteArray BaseName(const QByteArray& c_baPath) {
    return c_baPath.mid(c_baPath.lastIndexOf('/') + 1);
}

// Trailing separators would make lstat follow a link to a folder and rename refuse files.
QByteArray Normalize(const QString& c_strPath) {
    QByteArray baPath = QFile::encodeName(c_strPath);
    while (baPath.size() > 1 && baPath.endsWith('/')) baPath.chop(1);
    return baPath;
}

QString ErrnoText(int nErrno) {
    switch (nErrno) {
        case EACCES:
        case EPERM:
            return QStringLiteral("アクセスが拒否されました。");
        case ENOENT:
            return QStringLiteral("指定されたファイルまたはフォルダが見つかりません。");
        case ENOSPC:
            return QStringLiteral("ディスクの空き領域が不足しています。");
        case EDQUOT:
            return QStringLiteral("ディスクの使用量の上限を超えました。");
        case EROFS:
            return QStringLiteral("読み取り専用のファイル システムです。");
        case ENAMETOOLONG:
            return QStringLiteral("ファイル名が長すぎます。");
        case EEXIST:
        case ENOTEMPTY:
            return QStringLiteral("同じ名前のファイルまたはフォルダが既にあります。");
        case ENOTDIR:
            return QStringLiteral("パスの途中にフォルダではないものがあります。");
        case EIO:
            return QStringLiteral("入出力エラーが発生しました。");
        default:
            return QString::fromLocal8Bit(std::strerror(nErrno));
    }
}

// Names of a folder's entries, sorted so that moves happen in a stable order.
bool ListFolder(const QByteArray& c_baFolder, std::vector<QByteArray>* plstNames, int* pnErrno) {
    DIR* pDir = opendir(c_baFolder.constData());
    if (!pDir) {
        *pnErrno = errno;
        return false;
    }
    errno = 0;
    while (dirent* pEntry = readdir(pDir)) {
        if (std::strcmp(pEntry->d_name, ".") == 0 || std::strcmp(pEntry->d_name, "..") == 0) {
            continue;
        }
        plstNames->emplace_back(pEntry->d_name);
    }
    *pnErrno = errno;
    closedir(pDir);
    std::sort(plstNames->begin(), plstNames->end());
    return *pnErrno == 0;
}

// Deletes a file, a link (not what it points to) or a folder with everything in it.
bool RemoveTree(const QByteArray& c_baPath, int* pnErrno) {
    struct stat st {};
    if (lstat(c_baPath.constData(), &st) != 0) {
        *pnErrno = errno;
        return errno == ENOENT;
    }
    if (S_ISDIR(st.st_mode)) {
        std::vector<QByteArray> lstNames;
        if (!ListFolder(c_baPath, &lstNames, pnErrno)) return false;
        for (const QByteArray& c_baName : lstNames) {
            if (!RemoveTree(Join(c_baPath, c_baName), pnErrno)) return false;
        }
        if (rmdir(c_baPath.constData()) != 0) {
            *pnErrno = errno;
            return false;
        }
        return true;
    }
    if (unlink(c_baPath.constData()) != 0) {
        *pnErrno = errno;
        return false;
    }
    return true;
}

qint64 TreeSize(const QByteArray& c_baPath) {
    struct stat st {};
    if (lstat(c_baPath.constData(), &st) != 0) return 0;
    if (S_ISREG(st.st_mode)) return st.st_size;
    if (!S_ISDIR(st.st_mode)) return 0;
    std::vector<QByteArray> lstNames;
    int nErrno = 0;
    ListFolder(c_baPath, &lstNames, &nErrno);
    qint64 llSize = 0;
    for (const QByteArray& c_baName : lstNames) llSize += TreeSize(Join(c_baPath, c_baName));
    return llSize;
}

// A name beside c_baTarget that does not exist yet, hidden, for a copy on its way in.
QByteArray StagingName(const QByteArray& c_baTarget) {
    const QByteArray c_baFolder = c_baTarget.left(c_baTarget.lastIndexOf('/') + 1);
    const QByteArray c_baName = BaseName(c_baTarget).left(200);
    for (;;) {
        const QByteArray c_baCandidate =
            c_baFolder + '.' + c_baName + ".kestrel-" +
            QByteArray::number(QRandomGenerator::global()->generate(), 16);
        struct stat st {};
        // Any failure to look is left to the copy, which reports the real reason.
        if (lstat(c_baCandidate.constData(), &st) != 0) return c_baCandidate;
    }
}

// A rename that never replaces; -1 with EEXIST when the target exists.
int RenameNoReplace(const QByteArray& c_baFrom, const QByteArray& c_baTo) {
    if (renameat2(AT_FDCWD, c_baFrom.constData(), AT_FDCWD, c_baTo.constData(), RENAME_NOREPLACE) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // The file system cannot promise it: check, then rename.
    struct stat st {};
    if (lstat(c_baTo.constData(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(c_baFrom.constData(), c_baTo.constData());
}

bool IsInside(const QByteArray& c_baPath, const QByteArray& c_baFolder) {
    return c_baPath.startsWith(c_baFolder == "/" ? c_baFolder : c_baFolder + '/');
}

QString Describe(const QByteArray& c_baPath) {
    struct stat st {};
    if (lstat(c_baPath.constData(), &st) != 0) return Decode(c_baPath);
    const QDateTime c_dt = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
    const QLocale c_locale(QLocale::Japanese, QLocale::Japan);
    QString strText = Decode(c_baPath) + QStringLiteral("\n    ");
    if (!S_ISDIR(st.st_mode)) {
        strText += c_locale.toString(qint64(st.st_size)) + QStringLiteral(" バイト、");
    }
    return strText + QStringLiteral("更新日時 ") +
           c_dt.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

class CProgressDialog : public CFileMover::IProgress {
public:
    explicit CProgressDialog(QWidget* pParent) : m_pParent(pParent) {}

    void Start(const QString& c_strName, qint64 llTotal) override {
        m_llTotal = std::max<qint64>(llTotal, 1);
        // Made per move: the dialog arms its 0.5 s timer when it is constructed.
        m_pcDialog =
            std::make_unique<QProgressDialog>(QStringLiteral("移動しています:\n") + c_strName,
                                              QStringLiteral("キャンセル"), 0, 1000, m_pParent);
        m_pcDialog->setWindowTitle(QStringLiteral("ファイルの移動"));
        m_pcDialog->setWindowModality(Qt::ApplicationModal);
        m_pcDialog->setMinimumDuration(500);
        m_pcDialog->setAutoClose(false);
        m_pcDialog->setAutoReset(false);
        m_pcDialog->setValue(0);
    }
    bool Update(qint64 llDone) override {
        if (!m_pcDialog) return true;
        m_pcDialog->setValue(int(std::min<qint64>(llDone, m_llTotal) * 1000 / m_llTotal));
        // Until the dialog shows, the window must not take clicks while files are half moved;
        // once it shows, being modal it alone takes them, and its cancel button must work.
        QCoreApplication::processEvents(
            m_pcDialog->isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        return !m_pcDialog->wasCanceled();
    }
    void Finish() override { m_pcDialog.reset(); }

private:
    QWidget* m_pParent;
    qint64 m_llTotal = 1;
    std::unique_ptr<QProgressDialog> m_pcDialog;
};

}  // namespace

CFileMover::CFileMover(QWidget* pParent, int nItems)
    : m_pParent(pParent), m_bOfferAll(nItems > 1) {}

CFileMover::~CFileMover() = default;

void CFileMover::Set_QuestionHook(QuestionHook hook) {
    m_hookQuestion = std::move(hook);
}

void CFileMover::Set_Progress(std::unique_ptr<IProgress> pcProgress) {
    m_pcProgress = std::move(pcProgress);
}

QString CFileMover::CancelledReason() {
    return QStringLiteral("キャンセルされました。");
}

CFileMover::EResult CFileMover::Move(const QString& c_strSource, const QString& c_strDestination) {
    m_strError.clear();
    m_baTop = Normalize(c_strSource);
    m_bProgressStarted = false;
    m_llDone = 0;

    EResult eResult;
    if (c_strSource.isEmpty() || c_strDestination.isEmpty()) {
        eResult = FailErrno(ENOENT, QFile::encodeName(c_strSource));
    } else {
        eResult = MoveItem(m_baTop, Normalize(c_strDestination));
    }
    if (m_bProgressStarted) m_pcProgress->Finish();

    if (eResult == EResult::Failed) {
        CMessageBox::Error(
            m_pParent, CMessageBox::WithCause(
                           QStringLiteral("ファイルの移動中にエラーが発生しました"), m_strError));
    }
    return eResult;
}

CFileMover::EResult CFileMover::MoveItem(const QByteArray& c_baSource,
                                         const QByteArray& c_baTarget) {
    struct stat stSource {};
    if (lstat(c_baSource.constData(), &stSource) != 0) return FailErrno(errno, c_baSource);
    const bool c_bFolder = S_ISDIR(stSource.st_mode);
    if (c_bFolder && IsInside(c_baTarget, c_baSource)) {
        return Fail(QStringLiteral("移動先が移動元のフォルダの中にあります。\n") +
                    Decode(c_baTarget));
    }

    struct stat stTarget {};
    if (lstat(c_baTarget.constData(), &stTarget) != 0) {
        if (errno != ENOENT) return FailErrno(errno, c_baTarget);
        return MoveNew(c_baSource, c_baTarget);
    }
    if (stTarget.st_dev == stSource.st_dev && stTarget.st_ino == stSource.st_ino) {
        return Fail(QStringLiteral("移動元と移動先が同じです。\n") + Decode(c_baTarget));
    }
    // A link at the target is an item of its own, not the folder it may point to.
    const bool c_bTargetFolder = S_ISDIR(stTarget.st_mode);
    if (c_bFolder != c_bTargetFolder) {
        return Fail(
            (c_bTargetFolder
                 ? QStringLiteral("同じ名前のフォルダがあるため、ファイルを移動できません。\n")
                 : QStringLiteral("同じ名前のファイルがあるため、フォルダを移動できません。\n")) +
            Decode(c_baTarget));
    }

    switch (Ask(c_baSource, c_baTarget, c_bFolder)) {
        case EAnswer::Cancel:
            m_bCancelled = true;
            return Fail(CancelledReason());
        case EAnswer::No:
        case EAnswer::NoToAll:
            return EResult::Skipped;
        case EAnswer::Yes:
        case EAnswer::YesToAll:
            break;
    }
    if (c_bFolder) return MergeFolder(c_baSource, c_baTarget);

    // Replacing by rename is atomic: the old file stays until the new one is in place.
    if (rename(c_baSource.constData(), c_baTarget.constData()) == 0) return EResult::Moved;
    if (errno != EXDEV) return FailErrno(errno, c_baTarget);
    return CopyAcross(c_baSource, c_baTarget, true);
}

CFileMover::EResult CFileMover::MoveNew(const QByteArray& c_baSource,
                                        const QByteArray& c_baTarget) {
    if (RenameNoReplace(c_baSource, c_baTarget) == 0) return EResult::Moved;
    if (errno != EXDEV) return FailErrno(errno, c_baTarget);
    return CopyAcross(c_baSource, c_baTarget, false);
}

CFileMover::EResult CFileMover::MergeFolder(const QByteArray& c_baSource,
                                            const QByteArray& c_baTarget) {
    std::vector<QByteArray> lstNames;
    int nErrno = 0;
    if (!ListFolder(c_baSource, &lstNames, &nErrno)) return FailErrno(nErrno, c_baSource);

    bool bKept = false;
    for (const QByteArray& c_baName : lstNames) {
        switch (MoveItem(Join(c_baSource, c_baName), Join(c_baTarget, c_baName))) {
            case EResult::Failed:
                return EResult::Failed;
            case EResult::Skipped:
                bKept = true;
                break;
            case EResult::Moved:
                break;
        }
    }
    // What the user chose to keep stays in the source folder; an emptied one goes.
    if (!bKept && rmdir(c_baSource.constData()) != 0) return FailErrno(errno, c_baSource);
    return EResult::Moved;
}

CFileMover::EResult CFileMover::CopyAcross(const QByteArray& c_baSource,
                                           const QByteArray& c_baTarget, bool bReplace) {
    const QByteArray c_baStaging = StagingName(c_baTarget);
    int nErrno = 0;
    if (!CopyTree(c_baSource, c_baStaging)) {
        RemoveTree(c_baStaging, &nErrno);
        return EResult::Failed;
    }
    const int c_nRenamed = bReplace ? rename(c_baStaging.constData(), c_baTarget.constData())
                                    : RenameNoReplace(c_baStaging, c_baTarget);
    if (c_nRenamed != 0) {
        const int c_nErrno = errno;
        RemoveTree(c_baStaging, &nErrno);
        return FailErrno(c_nErrno, c_baTarget);
    }
    // Only now that the copy is complete and in place may the source go.
    if (!RemoveTree(c_baSource, &nErrno)) {
        return Fail(QStringLiteral("コピーは完了しましたが、移動元を削除できませんでした。\n") +
                    ErrnoText(nErrno) + QLatin1Char('\n') + Decode(c_baSource));
    }
    return EResult::Moved;
}

// Copies one item to a path that does not exist yet; false (with m_strError) on failure,
// leaving the partial copy for the caller to remove.
bool CFileMover::CopyTree(const QByteArray& c_baSource, const QByteArray& c_baTarget) {
    struct stat st {};
    if (lstat(c_baSource.constData(), &st) != 0) {
        FailErrno(errno, c_baSource);
        return false;
    }
    const timespec c_times[2] = {st.st_atim, st.st_mtim};

    if (S_ISLNK(st.st_mode)) {
        QByteArray baLink(st.st_size > 0 ? st.st_size + 1 : 4096, '\0');
        const ssize_t c_nLength = readlink(c_baSource.constData(), baLink.data(), baLink.size());
        if (c_nLength < 0 || c_nLength >= baLink.size()) {
            FailErrno(c_nLength < 0 ? errno : ENAMETOOLONG, c_baSource);
            return false;
        }
        baLink.truncate(c_nLength);
        if (symlink(baLink.constData(), c_baTarget.constData()) != 0) {
            FailErrno(errno, c_baTarget);
            return false;
        }
        utimensat(AT_FDCWD, c_baTarget.constData(), c_times, AT_SYMLINK_NOFOLLOW);
        return true;
    }
    if (S_ISREG(st.st_mode)) return CopyFile(c_baSource, c_baTarget, st.st_mode);
    if (!S_ISDIR(st.st_mode)) {
        Fail(QStringLiteral("特殊なファイルは別のドライブへ移動できません。\n") +
             Decode(c_baSource));
        return false;
    }

    // Owner-only while it fills, so that a read-only source folder can still be copied.
    if (mkdir(c_baTarget.constData(), 0700) != 0) {
        FailErrno(errno, c_baTarget);
        return false;
    }
    std::vector<QByteArray> lstNames;
    int nErrno = 0;
    if (!ListFolder(c_baSource, &lstNames, &nErrno)) {
        FailErrno(nErrno, c_baSource);
        return false;
    }
    for (const QByteArray& c_baName : lstNames) {
        if (!CopyTree(Join(c_baSource, c_baName), Join(c_baTarget, c_baName))) return false;
    }
    chmod(c_baTarget.constData(), st.st_mode & 07777);
    utimensat(AT_FDCWD, c_baTarget.constData(), c_times, 0);
    return true;
}

bool CFileMover::CopyFile(const QByteArray& c_baSource, const QByteArray& c_baTarget,
                          mode_t eMode) {
    const int c_fdIn = open(c_baSource.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (c_fdIn < 0) {
        FailErrno(errno, c_baSource);
        return false;
    }
    const int c_fdOut =
        open(c_baTarget.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (c_fdOut < 0) {
        FailErrno(errno, c_baTarget);
        close(c_fdIn);
        return false;
    }

    bool bOk = Progress(0);
    std::vector<char> buffer(1 << 20);
    while (bOk) {
        const ssize_t c_nRead = read(c_fdIn, buffer.data(), buffer.size());
        if (c_nRead == 0) break;
        if (c_nRead < 0) {
            if (errno == EINTR) continue;
            bOk = false;
            FailErrno(errno, c_baSource);
            break;
        }
        for (ssize_t nWritten = 0; bOk && nWritten < c_nRead;) {
            const ssize_t c_n = write(c_fdOut, buffer.data() + nWritten, c_nRead - nWritten);
            if (c_n < 0) {
                if (errno == EINTR) continue;
                bOk = false;
                FailErrno(errno, c_baTarget);
            } else {
                nWritten += c_n;
            }
        }
        if (bOk) bOk = Progress(c_nRead);
    }
    if (bOk) {
        struct stat st {};
        fstat(c_fdIn, &st);
        const timespec c_times[2] = {st.st_atim, st.st_mtim};
        fchmod(c_fdOut, eMode & 07777);
        futimens(c_fdOut, c_times);
    }
    close(c_fdIn);
    // Some file systems report a failed write only when the file is closed.
    if (close(c_fdOut) != 0 && bOk) {
        bOk = false;
        FailErrno(errno, c_baTarget);
    }
    return bOk;
}

// Counts copied bytes; false once the user has cancelled.
bool CFileMover::Progress(qint64 llBytes) {
    if (!m_pcProgress) m_pcProgress = std::make_unique<CProgressDialog>(m_pParent);
    if (!m_bProgressStarted) {
        m_bProgressStarted = true;
        m_pcProgress->Start(Decode(BaseName(m_baTop)), TreeSize(m_baTop));
    }
    m_llDone += llBytes;
    if (m_pcProgress->Update(m_llDone)) return true;
    m_bCancelled = true;
    Fail(CancelledReason());
    return false;
}

CFileMover::EAnswer CFileMover::Ask(const QByteArray& c_baSource, const QByteArray& c_baTarget,
                                    bool bFolder) {
    if (m_eAll == EAnswer::YesToAll || m_eAll == EAnswer::NoToAll) return m_eAll;

    const Question c_question{Decode(c_baSource), Decode(c_baTarget), bFolder,
                              m_bOfferAll || bFolder || IsInside(c_baSource, m_baTop)};
    EAnswer eAnswer;
    if (m_hookQuestion) {
        eAnswer = m_hookQuestion(c_question);
    } else {
        const QString c_strName = Decode(BaseName(c_baTarget));
        QString strText;
        if (bFolder) {
            strText = QStringLiteral(
                          "移動先には既に「%1」という名前のフォルダがあります。\n\n%2"
                          "\n\nこのフォルダに内容を統合しますか？\n同じ名前のファイルが"
                          "ある場合は、置き換える前に確認します。")
                          .arg(c_strName, Describe(c_baTarget));
        } else {
            strText = QStringLiteral(
                          "移動先には既に「%1」という名前のファイルがあります。\n\n"
                          "既存のファイル:\n%2\n\n新しいファイル:\n%3\n\n"
                          "既存のファイルを置き換えますか？")
                          .arg(c_strName, Describe(c_baTarget), Describe(c_baSource));
        }
        QMessageBox::StandardButtons eButtons =
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        if (c_question.bOfferAll) eButtons |= QMessageBox::YesToAll | QMessageBox::NoToAll;
        QMessageBox box(QMessageBox::Question,
                        bFolder ? QStringLiteral("フォルダの置き換えの確認")
                                : QStringLiteral("ファイルの置き換えの確認"),
                        strText, eButtons, m_pParent);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        switch (box.exec()) {
            case QMessageBox::Yes:
                eAnswer = EAnswer::Yes;
                break;
            case QMessageBox::No:
                eAnswer = EAnswer::No;
                break;
            case QMessageBox::YesToAll:
                eAnswer = EAnswer::YesToAll;
                break;
            case QMessageBox::NoToAll:
                eAnswer = EAnswer::NoToAll;
                break;
            default:
                eAnswer = EAnswer::Cancel;
                break;
        }
    }
    if (eAnswer == EAnswer::YesToAll || eAnswer == EAnswer::NoToAll) m_eAll = eAnswer;
    return eAnswer;
}

CFileMover::EResult CFileMover::Fail(const QString& c_strReason) {
    // The first reason is the cause; later ones come from cleaning up after it.
    if (m_strError.isEmpty()) m_strError = c_strReason;
    return EResult::Failed;
}

CFileMover::EResult CFileMover::FailErrno(int nErrno, const QByteArray& c_baPath) {
    return Fail(ErrnoText(nErrno) + QLatin1Char('\n') + Decode(c_baPath));
}

}  // namespace kestrel
