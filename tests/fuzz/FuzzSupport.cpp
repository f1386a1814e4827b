#include "FuzzSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "common/EngineLines.h"

extern "C" {
// The three export sets, linked into the fuzzer rather than loaded, so that coverage reaches
// the implementation behind them.
#define KESTREL_DECLARE_EXPORTS(PREFIX)                      \
    int PREFIX(void*, const char*, char*, uint32_t);         \
    void* PREFIX##OpenArchive(void*, const char*, uint32_t); \
    int PREFIX##CloseArchive(void*);                         \
    int PREFIX##FindFirst(void*, const char*, void*);        \
    int PREFIX##FindNext(void*, void*);                      \
    uint32_t PREFIX##GetArcFileSize(void*);                  \
    int PREFIX##GetArcFileSizeEx(void*, int64_t*);           \
    int PREFIX##GetArcOriginalSizeEx(void*, int64_t*);       \
    int PREFIX##GetArcCompressedSizeEx(void*, int64_t*);     \
    uint32_t PREFIX##GetArcReadSize(void*);                  \
    int PREFIX##GetArcReadSizeEx(void*, int64_t*);           \
    int PREFIX##GetOriginalSizeEx(void*, int64_t*);          \
    int PREFIX##GetCompressedSizeEx(void*, int64_t*);        \
    int PREFIX##GetFileName(void*, char*, uint32_t);
KESTREL_DECLARE_EXPORTS(Unlha)
KESTREL_DECLARE_EXPORTS(UnZip)
KESTREL_DECLARE_EXPORTS(SevenZip)
}

