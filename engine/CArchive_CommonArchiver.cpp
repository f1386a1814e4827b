#include "CArchive_CommonArchiver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "Platform.h"

namespace shelf {

using namespace NArchive;

namespace {

constexpr uint32_t kOpenMode = KESTREL_OPEN_MODE;
constexpr int32_t kCommandOutputSize = 1024;
constexpr int32_t kResponseNameCapacity = 1024;
// The plug-in cuts a longer name at 512 bytes on a character boundary, so a name of 509 bytes
// or more may be the start of a longer one.
constexpr size_t kMayBeCut = KESTREL_INFO_FILENAME_SIZE - 1 - 3;
// Longer names cannot be made on the file system; each folder node of the tree holds its whole
// path, so a hostile name thousands of folders deep would cost gigabytes.
constexpr size_t kLongestName = PATH_MAX - 1;
// Shown after a name that may have been cut; such a path is never extracted.
constexpr wchar_t kCutMark = 0x2026;

uint32_t ReadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t ReadU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | static_cast<unsigned>(p[1]) << 8);
}

bool CanBeWrittenAsLine(const std::wstring& c_strPath) {
    return c_strPath.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos;
}

}  // namespace

CArchive_CommonArchiver::CArchive_CommonArchiver() = default;

CArchive_CommonArchiver::~CArchive_CommonArchiver() {
    ReleaseArchiver();
}

void CArchive_CommonArchiver::ReleaseArchiver() {
    // The handle belongs to the library: close it while the library is still there.
    if (m_hArchive != nullptr && m_pfnCloseArchive != nullptr) m_pfnCloseArchive(m_hArchive);
    m_hArchive = nullptr;
    FreeArchiverLibrary(m_hModule);
    m_hModule = nullptr;
    // Entry points into a released library must never be called.
    m_pfnCommand = nullptr;
    m_pfnOpenArchive = nullptr;
    m_pfnCloseArchive = nullptr;
    m_pfnFindFirst = nullptr;
    m_pfnFindNext = nullptr;
    m_pfnGetArcFileSize = nullptr;
    m_pfnGetArcFileSizeEx = nullptr;
    m_pfnGetArcOriginalSizeEx = nullptr;
    m_pfnGetArcCompressedSizeEx = nullptr;
    m_pfnGetArcReadSize = nullptr;
    m_pfnGetArcReadSizeEx = nullptr;
    m_pfnGetOriginalSizeEx = nullptr;
    m_pfnGetCompressedSizeEx = nullptr;
    m_pfnGetFileName = nullptr;
    m_pfnCommandEx = nullptr;
    m_pfnOpenArchiveEx = nullptr;
}

void CArchive_CommonArchiver::ClassUninitialize() {
    ReleaseArchiver();
}

int32_t CArchive_CommonArchiver::LoadArchiver(const std::wstring& c_strDllName) {
    ReleaseArchiver();
    m_hModule = LoadArchiverLibrary(c_strDllName);
    return m_hModule != nullptr ? 1 : 0;
}

int32_t CArchive_CommonArchiver::LoadArchiverWithPrefix(const std::wstring& c_strDllName,
                                                        const char* c_pszPrefix) {
    if (CArchive_CommonArchiver::LoadArchiver(c_strDllName) == 0) return 0;
    const std::string strPrefix = c_pszPrefix;
    auto resolve = [&](const char* c_pszSuffix) {
        return GetArchiverFunction(m_hModule, (strPrefix + c_pszSuffix).c_str());
    };
    m_pfnCommand = reinterpret_cast<PFN_ARCHIVER_COMMAND>(resolve(""));
    m_pfnOpenArchive = reinterpret_cast<PFN_ARCHIVER_OPEN_ARCHIVE>(resolve("OpenArchive"));
    m_pfnCloseArchive = reinterpret_cast<PFN_ARCHIVER_CLOSE_ARCHIVE>(resolve("CloseArchive"));
    m_pfnFindFirst = reinterpret_cast<PFN_ARCHIVER_FIND_FIRST>(resolve("FindFirst"));
    m_pfnFindNext = reinterpret_cast<PFN_ARCHIVER_FIND_NEXT>(resolve("FindNext"));
    m_pfnGetArcFileSize = reinterpret_cast<PFN_ARCHIVER_GET_SIZE32>(resolve("GetArcFileSize"));
    m_pfnGetArcFileSizeEx = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(resolve("GetArcFileSizeEx"));
    m_pfnGetArcOriginalSizeEx =
        reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(resolve("GetArcOriginalSizeEx"));
    m_pfnGetArcCompressedSizeEx =
        reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(resolve("GetArcCompressedSizeEx"));
    m_pfnGetArcReadSize = reinterpret_cast<PFN_ARCHIVER_GET_SIZE32>(resolve("GetArcReadSize"));
    m_pfnGetArcReadSizeEx = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(resolve("GetArcReadSizeEx"));
    m_pfnGetOriginalSizeEx =
        reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(resolve("GetOriginalSizeEx"));
    m_pfnGetCompressedSizeEx =
        reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(resolve("GetCompressedSizeEx"));
    m_pfnGetFileName = reinterpret_cast<PFN_ARCHIVER_GET_FILE_NAME>(resolve("GetFileName"));
    m_pfnCommandEx = reinterpret_cast<PFN_ARCHIVER_COMMAND_EX>(resolve("CommandEx"));
    m_pfnOpenArchiveEx = reinterpret_cast<PFN_ARCHIVER_OPEN_ARCHIVE_EX>(resolve("OpenArchiveEx"));
    return 1;
}

