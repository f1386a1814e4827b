#include "HostileSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

namespace kestrel::hostile {

namespace {

std::string Env(const char* c_pszName, const char* c_pszDefault) {
    const char* psz = std::getenv(c_pszName);
    return psz != nullptr ? psz : c_pszDefault;
}

}  // namespace

std::string DataPath(const std::string& c_strName) {
    return Env("KESTREL_TEST_DATA", KESTREL_DATA_DIR) + "/" + c_strName;
}

const fs::path& BigArchives() {
    static Scratch s_scratch;
    static const bool s_bMade = [] {
        const RunResult st =
            Run({"python3", KESTREL_HOSTILE_DIR "/make-big-archives", s_scratch.Path()}, 120);
        if (st.nExit != 0) throw std::runtime_error("make-big-archives failed: " + st.strErr);
        return true;
    }();
    (void)s_bMade;
    return s_scratch.Path();
}

RunResult Run(const std::vector<std::string>& c_vstrArgs, double c_dTimeout) {
    RunResult st;
    int anOut[2], anErr[2];
    if (pipe2(anOut, O_CLOEXEC) != 0 || pipe2(anErr, O_CLOEXEC) != 0) return st;
    std::vector<std::string> vstr = c_vstrArgs;
    std::vector<char*> vpsz;
    for (std::string& s : vstr) vpsz.push_back(s.data());
    vpsz.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(anOut[1], STDOUT_FILENO);
        dup2(anErr[1], STDERR_FILENO);
        execvp(vpsz[0], vpsz.data());
        _exit(127);
    }
    close(anOut[1]);
    close(anErr[1]);
    // Both pipes are drained while the program runs: a long listing must not block it.
    pollfd aFd[2] = {{anOut[0], POLLIN, 0}, {anErr[0], POLLIN, 0}};
    std::string* apstr[2] = {&st.strOut, &st.strErr};
    int nOpen = 2;
    while (nOpen > 0) {
        const double dLeft =
            c_dTimeout -
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (dLeft <= 0) {
            st.bTimedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(aFd, 2, static_cast<int>(dLeft * 1000) + 1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (aFd[i].fd < 0 || aFd[i].revents == 0) continue;
            char sz[65536];
            const ssize_t n = read(aFd[i].fd, sz, sizeof sz);
            if (n > 0) {
                apstr[i]->append(sz, static_cast<size_t>(n));
            } else {
                close(aFd[i].fd);
                aFd[i].fd = -1;
                --nOpen;
            }
        }
    }
    for (const pollfd& c_fd : aFd) {
        if (c_fd.fd >= 0) close(c_fd.fd);
    }
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    st.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(nStatus)) st.nExit = WEXITSTATUS(nStatus);
    if (WIFSIGNALED(nStatus)) st.nSignal = WTERMSIG(nStatus);
    return st;
}

RunResult RunCli(const std::vector<std::string>& c_vstrArgs, double c_dTimeout) {
    std::vector<std::string> vstr{Env("KESTREL_BIN", ".") + "/kestrel-cli"};
    vstr.insert(vstr.end(), c_vstrArgs.begin(), c_vstrArgs.end());
    return Run(vstr, c_dTimeout);
}

