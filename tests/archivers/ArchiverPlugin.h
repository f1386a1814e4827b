// Test access to the archiver plug-ins through their exports, as the engine loads them, and
// the command lines and response files the engine builds for each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/EngineLines.h"
#include "common_archiver_api.h"

namespace kestrel_test {

using Kind = kestrel::test::Archiver;

struct Listed {
    std::string strName;      // from the record
    std::string strFullName;  // from GetFileName
    uint32_t nOriginal = 0, nCompressed = 0;
    uint16_t nRatio = 0, nDate = 0, nTime = 0;
    int64_t llOriginal = 0, llCompressed = 0;
    bool bZeroTail = true;  // every byte after the name is zero
};

class ArchiverPlugin {
public:
    explicit ArchiverPlugin(Kind eKind);
    ~ArchiverPlugin();
    ArchiverPlugin(const ArchiverPlugin&) = delete;
    ArchiverPlugin& operator=(const ArchiverPlugin&) = delete;

    bool Loaded() const { return m_pvLib != nullptr; }
    Kind GetKind() const { return m_eKind; }
    std::string Prefix() const;

    PFN_ARCHIVER_COMMAND Command = nullptr;
    PFN_ARCHIVER_OPEN_ARCHIVE OpenArchive = nullptr;
    PFN_ARCHIVER_CLOSE_ARCHIVE CloseArchive = nullptr;
    PFN_ARCHIVER_FIND_FIRST FindFirst = nullptr;
    PFN_ARCHIVER_FIND_NEXT FindNext = nullptr;
    PFN_ARCHIVER_GET_SIZE32 GetArcFileSize = nullptr;
    PFN_ARCHIVER_GET_SIZE64 GetArcFileSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE64 GetArcOriginalSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE64 GetArcCompressedSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE32 GetArcReadSize = nullptr;
    PFN_ARCHIVER_GET_SIZE64 GetArcReadSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE64 GetOriginalSizeEx = nullptr;
    PFN_ARCHIVER_GET_SIZE64 GetCompressedSizeEx = nullptr;
    PFN_ARCHIVER_GET_FILE_NAME GetFileName = nullptr;

    // Every entry matching the wildcard; *pbOpened false when OpenArchive failed.
    std::vector<Listed> List(const std::string& c_strArchive, const char* c_pszWildcard = "*",
                             bool* pbOpened = nullptr) const;

    // The switch part and whole command line the engine builds for an extraction mode.
    std::string CommandLine(const std::string& c_strArchive, const std::string& c_strDest,
                            const std::string& c_strResponse, uint32_t c_nMode) const;
    // One response-file line for an entry path beginning with "/", CR LF ended.
    std::string ResponseLine(const std::string& c_strEntryPath) const;

    struct Result {
        int nCode = -1;
        std::string strOutput;
    };
    // Writes the response file for the entry paths and runs the command.
    Result Extract(const std::string& c_strArchive, const std::string& c_strDest,
                   const std::vector<std::string>& c_vEntryPaths, uint32_t c_nMode,
                   const std::string& c_strScratch) const;
    Result Run(const std::string& c_strCommandLine) const;

private:
    Kind m_eKind;
    void* m_pvLib = nullptr;
};

std::string DataPath(const std::string& c_strName);
std::string ReadFile(const std::string& c_strPath);
void WriteFile(const std::string& c_strPath, const std::string& c_strData);

// A fresh empty folder, removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& Path() const { return m_strPath; }
    std::string operator/(const std::string& c_strName) const {
        return m_strPath + "/" + c_strName;
    }

private:
    std::string m_strPath;
};

// Sets TZ for the test's duration and restores it.
class ZoneScope {
public:
    explicit ZoneScope(const char* c_pszZone);
    ~ZoneScope();

private:
    bool m_bHad = false;
    std::string m_strOld;
};

}  // namespace kestrel_test
