// The abstract archive object. Every archiver binding, format selecter and the unified archive
// implement it. Failures are reported only as codes: CA_RESULT, 0/1 flags or negative counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NArchive.h"

namespace shelf {

class CArchive {
public:
    CArchive() = default;
    virtual ~CArchive() = default;
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    virtual int32_t ClassInitialize() = 0;
    virtual void ClassUninitialize() = 0;
    virtual int32_t Initialize() { return 1; }
    virtual int32_t Uninitialize() { return 1; }
    virtual int32_t Ready() { return m_bReady; }
    virtual NArchive::CA_RESULT Create(void* hWnd, const std::wstring& c_strFileName) = 0;
    virtual NArchive::CA_RESULT Open(void* hWnd, const std::wstring& c_strFileName) = 0;
    virtual int32_t Close() = 0;
    virtual int32_t Property(NArchive::ARCHIVE_PROPERTY* pstProperty);
    virtual NArchive::CA_RESULT FindFirst(const std::wstring& c_strWildName,
                                          NArchive::ARCHIVE_FILE* pstArchiveFile) = 0;
    virtual NArchive::CA_RESULT FindNext(NArchive::ARCHIVE_FILE* pstArchiveFile) = 0;
    virtual int32_t FindEnd() = 0;
    virtual int32_t FindProgress() = 0;
    virtual int64_t GetArchiveFileSize() = 0;
    // Number of paths handed to the archiver on success, negative on failure.
    virtual int32_t Extract(const std::vector<std::wstring>& c_vstrExtractFiles,
                            const std::wstring& c_strThawDirectory,
                            NArchive::EXT_MODE c_eExtractMode) = 0;
    // What the archiver said about the last Extract that failed; empty when nothing was said.
    virtual std::wstring GetLastMessage() const { return {}; }

protected:
    int32_t m_bReady = 0;
    NArchive::ARCHIVE_PROPERTY m_stProperty;
};

}  // namespace shelf
