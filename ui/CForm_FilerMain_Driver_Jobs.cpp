// Extractions and tests as jobs: where files are staged, whether they fit, running the job, and
// what the user is told afterwards; 書庫を検査.

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimer>
#include <algorithm>
#include <set>

#include "CArchive_Driver.h"
#include "CExtractJob.h"
#include "CForm_FilerMain_Driver.h"
#include "CMessageBox.h"
#include "CTreeWalk.h"
#include "FileOps.h"
#include "Form_FilerMain.h"
#include "Platform.h"

namespace kestrel {

namespace {

// How many problems the error box names before "ほか N 件".
constexpr qsizetype kNamedProblems = 10;

// A path or text on one line: control characters written out, as everywhere names are shown.
QString OneLine(const QString& c_str) {
    return QString::fromStdWString(shelf::VisibleText(c_str.toStdWString()));
}

QString ProblemLine(const shelf::EXTRACT_PROBLEM& c_st) {
    const QString strReason = shelf_cli::CArchive_Unify::ReasonText(c_st.nReason, c_st.nErrno);
    if (c_st.strPath.empty()) return strReason;
    return OneLine(QString::fromStdWString(c_st.strPath)) + QStringLiteral(": ") + strReason;
}

void Tell(QWidget* pWindow, bool bError, const QString& c_strText, const QString& c_strDetails,
          bool bTellLater) {
    auto fnTell = [pWindow, bError, c_strText, c_strDetails] {
        if (bError)
            CMessageBox::Error(pWindow, c_strText, c_strDetails);
        else
            CMessageBox::Information(pWindow, c_strText, c_strDetails);
    };
    // Inside a drop no dialog may open: the box waits until control is back in the event loop.
    if (bTellLater)
        QTimer::singleShot(0, pWindow, fnTell);
    else
        fnTell();
}

// The nearest folder on the way to c_strPath that exists (the path itself when it does).
QString ExistingFolder(QString strPath) {
    while (strPath.size() > 1 && !QFileInfo::exists(strPath))
        strPath = strPath.chopped(strPath.endsWith(QLatin1Char('/')) ? 1 : 0)
                      .section(QLatin1Char('/'), 0, -2);
    return strPath.isEmpty() ? QStringLiteral("/") : strPath;
}

}  // namespace

CForm_FilerMain_Driver::STAGING::~STAGING() {
    if (!baPrivate.isEmpty()) safefs::RemoveTree(baPrivate, /*bMakeWritable=*/true);
}

void CForm_FilerMain_Driver::StagingFolderFor(const QString& c_strDestination,
                                              STAGING* pstStaging) {
    pstStaging->strFolder = StagingFolder();
    if (pstStaging->strFolder.isEmpty()) return;
    const dev_t nDestination = safefs::DeviceOf(QFile::encodeName(c_strDestination));
    if (nDestination == static_cast<dev_t>(-1) ||
        nDestination == safefs::DeviceOf(QFile::encodeName(m_pcArchive_Driver->strTempDirectory())))
        return;
    const QByteArray baPrivate = safefs::MakePrivateFolder(
        QFile::encodeName(c_strDestination + QStringLiteral(".kestrel-")));
    if (baPrivate.isEmpty()) return;  // the move will say what is wrong
    pstStaging->baPrivate = baPrivate;
    pstStaging->strFolder = QFile::decodeName(baPrivate) + QLatin1Char('/') +
                            m_pcArchive_Driver->strFileName() + QLatin1Char('/');
}

bool CForm_FilerMain_Driver::Check_Room(const QStringList& c_lstFiles,
                                        const QString& c_strDirectory, bool bTellLater) {
    const int64_t llNeeded = m_pcArchive_Driver->Get_SelectedFilesSize(c_lstFiles);
    const QString strFolder = ExistingFolder(c_strDirectory);
    const QStorageInfo stInfo(strFolder);
    const qint64 llFree = stInfo.isValid() ? stInfo.bytesAvailable() : -1;
    if (llFree < 0 || llNeeded <= llFree) return true;
    Tell(m_frmWindow, true,
         CMessageBox::WithCause(
             QStringLiteral("ファイルの解凍中にエラーが発生しました"),
             QStringLiteral("空き容量が足りないため解凍できません。\n"
                            "必要な容量: %1 バイト\n空き容量: %2 バイト (%3)")
                 .arg(QLocale(QLocale::Japanese).toString(static_cast<qlonglong>(llNeeded)),
                      QLocale(QLocale::Japanese).toString(llFree), OneLine(stInfo.rootPath()))),
         QString(), bTellLater);
    return false;
}

int32_t CForm_FilerMain_Driver::Run_Job(
    CExtractJob& cJob, const std::function<int32_t(shelf::IExtractObserver*)>& fnWork) {
    m_pcJob = &cJob;
    const int32_t nResult = cJob.Run(fnWork);
    m_pcJob = nullptr;
    // The program is ending: the command stops here, as when the window closes.
    if (cJob.bQuitRequested()) m_bQuitting = true;
    return nResult;
}

void CForm_FilerMain_Driver::Quit_Job() {
    if (m_pcJob == nullptr) return;
    m_bQuitting = true;
    m_pcJob->Cancel();
    while (m_pcJob != nullptr && !m_pcJob->bEnded())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void CForm_FilerMain_Driver::TellProblems(const QString& c_strHead, const CExtractJob& c_cJob,
                                          bool bTellLater) {
    // By path, so that the box reads like a listing of the archive's folders.
    std::vector<shelf::EXTRACT_PROBLEM> vstProblems = c_cJob.Problems();
    std::stable_sort(vstProblems.begin(), vstProblems.end(),
                     [](const auto& a, const auto& b) { return a.strPath < b.strPath; });
    QStringList lstLines;
    for (const shelf::EXTRACT_PROBLEM& c_st : vstProblems) lstLines << ProblemLine(c_st);
    QString strCause;
    if (lstLines.isEmpty()) {
        strCause = QStringLiteral("書庫からファイルを取り出せませんでした");
    } else {
        strCause = lstLines.mid(0, kNamedProblems).join(QLatin1Char('\n'));
        if (lstLines.size() > kNamedProblems)
            strCause += QStringLiteral("\nほか %1 件").arg(lstLines.size() - kNamedProblems);
    }
    Tell(m_frmWindow, true, CMessageBox::WithCause(c_strHead, strCause),
         lstLines.size() > kNamedProblems ? lstLines.join(QLatin1Char('\n')) : QString(),
         bTellLater);
}

bool CForm_FilerMain_Driver::Extract_Staged(const QStringList& c_lstFiles,
                                            const QString& c_strDirectory, bool bTellLater) {
    m_bJobCancelled = false;
    if (m_pcJob != nullptr) return false;  // one job at a time
    if (!Check_Room(c_lstFiles, c_strDirectory, bTellLater)) return false;
    CExtractJob cJob(m_frmWindow, m_pcArchive_Driver->strFileName(), QStringLiteral("解凍"));
    const int32_t nResult = Run_Job(cJob, [this, &c_lstFiles, &c_strDirectory](auto* pcObserver) {
        return m_pcArchive_Driver->Extract(c_lstFiles, c_strDirectory, true, true, pcObserver);
    });
    if (m_bQuitting) return false;
    if (nResult == -3) {
        m_bJobCancelled = true;
        // A drop is given nothing after a cancel; a command moves what was finished.
        Tell(m_frmWindow, false,
             bTellLater
                 ? QStringLiteral("解凍を中止しました。\nドロップ先にはファイルを渡していません。")
                 : QStringLiteral("解凍を中止しました。\n解凍を終えていた %1 個のファイルだけを"
                                  "取り出します。残りのファイルは解凍していません。")
                       .arg(cJob.nFinished()),
             QString(), bTellLater);
        return false;
    }
    if (nResult >= 0) return true;
    TellProblems(QStringLiteral("ファイルの解凍中にエラーが発生しました"), cJob, bTellLater);
    return false;
}

bool CForm_FilerMain_Driver::Edit_Check_Archive() {
    if (m_pcJob != nullptr || m_bFileOpenMode || !m_pcArchive_Driver->bFileOpened()) return false;
    QStringList lstFiles;
    m_pcArchive_Driver->Get_DirectoryFiles(QString(), lstFiles, true);
    CExtractJob cJob(m_frmWindow, m_pcArchive_Driver->strFileName(), QStringLiteral("検査"));
    const int32_t nResult = Run_Job(cJob, [this, &lstFiles](auto* pcObserver) {
        return m_pcArchive_Driver->Test(lstFiles, pcObserver);
    });
    if (m_bQuitting) return false;
    if (nResult == -3) {
        CMessageBox::Information(m_frmWindow,
                                 QStringLiteral("検査を中止しました。\n%1 個のファイルのうち %2 "
                                                "個を検査したところで中止しました。")
                                     .arg(lstFiles.size())
                                     .arg(cJob.nFinished()));
        return true;
    }
    std::set<std::wstring> setBad;
    for (const shelf::EXTRACT_PROBLEM& c_st : cJob.Problems()) {
        if (!c_st.strPath.empty()) setBad.insert(c_st.strPath);
    }
    if (nResult >= 0 && cJob.Problems().empty()) {
        CMessageBox::Information(
            m_frmWindow,
            QStringLiteral("%1 個のファイルを検査しました。すべて正常です。").arg(lstFiles.size()));
        return true;
    }
    // Entries past a point where the archive cannot be read are not sound either.
    const qsizetype nSound = static_cast<qsizetype>(cJob.nFinished());
    TellProblems(QStringLiteral("%1 個のファイルを検査しました。\n正常: %2 個\n正常でない: %3 個")
                     .arg(lstFiles.size())
                     .arg(nSound)
                     .arg(std::max<qsizetype>(lstFiles.size() - nSound,
                                              static_cast<qsizetype>(setBad.size()))),
                 cJob, false);
    return true;
}

}  // namespace kestrel