CA_RESULT CArchive_CommonArchiver::Create(void* hWnd, const std::wstring& c_strFileName) {
    if (CheckPathType(c_strFileName) != 0) return Open(hWnd, c_strFileName);
    m_nOpenReason = KESTREL_REASON_NOT_FOUND;
    if (m_strFileName.empty()) {
        m_hWnd = hWnd;
        m_strFileName = c_strFileName;
    }
    return CA_NEWFILE;
}

CA_RESULT CArchive_CommonArchiver::Open(void* hWnd, const std::wstring& c_strFileName) {
    // A handle still held would be lost when the new one is stored.
    if (m_hArchive != nullptr) {
        if (m_pfnCloseArchive != nullptr) m_pfnCloseArchive(m_hArchive);
        m_hArchive = nullptr;
    }
    const std::string strPath = ToAnsi(c_strFileName);
    m_nOpenReason = 0;
    if (m_pfnOpenArchiveEx != nullptr) {
        m_hArchive = m_pfnOpenArchiveEx(hWnd, strPath.c_str(), kOpenMode, &m_nOpenReason);
    } else if (m_pfnOpenArchive != nullptr) {
        m_hArchive = m_pfnOpenArchive(hWnd, strPath.c_str(), kOpenMode);
    }
    if (m_hArchive == nullptr) return CA_OPEN_FAILED;
    m_nOpenReason = 0;
    if (m_strFileName.empty()) {
        m_hWnd = hWnd;
        m_strFileName = c_strFileName;
    }
    return CA_OPENED;
}

int32_t CArchive_CommonArchiver::Close() {
    int nResult = -1;
    if (m_hArchive != nullptr) {
        nResult = m_pfnCloseArchive != nullptr ? m_pfnCloseArchive(m_hArchive) : -1;
        m_hArchive = nullptr;
    }
    m_hWnd = nullptr;
    m_strFileName.clear();
    m_setCutName.clear();
    m_password.Clear();
    m_bPassword = false;
    return nResult == 0 ? 1 : 0;
}

bool CArchive_CommonArchiver::OpenOnDemand() {
    if (m_hArchive != nullptr) return true;
    const std::wstring strFileName = m_strFileName;
    Open(m_hWnd, strFileName);
    return m_hArchive != nullptr;
}

CA_RESULT CArchive_CommonArchiver::FindFirst(const std::wstring& c_strWildName,
                                             ARCHIVE_FILE* pstArchiveFile) {
    if (!OpenOnDemand()) return CA_OPEN_FAILED;
    const std::string strWild = ToAnsi(c_strWildName);
    unsigned char abyInfo[KESTREL_INDIVIDUALINFO_SIZE] = {};
    const int nResult =
        m_pfnFindFirst != nullptr ? m_pfnFindFirst(m_hArchive, strWild.c_str(), abyInfo) : -1;
    if (nResult != 0 || pstArchiveFile == nullptr) return CA_ERROR;
    ConvertFileInfo(pstArchiveFile, abyInfo);
    return CA_OK;
}