namespace kestrel_fuzz {

namespace {

[[noreturn]] void AbortOnViolation(const std::string& c_strWhat) {
    std::fprintf(stderr, "\n*** broken promise: %s\n", c_strWhat.c_str());
    std::fflush(stderr);
    std::abort();
}

ViolationHandler g_pfnHandler = nullptr;

#define KESTREL_PLUGIN(FORMAT, EXT, SEP, PREFIX)                                                  \
    Plugin {                                                                                      \
        FORMAT, EXT, SEP, PREFIX, PREFIX##OpenArchive, PREFIX##CloseArchive, PREFIX##FindFirst,   \
            PREFIX##FindNext, PREFIX##GetArcFileSize, PREFIX##GetArcFileSizeEx,                   \
            PREFIX##GetArcOriginalSizeEx, PREFIX##GetArcCompressedSizeEx, PREFIX##GetArcReadSize, \
            PREFIX##GetArcReadSizeEx, PREFIX##GetOriginalSizeEx, PREFIX##GetCompressedSizeEx,     \
            PREFIX##GetFileName                                                                   \
    }

const Plugin kPlugins[] = {
    KESTREL_PLUGIN(Format::Lha, ".lzh", '/', Unlha),
    KESTREL_PLUGIN(Format::Zip, ".zip", '/', UnZip),
    KESTREL_PLUGIN(Format::SevenZip, ".7z", '\\', SevenZip),
};

struct Fd {
    int n;
    explicit Fd(int fd) : n(fd) {}
    ~Fd() {
        if (n >= 0) close(n);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

std::vector<std::string> Names(int dirFd) {
    std::vector<std::string> names;
    int copy = dup(dirFd);
    if (copy < 0) return names;
    DIR* d = fdopendir(copy);
    if (!d) {
        close(copy);
        return names;
    }
    rewinddir(d);
    while (struct dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    closedir(d);
    return names;
}

// Empties a folder without following links and without one descriptor per level, so that
// trees deeper than the descriptor limit or PATH_MAX go too.
void EmptyFolder(const std::string& c_strPath) {
    int fd = open(c_strPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    std::vector<std::string> path;  // below c_strPath
    for (;;) {
        std::string child;
        for (const std::string& name : Names(fd)) {
            struct stat st {};
            if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                if (child.empty()) child = name;
            } else {
                unlinkat(fd, name.c_str(), 0);
            }
        }
        if (!child.empty()) {
            fchmodat(fd, child.c_str(), 0700, 0);
            int sub = openat(fd, child.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                close(fd);
                fd = sub;
                path.push_back(child);
                continue;
            }
            unlinkat(fd, child.c_str(), AT_REMOVEDIR);
            continue;
        }
        if (path.empty()) break;
        int parent = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        if (parent < 0) return;
        fd = parent;
        if (unlinkat(fd, path.back().c_str(), AT_REMOVEDIR) != 0) {
            // Cannot go: give up rather than loop.
            close(fd);
            return;
        }
        path.pop_back();
    }
    close(fd);
}

void RemoveTree(const std::string& c_strPath) {
    EmptyFolder(c_strPath);
    rmdir(c_strPath.c_str());
}

std::vector<std::string> Components(const std::string& c_strPath) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= c_strPath.size()) {
        size_t slash = c_strPath.find('/', pos);
        if (slash == std::string::npos) slash = c_strPath.size();
        if (slash > pos) parts.push_back(c_strPath.substr(pos, slash - pos));
        pos = slash + 1;
    }
    return parts;
}

std::string Join(const std::vector<std::string>& c_vParts, size_t c_nCount) {
    std::string s;
    for (size_t i = 0; i < c_nCount; ++i) s += "/" + c_vParts[i];
    return s.empty() ? "/" : s;
}

// Where a link leads, following every link on the way as the kernel would; parts that do not
// exist are taken as written. False when it cannot be told (a loop, a path too long).
bool ResolveLink(const std::string& c_strLinkPath, std::vector<std::string>* pvResult) {
    std::vector<std::string> current = Components(c_strLinkPath);
    current.pop_back();  // the link's own folder
    std::vector<std::string> todo;
    int links = 0;
    auto pushTarget = [&](const std::string& c_strTarget) {
        if (!c_strTarget.empty() && c_strTarget[0] == '/') current.clear();
        std::vector<std::string> parts = Components(c_strTarget);
        todo.insert(todo.begin(), parts.begin(), parts.end());
    };
    auto readLink = [&](const std::string& c_strPath, std::string* pstrTarget) {
        char buf[8192];
        ssize_t n = readlink(c_strPath.c_str(), buf, sizeof(buf));
        if (n < 0) return false;
        pstrTarget->assign(buf, static_cast<size_t>(n));
        return true;
    };
    std::string target;
    if (!readLink(c_strLinkPath, &target)) return false;
    pushTarget(target);
    while (!todo.empty()) {
        std::string part = todo.front();
        todo.erase(todo.begin());
        if (part == ".") continue;
        if (part == "..") {
            if (!current.empty()) current.pop_back();
            continue;
        }
        current.push_back(part);
        std::string path = Join(current, current.size());
        if (path.size() >= 4000) return false;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (++links > 40 || !readLink(path, &target)) return false;
            current.pop_back();
            pushTarget(target);
        }
    }
    *pvResult = current;
    return true;
}

void CheckFolder(int dirFd, const std::string& c_strPath, const std::vector<std::string>& c_vRoot,
                 int depth) {
    if (depth > 200) return;  // deeper trees are still removed, just not inspected
    for (const std::string& name : Names(dirFd)) {
        std::string path = c_strPath + "/" + name;
        FUZZ_CHECK(!(name.rfind(".kestrel-", 0) == 0 && name.size() > 5 &&
                     name.compare(name.size() - 5, 5, ".part") == 0),
                   "a temporary file was left behind: " + path);
        struct stat st {};
        if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            std::vector<std::string> resolved;
            if (path.size() < 4000 && ResolveLink(path, &resolved)) {
                bool inside = resolved.size() >= c_vRoot.size() &&
                              std::equal(c_vRoot.begin(), c_vRoot.end(), resolved.begin());
                FUZZ_CHECK(inside, "link " + path + " leads out of the destination, to " +
                                       Join(resolved, resolved.size()));
            }
        } else if (S_ISREG(st.st_mode)) {
            FUZZ_CHECK(st.st_nlink == 1, "a second name of a file: " + path);
        } else if (S_ISDIR(st.st_mode)) {
            Fd sub(openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub.n >= 0) CheckFolder(sub.n, path, c_vRoot, depth + 1);
        } else {
            Violation("a device, pipe or socket was created: " + path);
        }
    }
}

void SnapshotInto(const std::string& c_strRoot, const std::string& c_strRelative,
                  const std::string& c_strExcluded, int depth, TreeState* pState) {
    std::string dir = c_strRoot + c_strRelative;
    Fd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.n < 0) return;
    for (const std::string& name : Names(fd.n)) {
        std::string rel = c_strRelative + "/" + name;
        std::string full = c_strRoot + rel;
        if (full == c_strExcluded) continue;
        struct stat st {};
        if (fstatat(fd.n, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        std::string v = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                        std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_nlink);
        if (S_ISREG(st.st_mode)) {
            v += " " + std::to_string(std::hash<std::string>()(ReadBytes(full)));
        } else if (S_ISLNK(st.st_mode)) {
            char buf[4096];
            ssize_t n = readlinkat(fd.n, name.c_str(), buf, sizeof(buf));
            if (n > 0) v += " -> " + std::string(buf, static_cast<size_t>(n));
        }
        (*pState)[rel] = v;
        if (S_ISDIR(st.st_mode) && depth < 32) {
            SnapshotInto(c_strRoot, rel, c_strExcluded, depth + 1, pState);
        }
    }
}

}  // namespace

