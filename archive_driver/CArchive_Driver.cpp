#include "CArchive_Driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>

#include "CErrorText.h"
#include "CInstanceFolder.h"
#include "CTreeWalk.h"
#include "FileOps.h"

namespace kestrel {

using namespace shelf::NArchive;

const QColor CArchive_Driver::clrAzure(240, 255, 255);
const QColor CArchive_Driver::clrWhite(255, 255, 255);

namespace {

QString WithSlash(const QString& c_strDirectory) {
    return c_strDirectory.endsWith(QLatin1Char('/')) ? c_strDirectory
                                                     : c_strDirectory + QLatin1Char('/');
}

// The folder shared by this user's instances below a base: "kestrel/", unless that name is
// taken by something that is not our own real folder (another user's, or a link), which must
// never receive our files; then "kestrel-<uid>/" and its numbered sisters, under the same rule.
// Each is made here first, so that no one can slip one in between the check and its use.
// Empty when none is ours.
QString SharedTempFolder(const QString& c_strBase) {
    for (int n = 0; n < 100; ++n) {
        const QString strShared =
            c_strBase + (n == 0   ? QStringLiteral("kestrel/")
                         : n == 1 ? QStringLiteral("kestrel-%1/").arg(::getuid())
                                  : QStringLiteral("kestrel-%1-%2/").arg(::getuid()).arg(n));
        const QByteArray path = QFile::encodeName(strShared.chopped(1));
        ::mkdir(path.constData(), 0755);
        if (safefs::IsAbsentOrOwnFolder(path)) return strShared;  // absent: the base comes later
    }
    return QString();
}

}  // namespace

CArchive_Driver::CArchive_Driver()
    : m_pcArchive(std::make_unique<shelf_cli::CArchive_Unify>()),
      m_pcFileTree(std::make_unique<shelf::CArchive_FileTree>()) {
    m_pcArchive->ClassInitialize();
    m_pstProperty.emplace();
    shelf_cli::NArchive::ARCHIVE_PROPERTY stProperty;
    for (int32_t i = 0; m_pcArchive->EnumProperty(i, stProperty); ++i)
        m_pstPropertys.append(stProperty);
}

CArchive_Driver::~CArchive_Driver() {
    Close();
    Cleanup_TempDirectory();
    m_stExtCache.clear();
    m_ilIcon.Clear();
    m_pcFileTree.reset();
    m_pcArchive->Release();
}

bool CArchive_Driver::Open(const QString& strArchiveFileName,
                           const ProgressFunction& fnReportProgress) {
    m_ilIcon.Clear();
    Clear_IconHandleCache();
    m_ilIcon.Add(GenericFileImage());
    m_stExtCache.clear();
    m_vExt.clear();

    m_pcArchive->Initialize();
    m_pcFileTree->Initialize();
    if (strArchiveFileName.isEmpty()) return false;

    const CA_RESULT eResult = m_pcArchive->Create(m_frmWindow, strArchiveFileName);
    if (eResult < 0) return false;
    // No file there: this program never makes archives, so there is nothing to show.
    if (eResult != CA_OPENED) {
        m_pcArchive->Close();
        return false;
    }

    ARCHIVE_FILE stEntry;
    int32_t nCount = 0;
    if (m_pcArchive->FindFirst(QStringLiteral("*"), &stEntry) == CA_OK) {
        do {
            m_pcFileTree->AddNode(stEntry, NODE::NS_NORMAL);
            ++nCount;
            if (nCount % 8 == 0 && fnReportProgress) fnReportProgress(m_pcArchive->FindProgress());
        } while (m_pcArchive->FindNext(&stEntry) == CA_OK);
        if (fnReportProgress) fnReportProgress(m_pcArchive->FindProgress());
    }
    m_nFileCount = nCount;
    m_llFileSize = m_pcArchive->GetArchiveFileSize();
    const NODE* pstRoot = m_pcFileTree->RootNode();
    m_llCompressFileSize = pstRoot->llTotalCompressedSize;
    m_llExtractFileSize = pstRoot->llTotalOriginalSize;
    // Stored as computed; an empty archive gives a ratio that is not a number.
    m_dAvgRatio =
        static_cast<double>(m_llCompressFileSize) / static_cast<double>(m_llExtractFileSize);

    m_bFileOpened = true;
    m_strFileFullPath = strArchiveFileName;
    // On this platform only "/" separates folders; ":" and "\" may be part of a file name.
    m_strFileName = strArchiveFileName.mid(strArchiveFileName.lastIndexOf(QLatin1Char('/')) + 1);
    shelf_cli::NArchive::ARCHIVE_PROPERTY stProperty;
    if (m_pcArchive->Property(stProperty)) m_pstProperty = stProperty;
    return true;
}

bool CArchive_Driver::Close() {
    m_bFileOpened = false;
    m_strFileFullPath = QString();
    m_strFileName = QString();
    m_pstProperty.reset();
    Clear_IconHandleCache();
    m_pcArchive->Close();
    m_pcArchive->Uninitialize();
    m_pcFileTree->Uninitialize();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Temporary folders

QString CArchive_Driver::Generate_TempDirectoryName(const QString& strDirectory) const {
    for (;;) {
        const quint32 nNumber = QRandomGenerator::global()->bounded(0x80000000u);
        const QString strCandidate =
            strDirectory + QLatin1Char('t') + QString::number(nNumber, 16) + QLatin1Char('/');
        if (!safefs::Exists(QFile::encodeName(strCandidate.chopped(1)))) return strCandidate;
    }
}

QString CArchive_Driver::Generate_ExtractTempDirectoryName() const {
    // Without an instance folder there is nowhere safe to stage; callers must not extract.
    if (m_strTempDirectory.isEmpty()) return QString();
    return Generate_TempDirectoryName(m_strTempDirectory) + m_strFileName + QLatin1Char('/');
}

bool CArchive_Driver::Set_TempDirectory(const QString& strDirectory, QString* pstrError) {
    Cleanup_TempDirectory();
    const QString strShared = SharedTempFolder(WithSlash(strDirectory));
    if (strShared.isEmpty()) {
        if (pstrError) *pstrError = QStringLiteral("フォルダを作成できません: ") + strDirectory;
        return false;
    }
    safefs::RemoveAbandonedInstanceFolders(QFile::encodeName(strShared.chopped(1)));
    return Create_TempDirectory(Generate_TempDirectoryName(strShared), pstrError);
}

bool CArchive_Driver::Create_TempDirectory(const QString& strDirectory, QString* pstrError) {
    const QString strFolder = WithSlash(strDirectory);
    const QString strParent = strFolder.chopped(1).section(QLatin1Char('/'), 0, -2);
    if (!strParent.isEmpty() && !QDir().mkpath(strParent)) {
        if (pstrError) *pstrError = QStringLiteral("フォルダを作成できません: ") + strParent;
        return false;
    }
    // The instance folder must be new: cleanup deletes it with everything inside.
    if (::mkdir(QFile::encodeName(strFolder.chopped(1)).constData(), 0700) != 0) {
        const int nError = errno;
        if (pstrError) *pstrError = strFolder + QStringLiteral(": ") + safefs::ErrnoText(nError);
        return false;
    }
    m_strTempDirectory = strFolder;
    // Without a mark the folder is never taken for one left behind, and nothing else needs it.
    m_fdInstanceMark = safefs::MarkInstanceFolder(QFile::encodeName(strFolder.chopped(1)));
    return true;
}

bool CArchive_Driver::Cleanup_TempDirectory() {
    if (m_strTempDirectory.isEmpty()) return false;
    // Failures are not reported: the folder is forgotten anyway. Ours, so read-only folders
    // extracted into it are made writable to be emptied.
    safefs::RemoveTree(QFile::encodeName(m_strTempDirectory.chopped(1)), /*bMakeWritable=*/true);
    m_fdInstanceMark.Reset();
    m_strTempDirectory.clear();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Extraction requests

namespace {

// The observer is the caller's for one call only.
class CObserverScope {
public:
    CObserverScope(shelf_cli::CArchive_Unify* pcArchive, shelf::IExtractObserver* pcObserver)
        : m_pcArchive(pcArchive) {
        m_pcArchive->SetExtractObserver(pcObserver);
    }
    ~CObserverScope() { m_pcArchive->SetExtractObserver(nullptr); }
    CObserverScope(const CObserverScope&) = delete;
    CObserverScope& operator=(const CObserverScope&) = delete;

private:
    shelf_cli::CArchive_Unify* m_pcArchive;
};

}  // namespace

int32_t CArchive_Driver::Extract(const QStringList& strExtractFiles,
                                 const QString& strThawDirectory, bool bOverwrite,
                                 bool bDirectoryPath, shelf::IExtractObserver* pcObserver) {
    EXT_MODE eMode = bOverwrite ? EXT_OVERWRITE : EXT_OVERWRITE_DEFAULT;
    eMode |= bDirectoryPath ? EXT_WITH_PATH : EXT_WITHOUT_PATH;
    eMode |= bOverwrite ? EXT_NO_CONFIRM : EXT_CONFIRM;
    CObserverScope scope(m_pcArchive.get(), pcObserver);
    return m_pcArchive->Extract(strExtractFiles, strThawDirectory, eMode);
}

int32_t CArchive_Driver::Test(const QStringList& strFiles, shelf::IExtractObserver* pcObserver) {
    CObserverScope scope(m_pcArchive.get(), pcObserver);
    return m_pcArchive->Extract(strFiles, QString(), EXT_TEST);
}

int32_t CArchive_Driver::Get_DirectoryFiles(const QString& strDirectory, QStringList& strFiles,
                                            bool bSubDirectory) const {
    const NODE* pstNode = nullptr;
    if (strDirectory.isEmpty()) {
        pstNode = m_pcFileTree->RootNode();
        bSubDirectory = true;
    } else if (strDirectory.startsWith(QLatin1Char('/'))) {
        pstNode = FindNode(strDirectory);
    } else {
        return 0;
    }
    strFiles.clear();
    if (pstNode == nullptr) return 0;
    strFiles.reserve(bSubDirectory ? pstNode->nTotalFileCount : pstNode->nFileCount);
    return bSubDirectory ? Create_AllFileList(pstNode, strFiles)
                         : Create_FileList(pstNode, strFiles);
}

}  // namespace kestrel
