// Helpers of the hostile-archive tests: a program run with a time limit, scratch folders that go
// away however deep the trees extracted into them are, and snapshots that show whether anything
// appeared outside the folders a command may write to.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kestrel::hostile {

namespace fs = std::filesystem;

// A fixture archive of tests/data.
std::string DataPath(const std::string& c_strName);
// The folder where tests/hostile/make-big-archives has written its archives, made on first use
// and removed at exit.
const fs::path& BigArchives();

struct RunResult {
    int nExit = -1;  // -1 when the program did not exit by itself
    int nSignal = 0;
    bool bTimedOut = false;
    std::string strOut;
    std::string strErr;
    double dSeconds = 0;
};
// Runs a program (killed after c_dTimeout seconds) and collects its output.
RunResult Run(const std::vector<std::string>& c_vstrArgs, double c_dTimeout);
RunResult RunCli(const std::vector<std::string>& c_vstrArgs, double c_dTimeout = 20);

// Deletes a file or a folder with everything in it, never following a link, at any depth.
void RemoveTree(const fs::path& c_path);

class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const fs::path& Path() const { return m_path; }
    fs::path operator/(const std::string& c_strName) const { return m_path / c_strName; }

private:
    fs::path m_path;
};

// Every item below c_root except the excluded folders: its kind, size, content and link target.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const fs::path& c_root, const std::vector<fs::path>& c_vExcluded = {});
// What was added, removed or changed between two snapshots, one line each.
std::string Difference(const Snapshot& c_before, const Snapshot& c_after);

// Links below c_folder that lead out of it, after every link on the way has been followed.
std::vector<std::string> LinksLeadingOut(const fs::path& c_folder);
// Every item below c_folder, relative, folders ending in "/", in sorted order.
std::vector<std::string> ListTree(const fs::path& c_folder);

std::string ReadFile(const fs::path& c_path);
void WriteFile(const fs::path& c_path, const std::string& c_strContent);

// A sandbox for one extraction: sandbox/ holds a sentinel file and folder beside dest/, and sits
// two folders below the scratch root, so that links climbing two levels from dest stay in view.
// Verify() reports anything that changed outside dest/ (and the extra folders allowed).
class Sandbox {
public:
    explicit Sandbox(std::vector<std::string> vstrAllowed = {});
    fs::path Dest() const { return m_scratch / "parent/sandbox/dest"; }
    fs::path Folder(const std::string& c_strName) const {
        return m_scratch / "parent/sandbox" / c_strName;
    }
    const fs::path& Root() const { return m_scratch.Path(); }
    // Takes the snapshot again: what Verify compares with.
    void Mark();
    std::string Verify() const;

private:
    std::vector<fs::path> Excluded() const;

    Scratch m_scratch;
    std::vector<std::string> m_vstrAllowed;
    Snapshot m_before;
};

}  // namespace kestrel::hostile
