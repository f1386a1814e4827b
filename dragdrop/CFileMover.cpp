#include "CFileMover.h"

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
#include <vector>

#include "CContainment.h"
#include "CErrorText.h"
#include "CMessageBox.h"
#include "CTreeWalk.h"
#include "FileOps.h"

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

// A name beside c_baTarget that does not exist yet, hidden, for a copy on its way in.
QByteArray StagingName(const QByteArray& c_baTarget) {
    const QByteArray c_baFolder = c_baTarget.left(c_baTarget.lastIndexOf('/') + 1);
    const QByteArray c_baName = BaseName(c_baTarget).left(200);
    for (;;) {
        const QByteArray c_baCandidate =
            c_baFolder + '.' + c_baName + ".kestrel-" +
            QByteArray::number(QRandomGenerator::global()->generate(), 16);
        // Any failure to look is left to the copy, which reports the real reason.
        if (!safefs::Exists(c_baCandidate)) return c_baCandidate;
    }
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
    if (c_bFolder && safefs::IsBelow(c_baTarget, c_baSource)) {
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
    if (safefs::RenameNoReplace(c_baSource, c_baTarget) == 0) return EResult::Moved;
    if (errno != EXDEV) return FailErrno(errno, c_baTarget);
    return CopyAcross(c_baSource, c_baTarget, false);
}

CFileMover::EResult CFileMover::MergeFolder(const QByteArray& c_baSource,
                                            const QByteArray& c_baTarget) {
    std::vector<QByteArray> lstNames;
    int nErrno = 0;
    const UniqueFd c_fdSource(safefs::OpenFolder(AT_FDCWD, c_baSource.constData()));
    if (!c_fdSource.Valid()) return FailErrno(errno, c_baSource);
    if (!safefs::ReadNames(c_fdSource.Get(), &lstNames, &nErrno))
        return FailErrno(nErrno, c_baSource);

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
    QString strError;
    if (!safefs::CopyTree(
            c_baSource, c_baStaging, [this](qint64 llBytes) { return Progress(llBytes); },
            &strError)) {
        // A cancel has been noted by Progress already.
        if (!strError.isEmpty()) Fail(strError);
        safefs::RemoveTree(c_baStaging, false);
        return EResult::Failed;
    }
    const int c_nRenamed = bReplace ? rename(c_baStaging.constData(), c_baTarget.constData())
                                    : safefs::RenameNoReplace(c_baStaging, c_baTarget);
    if (c_nRenamed != 0) {
        const int c_nErrno = errno;
        safefs::RemoveTree(c_baStaging, false);
        return FailErrno(c_nErrno, c_baTarget);
    }
    // Only now that the copy is complete and in place may the source go.
    int nErrno = 0;
    if (!safefs::RemoveTree(c_baSource, false, &nErrno)) {
        return Fail(QStringLiteral("コピーは完了しましたが、移動元を削除できませんでした。\n") +
                    safefs::ErrnoText(nErrno, Decode(c_baSource)));
    }
    return EResult::Moved;
}

// Counts copied bytes; false once the user has cancelled.
bool CFileMover::Progress(qint64 llBytes) {
    if (!m_pcProgress) m_pcProgress = std::make_unique<CProgressDialog>(m_pParent);
    if (!m_bProgressStarted) {
        m_bProgressStarted = true;
        m_pcProgress->Start(Decode(BaseName(m_baTop)), safefs::TreeSize(m_baTop));
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
                              m_bOfferAll || bFolder || safefs::IsBelow(c_baSource, m_baTop)};
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
    return Fail(safefs::ErrnoText(nErrno, Decode(c_baPath)));
}

}  // namespace kestrel
