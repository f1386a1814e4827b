// The one archive object the application holds: it registers the formats whose plug-in
// loaded and hands each archive to the format named by its file extension.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "CArchive_Selecter.h"

namespace shelf {

class CArchive_Unify : public CArchive_Selecter {
public:
    enum : uint32_t { FORMAT_LHA = 0x1, FORMAT_ZIP = 0x2, FORMAT_7ZIP = 0x8 };

    // A mask of 0 means every format.
    explicit CArchive_Unify(uint32_t c_dwFormatMask = 0);
    ~CArchive_Unify() override;

    int32_t ClassInitialize() override;
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

    std::wstring GetLastMessage() const override;
    // Of the format chosen by the last Create or Open.
    uint32_t GetOpenReason() const override;

    // Every extension (lower case, with its dot) that chooses the format whose main extension
    // (strExt of its property) is c_strExt, the main one first: ".lha" is LHA as ".lzh" is.
    // Empty for an extension no format has.
    static std::vector<std::wstring> GetExtensions(const std::wstring& c_strExt);

    virtual NArchive::CA_RESULT CreateByType(void* hWnd, const std::wstring& c_strFileName,
                                             const std::wstring& c_strType);
    virtual NArchive::CA_RESULT OpenByType(void* hWnd, const std::wstring& c_strFileName,
                                           const std::wstring& c_strType);

private:
    // The format type of a path by its extension; empty when none.
    std::wstring GetArchiveType(const std::wstring& c_strFileName) const;

    std::map<std::wstring, std::wstring> m_mapExtType;
    std::map<std::wstring, std::wstring> m_mapTypeKey;
    uint32_t m_dwFormatMask;
    CArchive* m_pcActiveArchive = nullptr;
};

}  // namespace shelf
