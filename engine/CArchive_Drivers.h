// The three archiver drivers: which plug-in, how it describes itself, how one response-file
// line and the extraction command line are written for it.
#pragma once

#include "CArchive_CommonArchiver.h"

namespace shelf {

class CArchive_7Zip_7Zip32 : public CArchive_CommonArchiver {
public:
    CArchive_7Zip_7Zip32();
    ~CArchive_7Zip_7Zip32() override;
    int32_t ClassInitialize() override;
    int32_t LoadArchiver(const std::wstring& c_strDllName) override;
    void WriteResponse(std::FILE* pFile, const std::wstring& c_strFilePath) override;
    void MakeCommandLine(std::string* pstrCommandLine, const std::string& c_strArchive,
                         const std::string& c_strDirectory, const std::string& c_strResponse,
                         NArchive::EXT_MODE c_eMode) override;
    void AdjustFilePath(NArchive::ARCHIVE_FILE* pstArchiveFile) override;
};

class CArchive_Lha_Unlha32 : public CArchive_CommonArchiver {
public:
    CArchive_Lha_Unlha32();
    ~CArchive_Lha_Unlha32() override;
    int32_t ClassInitialize() override;
    int32_t LoadArchiver(const std::wstring& c_strDllName) override;
    void WriteResponse(std::FILE* pFile, const std::wstring& c_strFilePath) override;
    void MakeCommandLine(std::string* pstrCommandLine, const std::string& c_strArchive,
                         const std::string& c_strDirectory, const std::string& c_strResponse,
                         NArchive::EXT_MODE c_eMode) override;
};

class CArchive_Zip_UnZip32 : public CArchive_CommonArchiver {
public:
    CArchive_Zip_UnZip32();
    ~CArchive_Zip_UnZip32() override;
    int32_t ClassInitialize() override;
    int32_t LoadArchiver(const std::wstring& c_strDllName) override;
    void WriteResponse(std::FILE* pFile, const std::wstring& c_strFilePath) override;
    void MakeCommandLine(std::string* pstrCommandLine, const std::string& c_strArchive,
                         const std::string& c_strDirectory, const std::string& c_strResponse,
                         NArchive::EXT_MODE c_eMode) override;
};

}  // namespace shelf
