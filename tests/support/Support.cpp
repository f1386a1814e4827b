#include "support/Support.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

namespace kestrel::test {

namespace {

std::string Env(const char* c_pszName, const std::string& c_strDefault) {
    const char* psz = std::getenv(c_pszName);
    return psz != nullptr && *psz != '\0' ? psz : c_strDefault;
}

}  // namespace

std::string DataPath(const std::string& c_strName) {
    return Env("KESTREL_TEST_DATA", KESTREL_SOURCE_DIR "/tests/data") + "/" + c_strName;
}

std::string BinPath(const std::string& c_strName) {
    return Env("KESTREL_BIN", KESTREL_BINARY_DIR "/bin") + "/" + c_strName;
}

const fs::path& BigArchives() {
    static Scratch s_scratch;
    static const bool s_bMade = [] {
        RunOptions opt;
        opt.dTimeout = 300;
        const RunResult st = Run(
            {"python3", KESTREL_SOURCE_DIR "/tests/data/make-fixtures", "--big", s_scratch.Path()},
            opt);
        if (st.nExit != 0) throw std::runtime_error("make-fixtures --big failed: " + st.strErr);
        return true;
    }();
    (void)s_bMade;
    return s_scratch.Path();
}

std::string ReadFile(const fs::path& c_path) {
    std::ifstream in(c_path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const fs::path& c_path, const std::string& c_strContent) {
    std::ofstream(c_path, std::ios::binary | std::ios::trunc) << c_strContent;
}

std::vector<std::string> Lines(const std::string& c_str) {
    std::vector<std::string> v;
    std::istringstream in(c_str);
    for (std::string str; std::getline(in, str);) v.push_back(str);
    return v;
}

// GNU rm walks folders by descriptor, so no tree is too deep for it; write permission first.
void RemoveTree(const fs::path& c_path) {
    Run({"sh", "-c", "chmod -R u+rwx -- \"$0\" 2>/dev/null; rm -rf -- \"$0\"", c_path.string()});
}

Scratch::Scratch() {
    std::string strTemplate = (fs::temp_directory_path() / "kestrel-test-XXXXXX").string();
    if (mkdtemp(strTemplate.data()) == nullptr) throw std::runtime_error("mkdtemp");
    m_path = fs::canonical(strTemplate);
}

EnvScope::EnvScope(const char* c_pszName, const std::optional<std::string>& c_strValue)
    : m_strName(c_pszName) {
    if (const char* psz = std::getenv(c_pszName)) m_strOld = psz;
    if (c_strValue) {
        setenv(c_pszName, c_strValue->c_str(), 1);
    } else {
        unsetenv(c_pszName);
    }
    tzset();
}

EnvScope::~EnvScope() {
    if (m_strOld) {
        setenv(m_strName.c_str(), m_strOld->c_str(), 1);
    } else {
        unsetenv(m_strName.c_str());
    }
    tzset();
}

namespace {

// What is left to read from a descriptor, from its start when it is a file.
std::string Drain(int nFd) {
    std::string str;
    lseek(nFd, 0, SEEK_SET);
    char sz[65536];
    for (ssize_t n; (n = read(nFd, sz, sizeof sz)) > 0;) str.append(sz, static_cast<size_t>(n));
    return str;
}

}  // namespace

RunResult Run(const std::vector<std::string>& c_vstrArgs, const RunOptions& c_opt) {
    RunResult st;
    const int nOut = memfd_create("out", MFD_CLOEXEC), nErr = memfd_create("err", MFD_CLOEXEC);
    int nMaster = -1, nTerminal = -1;
    if (c_opt.bTerminal && openpty(&nMaster, &nTerminal, nullptr, nullptr, nullptr) != 0) return st;
    std::vector<std::string> vstr = c_vstrArgs;
    std::vector<char*> vpsz;
    for (std::string& s : vstr) vpsz.push_back(s.data());
    vpsz.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(nOut, STDOUT_FILENO);
        dup2(c_opt.bTerminal ? nTerminal : nErr, STDERR_FILENO);
        for (const std::string& c_str : c_opt.vstrEnv) {
            const size_t nEq = c_str.find('=');
            if (nEq == std::string::npos)
                unsetenv(c_str.c_str());
            else
                setenv(c_str.substr(0, nEq).c_str(), c_str.c_str() + nEq + 1, 1);
        }
        if (c_opt.llFileSizeLimit >= 0) {
            const rlimit stLimit{static_cast<rlim_t>(c_opt.llFileSizeLimit),
                                 static_cast<rlim_t>(c_opt.llFileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &stLimit);
        }
        execvp(vpsz[0], vpsz.data());
        _exit(127);
    }
    if (nTerminal >= 0) close(nTerminal);
    if (nMaster >= 0) fcntl(nMaster, F_SETFL, O_NONBLOCK);
    const auto start = std::chrono::steady_clock::now();
    int nStatus = 0;
    bool bInterrupted = false;
    while (waitpid(pid, &nStatus, WNOHANG) == 0) {
        if (nMaster >= 0) st.strErr += Drain(nMaster);
        if (!bInterrupted && !c_opt.strInterruptAt.empty() &&
            st.strErr.find(c_opt.strInterruptAt) != std::string::npos) {
            bInterrupted = kill(pid, SIGINT) == 0;
        }
        if (std::chrono::steady_clock::now() - start >
            std::chrono::duration<double>(c_opt.dTimeout)) {
            st.bTimedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &nStatus, 0);
            break;
        }
        usleep(2000);
    }
    if (WIFEXITED(nStatus) && !st.bTimedOut) st.nExit = WEXITSTATUS(nStatus);
    if (WIFSIGNALED(nStatus)) st.nSignal = WTERMSIG(nStatus);
    st.strOut = Drain(nOut);
    st.strErr += nMaster >= 0 ? Drain(nMaster) : Drain(nErr);
    for (int nFd : {nOut, nErr, nMaster}) {
        if (nFd >= 0) close(nFd);
    }
    return st;
}

RunResult RunCli(const std::vector<std::string>& c_vstrArgs, const RunOptions& c_opt) {
    std::vector<std::string> vstr{BinPath("kestrel-cli")};
    vstr.insert(vstr.end(), c_vstrArgs.begin(), c_vstrArgs.end());
    return Run(vstr, c_opt);
}

Snapshot TakeSnapshot(const fs::path& c_root, const std::vector<fs::path>& c_vExcluded) {
    Snapshot snapshot;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(c_root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& c_path = it->path();
        bool bExcluded = false;
        for (const fs::path& c_excluded : c_vExcluded) bExcluded |= c_path == c_excluded;
        if (bExcluded) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat s {};
        lstat(c_path.c_str(), &s);
        std::string strWhat = "mode " + std::to_string(s.st_mode) + " ";
        if (S_ISLNK(s.st_mode)) {
            strWhat += "link -> " + fs::read_symlink(c_path, ec).string();
        } else if (S_ISREG(s.st_mode)) {
            const std::string strContent = ReadFile(c_path);
            strWhat += std::to_string(strContent.size()) + " bytes, hash " +
                       std::to_string(std::hash<std::string>()(strContent));
        }
        snapshot[c_path.lexically_relative(c_root).string()] = strWhat;
    }
    if (ec) snapshot["(error)"] = ec.message();
    return snapshot;
}

std::string Difference(const Snapshot& c_before, const Snapshot& c_after) {
    std::string str;
    for (const auto& [c_strPath, c_strWhat] : c_after) {
        auto it = c_before.find(c_strPath);
        if (it == c_before.end()) {
            str += "added " + c_strPath + " (" + c_strWhat + ")\n";
        } else if (it->second != c_strWhat) {
            str += "changed " + c_strPath + ": " + it->second + " -> " + c_strWhat + "\n";
        }
    }
    for (const auto& [c_strPath, c_strWhat] : c_before) {
        if (c_after.count(c_strPath) == 0) str += "removed " + c_strPath + "\n";
    }
    return str;
}

std::vector<std::string> ListTree(const fs::path& c_folder) {
    std::vector<std::string> vstr;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(c_folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string str = it->path().lexically_relative(c_folder).string();
        if (it->is_directory(ec) && !it->is_symlink(ec)) str += "/";
        vstr.push_back(str);
    }
    std::sort(vstr.begin(), vstr.end());
    return vstr;
}

namespace {

// Where a link leads once it and every link after it has been followed, whether or not the end
// exists (a dangling link still points somewhere).
fs::path FollowLinks(fs::path path, std::error_code& ec) {
    for (int i = 0; i < 40; ++i) {
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return fs::weakly_canonical(path, ec);
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
        const fs::path parent = fs::weakly_canonical(path.parent_path(), ec);
        if (ec) return path;
        path = (parent / path.filename()).lexically_normal();
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return path;
}

}  // namespace

std::vector<std::string> LinksLeadingOut(const fs::path& c_folder) {
    std::vector<std::string> vstr;
    std::error_code ec;
    const std::string strFolder = fs::canonical(c_folder, ec).string();
    if (ec) return {"cannot resolve " + c_folder.string()};
    for (auto it = fs::recursive_directory_iterator(strFolder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec)) continue;
        std::error_code ecLink;
        const std::string strTo = FollowLinks(it->path(), ecLink).string();
        // A loop leads nowhere: the system refuses to follow it, from here or from anywhere.
        if (ecLink == std::errc::too_many_symbolic_link_levels) continue;
        if (ecLink || (strTo != strFolder && strTo.rfind(strFolder + "/", 0) != 0)) {
            vstr.push_back(it->path().lexically_relative(strFolder).string() + " -> " +
                           (ecLink ? ecLink.message() : strTo));
        }
    }
    if (ec) vstr.push_back("walk: " + ec.message());
    return vstr;
}

Sandbox::Sandbox(std::vector<std::string> vstrAllowed) : m_vstrAllowed(std::move(vstrAllowed)) {
    fs::create_directories(Folder("sibling"));
    fs::create_directories(Dest());
    for (const std::string& c_str : m_vstrAllowed) fs::create_directories(Folder(c_str));
    WriteFile(m_scratch.Path() / "parent/outside.txt", "precious\n");
    WriteFile(Folder("outside.txt"), "precious\n");
    WriteFile(Folder("sibling/keep.txt"), "keep\n");
    m_before = TakeSnapshot(m_scratch.Path(), Excluded());
}

std::vector<fs::path> Sandbox::Excluded() const {
    std::vector<fs::path> v{Dest()};
    for (const std::string& c_str : m_vstrAllowed) v.push_back(Folder(c_str));
    return v;
}

std::string Sandbox::Verify() const {
    return Difference(m_before, TakeSnapshot(m_scratch.Path(), Excluded()));
}

}  // namespace kestrel::test