void Violation(const std::string& c_strWhat) {
    if (g_pfnHandler) g_pfnHandler(c_strWhat);
    AbortOnViolation(c_strWhat);
}

void SetViolationHandler(ViolationHandler pfnHandler) {
    g_pfnHandler = pfnHandler;
}

const Plugin& PluginFor(Format eFormat) {
    for (const Plugin& p : kPlugins) {
        if (p.eFormat == eFormat) return p;
    }
    return kPlugins[0];
}

Scratch& Scratch::Get() {
    static Scratch s_scratch;
    return s_scratch;
}

Scratch::Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrel-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    char* real = realpath(buf.data(), nullptr);
    m_strRoot = real ? real : buf.data();
    std::free(real);
    m_strSandbox = m_strRoot + "/a/b/sandbox";
    for (const char* dir : {"/a", "/a/b", "/a/b/sandbox"}) mkdir((m_strRoot + dir).c_str(), 0700);
    for (const char* canary : {"/canary", "/a/canary", "/a/b/canary"}) {
        WriteBytes(m_strRoot + canary, "canary\n", 7);
    }
    // Removed at exit, whichever way the process ends normally.
    static std::string s_strRoot = m_strRoot;
    std::atexit([] { RemoveTree(s_strRoot); });
}

void Scratch::EmptySandbox() const {
    EmptyFolder(m_strSandbox);
    mkdir(m_strSandbox.c_str(), 0700);
}

TreeState Snapshot(const std::string& c_strRoot, const std::string& c_strExcluded) {
    TreeState state;
    SnapshotInto(c_strRoot, "", c_strExcluded, 0, &state);
    return state;
}

std::string Difference(const TreeState& c_before, const TreeState& c_after) {
    for (const auto& [name, value] : c_after) {
        auto it = c_before.find(name);
        if (it == c_before.end()) return "appeared: " + name;
        if (it->second != value) return "changed: " + name;
    }
    for (const auto& [name, value] : c_before) {
        if (!c_after.count(name)) return "vanished: " + name;
    }
    return {};
}