CA_RESULT CArchive_CommonArchiver::FindNext(ARCHIVE_FILE* pstArchiveFile) {
    if (!OpenOnDemand()) return CA_OPEN_FAILED;
    unsigned char abyInfo[KESTREL_INDIVIDUALINFO_SIZE] = {};
    const int nResult = m_pfnFindNext != nullptr ? m_pfnFindNext(m_hArchive, abyInfo) : -1;
    if (nResult != 0 || pstArchiveFile == nullptr) return CA_ERROR;
    ConvertFileInfo(pstArchiveFile, abyInfo);
    return CA_OK;
}

int32_t CArchive_CommonArchiver::FindEnd() {
    if (m_hArchive == nullptr) return 0;
    const int nResult = m_pfnCloseArchive != nullptr ? m_pfnCloseArchive(m_hArchive) : -1;
    m_hArchive = nullptr;
    return nResult == 0 ? 1 : 0;
}

int32_t CArchive_CommonArchiver::FindProgress() {
    int64_t llTotal = 0;
    int64_t llRead = 0;
    if (m_pfnGetArcFileSizeEx != nullptr && m_pfnGetArcReadSizeEx != nullptr) {
        // A failed query leaves nothing to compute with.
        if (GetArcFileSizeEx(&llTotal) == 0 || GetArcReadSizeEx(&llRead) == 0) return 0;
    } else if (m_pfnGetArcFileSize != nullptr && m_pfnGetArcReadSize != nullptr) {
        llTotal = GetArcFileSize();
        llRead = GetArcReadSize();
    } else {
        return 0;
    }
    if (llTotal <= 0 || llRead <= 0) return 0;
    const __int128 nPerMille = static_cast<__int128>(llRead) * 1000 / llTotal;
    return nPerMille > 1000 ? 1000 : static_cast<int32_t>(nPerMille);
}

int64_t CArchive_CommonArchiver::GetArchiveFileSize() {
    int64_t llSize = 0;
    return GetArcFileSizeEx(&llSize) != 0 ? llSize : 0;
}

uint32_t CArchive_CommonArchiver::GetArcFileSize() {
    if (!OpenOnDemand() || m_pfnGetArcFileSize == nullptr) return 0;
    return m_pfnGetArcFileSize(m_hArchive);
}

uint32_t CArchive_CommonArchiver::GetArcReadSize() {
    if (!OpenOnDemand() || m_pfnGetArcReadSize == nullptr) return 0;
    return m_pfnGetArcReadSize(m_hArchive);
}

#define KESTREL_SIZE64_WRAPPER(NAME)                                           \
    int32_t CArchive_CommonArchiver::NAME(int64_t* pllSize) {                  \
        if (!OpenOnDemand() || m_pfn##NAME == nullptr || pllSize == nullptr) { \
            return 0;                                                          \
        }                                                                      \
        return m_pfn##NAME(m_hArchive, pllSize);                               \
    }
KESTREL_SIZE64_WRAPPER(GetArcFileSizeEx)
KESTREL_SIZE64_WRAPPER(GetOriginalSizeEx)
KESTREL_SIZE64_WRAPPER(GetArcOriginalSizeEx)
KESTREL_SIZE64_WRAPPER(GetArcReadSizeEx)
KESTREL_SIZE64_WRAPPER(GetCompressedSizeEx)
KESTREL_SIZE64_WRAPPER(GetArcCompressedSizeEx)
#undef KESTREL_SIZE64_WRAPPER

void CArchive_CommonArchiver::WriteResponse(std::FILE*, const std::wstring&) {}

void CArchive_CommonArchiver::MakeCommandLine(std::string*, const std::string&, const std::string&,
                                              const std::string&, EXT_MODE) {}

void CArchive_CommonArchiver::AdjustFilePath(ARCHIVE_FILE*) {}