// Folders are emptied by moving what they hold up into the top folder, so no path ever gets
// long and no more than two folders are open at a time.
void RemoveTree(const fs::path& c_path) {
    const int nTop = open(c_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (nTop < 0) {
        unlink(c_path.c_str());
        return;
    }
    unsigned long nCounter = 0;
    for (bool bProgress = true; bProgress;) {
        bProgress = false;
        DIR* pDir = fdopendir(fcntl(nTop, F_DUPFD_CLOEXEC, 0));
        if (pDir == nullptr) break;
        rewinddir(pDir);
        std::vector<std::string> vstrName;
        while (const dirent* p = readdir(pDir)) {
            if (std::strcmp(p->d_name, ".") != 0 && std::strcmp(p->d_name, "..") != 0)
                vstrName.emplace_back(p->d_name);
        }
        closedir(pDir);
        for (const std::string& c_strName : vstrName) {
            if (unlinkat(nTop, c_strName.c_str(), 0) == 0) {
                bProgress = true;
                continue;
            }
            const int nChild =
                openat(nTop, c_strName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (nChild < 0) continue;
            fchmod(nChild, 0700);
            DIR* pChild = fdopendir(nChild);
            while (const dirent* p = pChild != nullptr ? readdir(pChild) : nullptr) {
                if (std::strcmp(p->d_name, ".") == 0 || std::strcmp(p->d_name, "..") == 0) continue;
                for (;;) {
                    const std::string strUp = "up" + std::to_string(++nCounter);
                    if (renameat2(nChild, p->d_name, nTop, strUp.c_str(), RENAME_NOREPLACE) == 0) {
                        bProgress = true;
                        break;
                    }
                    if (errno != EEXIST) break;
                }
            }
            if (pChild != nullptr) closedir(pChild);
            if (unlinkat(nTop, c_strName.c_str(), AT_REMOVEDIR) == 0) bProgress = true;
        }
    }
    close(nTop);
    rmdir(c_path.c_str());
}

Scratch::Scratch() {
    std::string strTemplate = (fs::temp_directory_path() / "kestrel-hostile-XXXXXX").string();
    if (mkdtemp(strTemplate.data()) == nullptr) throw std::runtime_error("mkdtemp");
    m_path = fs::canonical(strTemplate);
}

Scratch::~Scratch() {
    RemoveTree(m_path);
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
        std::string strWhat;
        const fs::file_status status = it->symlink_status(ec);
        if (fs::is_symlink(status)) {
            strWhat = "link -> " + fs::read_symlink(c_path, ec).string();
        } else if (fs::is_directory(status)) {
            strWhat = "folder";
        } else if (fs::is_regular_file(status)) {
            const std::string strContent = ReadFile(c_path);
            strWhat = "file of " + std::to_string(strContent.size()) + " bytes, hash " +
                      std::to_string(std::hash<std::string>()(strContent));
        } else {
            strWhat = "special";
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

namespace {

// Where a link leads once it and every link after it has been followed, whether or not the end
// exists (a dangling link still points somewhere).
fs::path FollowLinks(fs::path path, std::error_code& ec) {
    for (int i = 0; i < 40; ++i) {
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return fs::weakly_canonical(path, ec);
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
        // The folders on the way may be links themselves.
        path = (fs::weakly_canonical(path.parent_path(), ec) / path.filename()).lexically_normal();
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return path;
}

}  // namespace

std::vector<std::string> LinksLeadingOut(const fs::path& c_folder) {
    std::vector<std::string> vstr;
    std::error_code ec;
    const fs::path folder = fs::canonical(c_folder, ec);
    if (ec) return {"cannot resolve " + c_folder.string()};
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec)) continue;
        std::error_code ecLink;
        const fs::path resolved = FollowLinks(it->path(), ecLink);
        const std::string strResolved = resolved.string();
        const std::string strFolder = folder.string();
        if (ecLink || (strResolved != strFolder && strResolved.rfind(strFolder + "/", 0) != 0)) {
            vstr.push_back(it->path().lexically_relative(folder).string() + " -> " +
                           (ecLink ? ecLink.message() : strResolved));
        }
    }
    if (ec) vstr.push_back("walk: " + ec.message());
    return vstr;
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

std::string ReadFile(const fs::path& c_path) {
    std::ifstream in(c_path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const fs::path& c_path, const std::string& c_strContent) {
    std::ofstream(c_path, std::ios::binary | std::ios::trunc) << c_strContent;
}

Sandbox::Sandbox(std::vector<std::string> vstrAllowed) : m_vstrAllowed(std::move(vstrAllowed)) {
    fs::create_directories(m_scratch / "parent/sandbox/sibling");
    fs::create_directories(Dest());
    for (const std::string& c_str : m_vstrAllowed) fs::create_directories(Folder(c_str));
    WriteFile(m_scratch / "parent/outside.txt", "precious\n");
    WriteFile(m_scratch / "parent/sandbox/outside.txt", "precious\n");
    WriteFile(m_scratch / "parent/sandbox/sibling/keep.txt", "keep\n");
    Mark();
}

std::vector<fs::path> Sandbox::Excluded() const {
    std::vector<fs::path> v{Dest()};
    for (const std::string& c_str : m_vstrAllowed) v.push_back(Folder(c_str));
    return v;
}

void Sandbox::Mark() {
    m_before = TakeSnapshot(m_scratch.Path(), Excluded());
}

std::string Sandbox::Verify() const {
    return Difference(m_before, TakeSnapshot(m_scratch.Path(), Excluded()));
}

}  // namespace kestrel::hostile
