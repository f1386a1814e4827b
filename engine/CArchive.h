// The abstract archive object. Every archiver binding, format selecter and the unified archive
// implement it. Failures are reported only as codes: CA_RESULT, 0/1 flags or negative counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ExtractObserver.h"
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
    // Number of paths handed to the archiver on success; negative on failure: -1 the archiver
    // failed (or some entries were not extracted), -2 no response file could be written, -3
    // the observer cancelled. With EXT_TEST in the mode the entries are decoded and checked,
    // nothing is written, and the destination plays no part.
    virtual int32_t Extract(const std::vector<std::wstring>& c_vstrExtractFiles,
                            const std::wstring& c_strThawDirectory,
                            NArchive::EXT_MODE c_eExtractMode) = 0;
    // What the archiver said about the last Extract that failed; empty when nothing was said. A
    // log in English: what a user is shown comes from the observer's problems (ReasonText).
    virtual std::wstring GetLastMessage() const { return {}; }
    // Told about the extractions that follow (null: nobody). Not owned; it must outlive them.
    virtual void SetExtractObserver(IExtractObserver* pcObserver) { m_pcObserver = pcObserver; }
    // Why the last Create or Open failed: a KESTREL_REASON_* code, 0 when unknown.
    virtual uint32_t GetOpenReason() const { return 0; }

protected:
    int32_t m_bReady = 0;
    NArchive::ARCHIVE_PROPERTY m_stProperty;
    IExtractObserver* m_pcObserver = nullptr;
};

}  // namespace shelf
