// What every test shares: fixtures, scratch folders that go away however deep the trees in them
// are, environment changes that undo themselves, programs run with a time limit, and snapshots
// of folder trees that show what changed.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::test {

namespace fs = std::filesystem;

std::string DataPath(const std::string& c_strName);  // a fixture of tests/data
std::string BinPath(const std::string& c_strName);   // a program or library of the build
// The folder where tests/data/make-fixtures --big has written its archives, made on first use.
const fs::path& BigArchives();

std::string ReadFile(const fs::path& c_path);
void WriteFile(const fs::path& c_path, const std::string& c_strContent);
std::vector<std::string> Lines(const std::string& c_str);
// Deletes a file or a folder with everything in it, never following a link, at any depth.
void RemoveTree(const fs::path& c_path);

class Scratch {
public:
    Scratch();
    ~Scratch() { RemoveTree(m_path); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const fs::path& Path() const { return m_path; }
    std::string operator/(const std::string& c_strName) const { return m_path / c_strName; }

private:
    fs::path m_path;
};

// Sets (or with nullopt unsets) a variable while it lives.
class EnvScope {
public:
    EnvScope(const char* c_pszName, const std::optional<std::string>& c_strValue);
    ~EnvScope();
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    std::string m_strName;
    std::optional<std::string> m_strOld;
};

struct RunOptions {
    double dTimeout = 60;                   // seconds; only catches hangs
    std::vector<std::string> vstrEnv = {};  // "NAME=VALUE" set, "NAME" unset
    long long llFileSizeLimit = -1;         // RLIMIT_FSIZE, with SIGXFSZ ignored
    bool bTerminal = false;                 // stderr is a pseudo-terminal
    std::string strInterruptAt = {};        // SIGINT once stderr (a terminal) shows this text
};
struct RunResult {
    int nExit = -1;  // -1 when the program did not exit by itself
    int nSignal = 0;
    bool bTimedOut = false;
    std::string strOut;
    std::string strErr;
};
RunResult Run(const std::vector<std::string>& c_vstrArgs, const RunOptions& c_opt = {});
RunResult RunCli(const std::vector<std::string>& c_vstrArgs, const RunOptions& c_opt = {});

// Every item below c_root except the excluded folders: kind, mode, size, content, link target.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const fs::path& c_root, const std::vector<fs::path>& c_vExcluded = {});
// What was added, removed or changed, one line each; "" when nothing.
std::string Difference(const Snapshot& c_before, const Snapshot& c_after);
// Every item below c_folder, relative, folders ending in "/", sorted.
std::vector<std::string> ListTree(const fs::path& c_folder);
// Links below c_folder that lead out of it once every link on the way has been followed.
std::vector<std::string> LinksLeadingOut(const fs::path& c_folder);

// One extraction's sandbox: dest/ and the allowed folders sit beside files and a folder that
// must stay as they are, two levels below the scratch root so that climbing names stay in view.
class Sandbox {
public:
    explicit Sandbox(std::vector<std::string> vstrAllowed = {});
    fs::path Dest() const { return Folder("dest"); }
    fs::path Folder(const std::string& c_strName) const {
        return m_scratch.Path() / "parent/sandbox" / c_strName;
    }
    // What changed outside dest/ and the allowed folders since construction, "" when nothing.
    std::string Verify() const;

private:
    std::vector<fs::path> Excluded() const;
    Scratch m_scratch;
    std::vector<std::string> m_vstrAllowed;
    Snapshot m_before;
};

}  // namespace kestrel::test