void CArchive_CommonArchiver::ConvertFileInfo(ARCHIVE_FILE* pstArchiveFile, const void* c_pvInfo) {
    if (pstArchiveFile == nullptr || c_pvInfo == nullptr) return;
    const auto* p = static_cast<const unsigned char*>(c_pvInfo);
    pstArchiveFile->nOriginalSize = ReadU32(p + KESTREL_INFO_ORIGINAL_SIZE);
    pstArchiveFile->nCompressedSize = ReadU32(p + KESTREL_INFO_COMPRESSED_SIZE);
    pstArchiveFile->nFlag = ReadU32(p + KESTREL_INFO_FLAG);
    pstArchiveFile->nOSType = ReadU32(p + KESTREL_INFO_OS_TYPE);
    pstArchiveFile->dRatio = ReadU16(p + KESTREL_INFO_RATIO) / 1000.0;
    uint64_t nFileTime = 0;
    if (DosDateTimeToFileTime(ReadU16(p + KESTREL_INFO_DATE), ReadU16(p + KESTREL_INFO_TIME),
                              &nFileTime)) {
        pstArchiveFile->ftUpdate.dwLowDateTime = static_cast<uint32_t>(nFileTime);
        pstArchiveFile->ftUpdate.dwHighDateTime = static_cast<uint32_t>(nFileTime >> 32);
    } else {
        pstArchiveFile->ftUpdate.dwLowDateTime = 0xFFFFFFFF;
        pstArchiveFile->ftUpdate.dwHighDateTime = 0xFFFFFFFF;
    }

    // The record's fields stop at 4 GiB; the library knows the real sizes of the current entry.
    if (m_hArchive != nullptr) {
        int64_t llSize = 0;
        if (m_pfnGetOriginalSizeEx != nullptr && m_pfnGetOriginalSizeEx(m_hArchive, &llSize) != 0) {
            pstArchiveFile->nOriginalSize = llSize;
        }
        if (m_pfnGetCompressedSizeEx != nullptr &&
            m_pfnGetCompressedSizeEx(m_hArchive, &llSize) != 0) {
            pstArchiveFile->nCompressedSize = llSize;
        }
    }

    const char* pszName = reinterpret_cast<const char*>(p + KESTREL_INFO_FILENAME);
    const size_t nLength = strnlen(pszName, KESTREL_INFO_FILENAME_SIZE);
    std::wstring& strPath = pstArchiveFile->strFullPath;
    strPath.assign(1, L'/');
    bool bCut = false;
    if (nLength < kMayBeCut) {
        AppendWide(&strPath, pszName, nLength);
    } else if (ReadFullName()) {
        AppendWide(&strPath, m_strFullName.data(), m_strFullName.size());
    } else {
        AppendWide(&strPath, pszName, nLength);
        strPath += kCutMark;
        bCut = true;
    }
    AdjustFilePath(pstArchiveFile);
    if (bCut) m_setCutName.insert(strPath);
}

bool CArchive_CommonArchiver::ReadFullName() {
    if (m_pfnGetFileName == nullptr || m_hArchive == nullptr) return false;
    m_strFullName.resize(4096);
    int nResult = m_pfnGetFileName(m_hArchive, m_strFullName.data(),
                                   static_cast<uint32_t>(m_strFullName.size()));
    if (nResult > 0 && static_cast<size_t>(nResult) <= kLongestName + 1) {
        m_strFullName.resize(static_cast<size_t>(nResult));
        nResult = m_pfnGetFileName(m_hArchive, m_strFullName.data(),
                                   static_cast<uint32_t>(m_strFullName.size()));
    }
    if (nResult != 0) return false;
    m_strFullName.resize(strnlen(m_strFullName.data(), m_strFullName.size()));
    return m_strFullName.size() <= kLongestName;
}

std::vector<std::wstring> CArchive_CommonArchiver::ResponseFolders() const {
    std::vector<std::wstring> vstrFolder;
    wchar_t szFolder[kResponseNameCapacity];
    // An installed program's folder is no place for scratch files, writable or not; nor is a
    // folder whose mode says no writing, which root could write all the same.
    if (!IsInstalledCopy() && GetModuleFolder(szFolder, kResponseNameCapacity) > 0) {
        struct stat st {};
        if (stat(ToAnsi(szFolder).c_str(), &st) != 0 || (st.st_mode & 0222) != 0)
            vstrFolder.emplace_back(szFolder);
    }
    std::wstring strTemp = GetTempFolder();
    if (vstrFolder.empty() || vstrFolder.front() != strTemp) vstrFolder.push_back(strTemp);
    return vstrFolder;
}

// What one command tells the observer: the names it reports turned into archive paths, and
// the entries the engine left out counted with the rest.
struct CArchive_CommonArchiver::COMMAND_CONTEXT {
    CArchive_CommonArchiver* pcThis;
    uint64_t nLeftOut;
    std::string strLastName;  // the plug-in's name behind stProgress.strPath
    EXTRACT_PROGRESS stProgress;
};

