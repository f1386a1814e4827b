// What the fuzz targets share with each other and with their replay test: the plug-ins'
// exports, one scratch folder per process, the command lines the engine builds, and the checks
// that an extraction left nothing outside its sandbox.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Entry.h"
#include "common_archiver_api.h"

namespace kestrel_fuzz {

using kestrel::archiver::Format;

// A promise of the code under test was broken. Under libFuzzer this aborts, so the input is
// kept; the replay test installs a handler that turns it into a test failure.
[[noreturn]] void Violation(const std::string& c_strWhat);
using ViolationHandler = void (*)(const std::string&);
void SetViolationHandler(ViolationHandler pfnHandler);

#define FUZZ_CHECK(cond, what)                                                      \
    do {                                                                            \
        if (!(cond)) ::kestrel_fuzz::Violation(std::string(what) + " (" #cond ")"); \
    } while (0)

// One plug-in's exports, linked in directly.
struct Plugin {
    Format eFormat;
    const char* pszExtension;  // with the dot
    char cSeparator;           // between folders in reported names
    PFN_ARCHIVER_COMMAND Command;
    PFN_ARCHIVER_OPEN_ARCHIVE OpenArchive;
    PFN_ARCHIVER_CLOSE_ARCHIVE CloseArchive;
    PFN_ARCHIVER_FIND_FIRST FindFirst;
    PFN_ARCHIVER_FIND_NEXT FindNext;
    PFN_ARCHIVER_GET_SIZE32 GetArcFileSize;
    PFN_ARCHIVER_GET_SIZE64 GetArcFileSizeEx;
    PFN_ARCHIVER_GET_SIZE64 GetArcOriginalSizeEx;
    PFN_ARCHIVER_GET_SIZE64 GetArcCompressedSizeEx;
    PFN_ARCHIVER_GET_SIZE32 GetArcReadSize;
    PFN_ARCHIVER_GET_SIZE64 GetArcReadSizeEx;
    PFN_ARCHIVER_GET_SIZE64 GetOriginalSizeEx;
    PFN_ARCHIVER_GET_SIZE64 GetCompressedSizeEx;
    PFN_ARCHIVER_GET_FILE_NAME GetFileName;
};
const Plugin& PluginFor(Format eFormat);

// The process's scratch folder (removed at exit). Extractions go to <root>/a/b/sandbox, so
// that a name climbing one or two levels lands in the scratch folder where it is seen;
// canary files wait at every level.
class Scratch {
public:
    static Scratch& Get();
    const std::string& Root() const { return m_strRoot; }
    const std::string& Sandbox() const { return m_strSandbox; }
    std::string operator/(const std::string& c_strName) const {
        return m_strRoot + "/" + c_strName;
    }
    // Removes everything inside the sandbox; the folder itself stays (it may be the current one).
    void EmptySandbox() const;

private:
    Scratch();
    std::string m_strRoot;
    std::string m_strSandbox;
};

// Everything under c_strRoot except the subtree c_strExcluded: kind, size, mode, time, content
// or link target, by relative path.
using TreeState = std::map<std::string, std::string>;
TreeState Snapshot(const std::string& c_strRoot, const std::string& c_strExcluded);
// Names what differs, or "" when nothing does.
std::string Difference(const TreeState& c_before, const TreeState& c_after);

// What an extraction may leave in its destination: no link that resolves (through other
// links, at any depth) outside of it, no second name of a file (hard link), no temporary
// file of the plug-in's own.
void CheckSandboxContents(const std::string& c_strSandbox);

void WriteBytes(const std::string& c_strPath, const void* pvData, size_t nSize);
std::string ReadBytes(const std::string& c_strPath);

// Names as listed by the plug-in, at most c_nMax of them; empty when the archive does not open.
std::vector<std::string> ListNames(const Plugin& c_plugin, const std::string& c_strArchive,
                                   size_t c_nMax);

// The extraction command line and response-file line exactly as the engine builds them for a
// mode (bit 0x10 keep paths; low nibble 0x02 overwrite, 0x04 keep; 0x40/0x80 query).
std::string EngineCommandLine(Format eFormat, const std::string& c_strArchive,
                              const std::string& c_strDestination, const std::string& c_strResponse,
                              uint32_t nMode);
// c_strName as listed (the engine's path is "/" + name, 7-Zip "\" turned into "/").
std::string EngineResponseLine(Format eFormat, const std::string& c_strName);

// Absolute, or a ".." component between the format's separators.
bool ClimbsOut(const std::string& c_strName, char cSeparator);

// Caps what one input may make the process write, so that decompression bombs fail with a
// write error instead of filling the disk.
void LimitFileSizes();

}  // namespace kestrel_fuzz
