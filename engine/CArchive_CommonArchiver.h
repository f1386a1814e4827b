// Binds the archive interface to one archiver plug-in with the common C interface
// (common_archiver_api.h): open on demand, enumeration into ARCHIVE_FILE records, progress,
// sizes, and extraction through a response file and one command line. A missing plug-in
// function is a null entry point; each operation then fails with its own code. Where the
// plug-in has CommandEx, extraction tells the observer how far it is, what was not extracted
// and why, and asks it for passwords; a password that opened entries is kept for the archive
// (asked again only when it does not open one) and wiped on Close and destruction.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "CArchive.h"
#include "Secret.h"
#include "common_archiver_api.h"

namespace shelf {

class CArchive_CommonArchiver : public CArchive {
public:
    CArchive_CommonArchiver();
    ~CArchive_CommonArchiver() override;

    // ClassInitialize stays pure: the drivers load their own plug-in.
    void ClassUninitialize() override;
    NArchive::CA_RESULT Create(void* hWnd, const std::wstring& c_strFileName) override;
    NArchive::CA_RESULT Open(void* hWnd, const std::wstring& c_strFileName) override;
    int32_t Close() override;
    NArchive::CA_RESULT FindFirst(const std::wstring& c_strWildName,
                                  NArchive::ARCHIVE_FILE* pstArchiveFile) override;
    NArchive::CA_RESULT FindNext(NArchive::ARCHIVE_FILE* pstArchiveFile) override;
    int32_t FindEnd() override;
    int32_t FindProgress() override;
    int64_t GetArchiveFileSize() override;
    int32_t Extract(const std::vector<std::wstring>& c_vstrExtractFiles,
                    const std::wstring& c_strThawDirectory,
                    NArchive::EXT_MODE c_eExtractMode) override;
    std::wstring GetLastMessage() const override { return m_strLastMessage; }
    uint32_t GetOpenReason() const override { return m_nOpenReason; }

    // Thin wrappers: open on demand, then the plug-in function; 0 (value untouched) when either
    // is missing.
    virtual uint32_t GetArcFileSize();
    virtual int32_t GetArcFileSizeEx(int64_t* pllSize);
    virtual int32_t GetOriginalSizeEx(int64_t* pllSize);
    virtual int32_t GetArcOriginalSizeEx(int64_t* pllSize);
    virtual uint32_t GetArcReadSize();
    virtual int32_t GetArcReadSizeEx(int64_t* pllSize);
    virtual int32_t GetCompressedSizeEx(int64_t* pllSize);
    virtual int32_t GetArcCompressedSizeEx(int64_t* pllSize);

    // 1 when the plug-in loaded. The base resolves nothing; the drivers resolve the thirteen.
    virtual int32_t LoadArchiver(const std::wstring& c_strDllName);
    // One response-file line for one entry path (path begins with "/").
    virtual void WriteResponse(std::FILE* pFile, const std::wstring& c_strFilePath);
    virtual void MakeCommandLine(std::string* pstrCommandLine, const std::string& c_strArchive,
                                 const std::string& c_strDirectory,
                                 const std::string& c_strResponse, NArchive::EXT_MODE c_eMode);
    virtual void ConvertFileInfo(NArchive::ARCHIVE_FILE* pstArchiveFile, const void* c_pvInfo);
    virtual void AdjustFilePath(NArchive::ARCHIVE_FILE* pstArchiveFile);

protected:
    // Resolves the thirteen functions (and the optional GetFileName) as prefix + suffix; missing
    // ones stay null.
    int32_t LoadArchiverWithPrefix(const std::wstring& c_strDllName, const char* c_pszPrefix);
    bool OpenOnDemand();
    // Folders tried in turn for the response file: the executable's (not for an installed copy),
    // then the temporary one.
    virtual std::vector<std::wstring> ResponseFolders() const;

    void* m_hModule = nullptr;
    HARC m_hArchive = nullptr;
    void* m_hWnd = nullptr;
    std::wstring m_strFileName;
    std::wstring m_strLastMessage;  // of the last Extract

    PFN_ARCHIVER_COMMAND m_pfnCommand = nullptr;
    PFN_ARCHIVER_OPEN_ARCHIVE m_pfnOpenArchive = nullptr;
    PFN_ARCHIVER_CLOSE_ARCHIVE m_pfnCloseArchive = nullptr;
    PFN_ARCHIVER_FIND_FIRST m_pfnFindFirst = nullptr;
    PFN_ARCHIVER_FIND_NEXT m_pfnFindNext = nullptr;
    PFN_ARCHIVER_GET_SIZE32 m_pfnGetArcFileSize = nullptr;
    PFN_ARCHIVER_GET_SIZE64 m_pfnGetArcFileSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE64 m_pfnGetArcOriginalSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE64 m_pfnGetArcCompressedSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE32 m_pfnGetArcReadSize = nullptr;
    PFN_ARCHIVER_GET_SIZE64 m_pfnGetArcReadSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE64 m_pfnGetOriginalSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE64 m_pfnGetCompressedSizeEx = nullptr;
    PFN_ARCHIVER_GET_FILE_NAME m_pfnGetFileName = nullptr;
    PFN_ARCHIVER_COMMAND_EX m_pfnCommandEx = nullptr;
    PFN_ARCHIVER_OPEN_ARCHIVE_EX m_pfnOpenArchiveEx = nullptr;

private:
    struct COMMAND_CONTEXT;
    static int OnProgress(void* pvContext, const KESTREL_PROGRESS* pstProgress);
    static void OnProblem(void* pvContext, uint32_t nReason, int nErrno, const char* pszName);
    static int OnPassword(void* pvContext, uint32_t nAttempt, char* pszBuffer, uint32_t nSize);
    // The archive path of a name as the plug-in reports it.
    std::wstring ArchivePath(const char* c_pszName);
    int RunCommand(const std::string& c_strCommandLine, char* pszOutput, uint32_t c_nSize,
                   uint64_t c_nLeftOut);

    void ReleaseArchiver();
    // The whole name of the current entry through GetFileName, into m_strFullName.
    bool ReadFullName();

    // Paths of entries whose name the record may have cut and that no GetFileName could give in
    // full: listed with a mark, never handed to the plug-in for extraction.
    std::unordered_set<std::wstring> m_setCutName;
    std::string m_strFullName;  // reused buffer for GetFileName
    uint32_t m_nOpenReason = 0;
    kestrel::Secret m_password;  // the last password given for this archive
    bool m_bPassword = false;
};

}  // namespace shelf