std::wstring CArchive_CommonArchiver::ArchivePath(const char* c_pszName) {
    if (c_pszName == nullptr || *c_pszName == '\0') return std::wstring();
    ARCHIVE_FILE stFile;
    stFile.strFullPath.assign(1, L'/');
    AppendWide(&stFile.strFullPath, c_pszName, std::strlen(c_pszName));
    AdjustFilePath(&stFile);
    return stFile.strFullPath;
}

int CArchive_CommonArchiver::OnProgress(void* pvContext, const KESTREL_PROGRESS* pst) {
    auto* pc = static_cast<COMMAND_CONTEXT*>(pvContext);
    IExtractObserver* pcObserver = pc->pcThis->m_pcObserver;
    if (pcObserver == nullptr || pst == nullptr) return 0;
    EXTRACT_PROGRESS& st = pc->stProgress;
    st.nEntriesDone = pst->nEntriesDone + pc->nLeftOut;
    st.nEntriesTotal = pst->nEntriesTotal + pc->nLeftOut;
    st.llBytesDone = pst->llBytesDone;
    st.llBytesTotal = pst->llBytesTotal;
    // Told many times for one entry: converted once.
    const char* c_pszName = pst->pszName != nullptr ? pst->pszName : "";
    if (pc->strLastName != c_pszName) {
        pc->strLastName = c_pszName;
        st.strPath = pc->pcThis->ArchivePath(c_pszName);
    }
    return pcObserver->Progress(st) ? 0 : 1;
}

void CArchive_CommonArchiver::OnProblem(void* pvContext, uint32_t nReason, int nErrno,
                                        const char* pszName) {
    auto* pc = static_cast<COMMAND_CONTEXT*>(pvContext);
    IExtractObserver* pcObserver = pc->pcThis->m_pcObserver;
    if (pcObserver == nullptr) return;
    pcObserver->Problem(EXTRACT_PROBLEM{nReason, nErrno, pc->pcThis->ArchivePath(pszName)});
}

int CArchive_CommonArchiver::OnPassword(void* pvContext, uint32_t nAttempt, char* pszBuffer,
                                        uint32_t nSize) {
    CArchive_CommonArchiver* pcThis = static_cast<COMMAND_CONTEXT*>(pvContext)->pcThis;
    if (pszBuffer == nullptr || nSize == 0) return 0;
    // Asked again: the password given last did not open the entry.
    if (nAttempt > 0) {
        pcThis->m_password.Clear();
        pcThis->m_bPassword = false;
    }
    if (!pcThis->m_bPassword) {
        if (pcThis->m_pcObserver == nullptr ||
            !pcThis->m_pcObserver->Password(nAttempt > 0, &pcThis->m_password)) {
            pcThis->m_password.Clear();
            return 0;
        }
        pcThis->m_bPassword = true;
    }
    if (pcThis->m_password.size() >= nSize) {
        pcThis->m_password.Clear();
        pcThis->m_bPassword = false;
        return 0;
    }
    std::memcpy(pszBuffer, pcThis->m_password.c_str(), pcThis->m_password.size() + 1);
    return 1;
}

int CArchive_CommonArchiver::RunCommand(const std::string& c_strCommandLine, char* pszOutput,
                                        uint32_t c_nSize, uint64_t c_nLeftOut) {
    if (m_pfnCommandEx == nullptr) {
        return m_pfnCommand != nullptr
                   ? m_pfnCommand(m_hWnd, c_strCommandLine.c_str(), pszOutput, c_nSize)
                   : -1;
    }
    COMMAND_CONTEXT stContext{this, c_nLeftOut, std::string(), EXTRACT_PROGRESS()};
    KESTREL_COMMAND_CALLBACKS stCallbacks{};
    stCallbacks.nSize = sizeof stCallbacks;
    stCallbacks.pvContext = &stContext;
    // Progress has a cost (the plug-in first adds up the sizes): asked for only when watched.
    if (m_pcObserver != nullptr) {
        stCallbacks.pfnProgress = &OnProgress;
        stCallbacks.pfnProblem = &OnProblem;
    }
    // A kept password serves even with nobody to ask.
    stCallbacks.pfnPassword = &OnPassword;
    return m_pfnCommandEx(m_hWnd, c_strCommandLine.c_str(), pszOutput, c_nSize, &stCallbacks);
}