void CheckSandboxContents(const std::string& c_strSandbox) {
    Fd fd(open(c_strSandbox.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    FUZZ_CHECK(fd.n >= 0, "the destination folder is gone or replaced: " + c_strSandbox);
    CheckFolder(fd.n, c_strSandbox, Components(c_strSandbox), 0);
}

void WriteBytes(const std::string& c_strPath, const void* pvData, size_t nSize) {
    FILE* f = std::fopen(c_strPath.c_str(), "wb");
    if (!f) {
        std::perror(c_strPath.c_str());
        std::abort();
    }
    if (nSize > 0 && std::fwrite(pvData, 1, nSize, f) != nSize) std::abort();
    std::fclose(f);
}

std::string ReadBytes(const std::string& c_strPath) {
    std::string out;
    FILE* f = std::fopen(c_strPath.c_str(), "rb");
    if (!f) return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

std::vector<std::string> ListNames(const Plugin& p, const std::string& c_strArchive,
                                   size_t c_nMax) {
    std::vector<std::string> names;
    void* h = p.OpenArchive(nullptr, c_strArchive.c_str(), KESTREL_OPEN_MODE);
    if (!h) return names;
    std::vector<uint8_t> rec(KESTREL_INDIVIDUALINFO_SIZE);
    for (int r = p.FindFirst(h, "*", rec.data()); r == 0 && names.size() < c_nMax;
         r = p.FindNext(h, rec.data())) {
        int need = p.GetFileName(h, nullptr, 0);
        std::string name;
        if (need > 0) {
            std::vector<char> buf(static_cast<size_t>(need));
            if (p.GetFileName(h, buf.data(), static_cast<uint32_t>(need)) == 0) name = buf.data();
        }
        names.push_back(name);
    }
    p.CloseArchive(h);
    return names;
}

namespace {

kestrel::test::Archiver ArchiverOf(Format eFormat) {
    switch (eFormat) {
        case Format::Lha:
            return kestrel::test::Archiver::Lha;
        case Format::Zip:
            return kestrel::test::Archiver::Zip;
        case Format::SevenZip:
            break;
    }
    return kestrel::test::Archiver::SevenZip;
}

}  // namespace

std::string EngineCommandLine(Format eFormat, const std::string& c_strArchive,
                              const std::string& c_strDestination, const std::string& c_strResponse,
                              uint32_t nMode) {
    return kestrel::test::EngineCommandLine(ArchiverOf(eFormat), c_strArchive, c_strDestination,
                                            c_strResponse, nMode);
}

std::string EngineResponseLine(Format eFormat, const std::string& c_strName) {
    // The engine keeps "/" + name, the 7-Zip "" turned into "/"; its driver turns it back.
    std::string strPath = "/" + c_strName;
    if (eFormat == Format::SevenZip) std::replace(strPath.begin(), strPath.end(), '\\', '/');
    return kestrel::test::EngineResponseLine(ArchiverOf(eFormat), strPath);
}

bool ClimbsOut(const std::string& c_strName, char cSeparator) {
    if (c_strName.empty()) return false;
    if (c_strName[0] == '/' || c_strName[0] == cSeparator) return true;
    size_t pos = 0;
    while (pos <= c_strName.size()) {
        size_t end = c_strName.find(cSeparator, pos);
        if (end == std::string::npos) end = c_strName.size();
        if (c_strName.compare(pos, end - pos, "..") == 0 && end - pos == 2) return true;
        pos = end + 1;
    }
    return false;
}

void LimitFileSizes() {
    static bool s_bDone = false;
    if (s_bDone) return;
    s_bDone = true;
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl {};
    getrlimit(RLIMIT_FSIZE, &rl);
    rlim_t cap = 64u << 20;
    if (rl.rlim_max == RLIM_INFINITY || rl.rlim_max > cap) {
        rl.rlim_cur = cap;
        setrlimit(RLIMIT_FSIZE, &rl);
    }
}

}  // namespace kestrel_fuzz