int32_t CArchive_CommonArchiver::Extract(const std::vector<std::wstring>& c_vstrExtractFiles,
                                         const std::wstring& c_strThawDirectory,
                                         EXT_MODE c_eExtractMode) {
    m_strLastMessage.clear();
    // A line break cannot travel in a response line, and a cut name would match another entry
    // or none: such names are never handed over. The rest is still extracted, and the request
    // fails with the names left out.
    std::vector<std::wstring> vstrSendable;
    std::wstring strLeftOut;
    uint64_t nLeftOut = 0;
    vstrSendable.reserve(c_vstrExtractFiles.size());
    for (const std::wstring& c_strPath : c_vstrExtractFiles) {
        const bool bCut = m_setCutName.count(c_strPath) != 0;
        if (!CanBeWrittenAsLine(c_strPath) || bCut) {
            if (strLeftOut.empty()) strLeftOut = L"取り出せない名前の項目があります:";
            strLeftOut += L"\n" + VisibleText(c_strPath);
            ++nLeftOut;
            if (m_pcObserver != nullptr) {
                m_pcObserver->Problem(EXTRACT_PROBLEM{bCut ? uint32_t{KESTREL_REASON_NAME_TOO_LONG}
                                                           : uint32_t{KESTREL_REASON_REFUSED_NAME},
                                                      0, c_strPath});
            }
        } else {
            vstrSendable.push_back(c_strPath);
        }
    }
    if (vstrSendable.empty() && !strLeftOut.empty()) {
        m_strLastMessage = strLeftOut;
        return -1;
    }
    // Created exclusively: an existing file or link under the name is never followed or
    // truncated. Any other failure moves on to the next folder.
    int nFd = -1;
    std::wstring strResponse;
    for (const std::wstring& c_strFolder : ResponseFolders()) {
        for (int nTry = 0; nFd < 0 && nTry < 16; ++nTry) {
            wchar_t szName[kResponseNameCapacity];
            if (MakeUniqueFileName(c_strFolder.c_str(), L"kr_response_", L".tmp", szName,
                                   kResponseNameCapacity) == 0) {
                break;
            }
            nFd = open(ToAnsi(szName).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       0600);
            if (nFd >= 0) {
                strResponse = szName;
            } else if (errno != EEXIST) {
                break;
            }
        }
        if (nFd >= 0) break;
    }
    if (nFd < 0) {
        m_strLastMessage = L"応答ファイルを作成できません";
        return -2;
    }
    const std::string strResponseAnsi = ToAnsi(strResponse);
    std::FILE* pFile = fdopen(nFd, "wb");
    if (pFile == nullptr) {
        close(nFd);
        unlink(strResponseAnsi.c_str());
        m_strLastMessage = L"応答ファイルを作成できません";
        return -2;
    }

    const std::string strArchive = ToAnsi(m_strFileName);
    const std::string strDirectory = ToAnsi(c_strThawDirectory);
    for (const std::wstring& c_strPath : vstrSendable) WriteResponse(pFile, c_strPath);
    bool bWritten = std::ferror(pFile) == 0;
    if (std::fclose(pFile) != 0) bWritten = false;
    if (!bWritten) {
        // A short response file would extract less than was asked.
        unlink(strResponseAnsi.c_str());
        m_strLastMessage = L"応答ファイルを書き込めません";
        return -2;
    }

    std::string strCommandLine;
    MakeCommandLine(&strCommandLine, strArchive, strDirectory, strResponseAnsi, c_eExtractMode);

    if (m_hArchive != nullptr) {
        if (m_pfnCloseArchive != nullptr) m_pfnCloseArchive(m_hArchive);
        m_hArchive = nullptr;
    }
    char szOutput[kCommandOutputSize] = {};
    const int nResult = RunCommand(strCommandLine, szOutput, kCommandOutputSize, nLeftOut);
    szOutput[kCommandOutputSize - 1] = '\0';
    if (nResult != 0) m_strLastMessage = ToWide(szOutput);
    unlink(strResponseAnsi.c_str());
    if (nResult == KESTREL_RESULT_CANCELLED && m_pfnCommandEx != nullptr) return -3;
    if (!strLeftOut.empty()) {
        m_strLastMessage += (m_strLastMessage.empty() ? L"" : L"\n") + strLeftOut;
        return -1;
    }
    return nResult == 0 ? static_cast<int32_t>(c_vstrExtractFiles.size()) : -1;
}

}  // namespace shelf
