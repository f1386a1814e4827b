#include "SafeDestination.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "common_archiver_api.h"

namespace kestrel::archiver {

Failure FailureOf(int nErrno, const char* c_pszWhat) {
    Failure st;
    st.nErrno = nErrno;
    switch (nErrno) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            st.nReason = KESTREL_REASON_NO_SPACE;
            break;
        case ENAMETOOLONG:
            st.nReason = KESTREL_REASON_NAME_TOO_LONG;
            break;
        case ENOTDIR:
        case EISDIR:
            st.nReason = KESTREL_REASON_IN_THE_WAY;
            break;
        default:
            st.nReason = KESTREL_REASON_WRITE_ERROR;
            break;
    }
    st.strText = c_pszWhat ? std::string(c_pszWhat) + ": " : std::string();
    st.strText += std::strerror(nErrno);
    return st;
}

Failure Because(uint32_t nReason, const char* c_pszText) {
    Failure st;
    st.nReason = nReason;
    st.strText = c_pszText;
    return st;
}

namespace {

class FileSink : public DataSink {
public:
    explicit FileSink(int fd) : m_fd(fd) {}
    bool Write(const void* pv, size_t n) override {
        const char* p = static_cast<const char*>(pv);
        while (n > 0) {
            ssize_t w = write(m_fd, p, n);
            if (w < 0) {
                if (errno == EINTR) continue;
                m_nError = errno;
                return false;
            }
            p += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }
    int Error() const { return m_nError; }

private:
    int m_fd;
    int m_nError = 0;
};

}  // namespace

bool SafeDestination::Open(const std::string& c_strPath, Failure* pstError) {
    std::string path = c_strPath.empty() ? std::string(".") : c_strPath;
    // Create each missing folder of the path in turn (mkdir -p).
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string prefix = path.substr(0, i);
            if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
                *pstError =
                    FailureOf(errno, ("Cannot create the destination folder " + path).c_str());
                return false;
            }
        }
    }
    m_root = UniqueFd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_root.Valid()) {
        *pstError = FailureOf(errno, ("Cannot open the destination folder " + path).c_str());
        return false;
    }
    return true;
}

SafeDestination SafeDestination::Share() const {
    SafeDestination other(m_bOverwrite);
    other.m_pMade = m_pMade;
    other.m_root = UniqueFd(fcntl(m_root.Get(), F_DUPFD_CLOEXEC, 0));
    return other;
}

int SafeDestination::OpenParent(const std::vector<std::string>& c, size_t depth,
                                WriteOutcome* peOutcome, Failure* pstWhy) {
    // Entries come folder by folder: the folder of the last one is usually the one wanted.
    // It was opened below the destination without following links, and no entry can replace
    // a folder, so reusing it is as safe as walking down again.
    if (m_folder.Valid() && m_vFolderPath.size() == depth &&
        std::equal(m_vFolderPath.begin(), m_vFolderPath.end(), c.begin())) {
        return m_folder.Get();
    }
    m_folder = UniqueFd();
    m_vFolderPath.clear();
    UniqueFd dir(fcntl(m_root.Get(), F_DUPFD_CLOEXEC, 0));
    for (size_t i = 0; i < depth && dir.Valid(); ++i) {
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        UniqueFd next(openat(dir.Get(), c[i].c_str(), flags));
        if (!next.Valid() && errno == ENOENT) {
            if (mkdirat(dir.Get(), c[i].c_str(), 0777) == 0) {
                std::string key;
                for (size_t k = 0; k <= i; ++k) key += (k ? "/" : "") + c[k];
                std::lock_guard<std::mutex> lock(m_pMade->mutex);
                m_pMade->paths.insert(std::move(key));
            } else if (errno != EEXIST) {
                *peOutcome = WriteOutcome::Failed;
                *pstWhy = FailureOf(errno, "cannot create folder");
                return -1;
            }
            next = UniqueFd(openat(dir.Get(), c[i].c_str(), flags));
        }
        if (!next.Valid()) {
            int err = errno;
            struct stat st {};
            if (fstatat(dir.Get(), c[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode)) {
                *peOutcome = WriteOutcome::Refused;
                *pstWhy = Because(KESTREL_REASON_LINK_OUTSIDE, "its folder is a link");
            } else {
                *peOutcome = WriteOutcome::Failed;
                *pstWhy = err == ENOTDIR ? Because(KESTREL_REASON_IN_THE_WAY,
                                                   "a file is in the way of its folder")
                                         : FailureOf(err);
            }
            return -1;
        }
        dir = std::move(next);
    }
    if (!dir.Valid()) {
        *peOutcome = WriteOutcome::Failed;
        *pstWhy = FailureOf(errno);
        return -1;
    }
    m_folder = std::move(dir);
    m_vFolderPath.assign(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(depth));
    return m_folder.Get();
}

std::string SafeDestination::TemporaryName() {
    // Shared by every writer of the process: two threads never pick the same name.
    static std::atomic<unsigned> s_nCounter{0};
    return ".kestrel-" + std::to_string(getpid()) + "-" + std::to_string(++s_nCounter) + ".part";
}

WriteOutcome SafeDestination::Publish(int dirFd, const std::string& tmp, const std::string& leaf,
                                      Failure* pstWhy) {
    if (m_bOverwrite) {
        if (renameat(dirFd, tmp.c_str(), dirFd, leaf.c_str()) == 0) return WriteOutcome::Written;
    } else {
        if (renameat2(dirFd, tmp.c_str(), dirFd, leaf.c_str(), RENAME_NOREPLACE) == 0) {
            return WriteOutcome::Written;
        }
        if (errno == EINVAL || errno == ENOSYS) {
            // Filesystems without RENAME_NOREPLACE: a hard link fails just as well on a name
            // that exists.
            if (linkat(dirFd, tmp.c_str(), dirFd, leaf.c_str(), 0) == 0) {
                unlinkat(dirFd, tmp.c_str(), 0);
                return WriteOutcome::Written;
            }
        }
        if (errno == EEXIST) {
            unlinkat(dirFd, tmp.c_str(), 0);
            return WriteOutcome::Kept;
        }
    }
    int err = errno;
    unlinkat(dirFd, tmp.c_str(), 0);
    *pstWhy = err == EISDIR || err == ENOTEMPTY
                  ? Because(KESTREL_REASON_IN_THE_WAY, "a folder of that name exists")
                  : FailureOf(err);
    return WriteOutcome::Failed;
}

WriteOutcome SafeDestination::WriteFile(const std::vector<std::string>& c, const Entry& e,
                                        const std::function<DataResult(DataSink*)>& fnProducer,
                                        bool* pbProduced, DataResult* peData, Failure* pstWhy) {
    *pbProduced = false;
    *peData = DataResult::Ok;
    WriteOutcome outcome = WriteOutcome::Failed;
    const int dir = OpenParent(c, c.size() - 1, &outcome, pstWhy);
    if (dir < 0) return outcome;
    const std::string& leaf = c.back();
    // Nothing there yet (the usual case): write under the final name, which O_EXCL creates
    // new and never through a link. Otherwise a temporary is renamed into place, so that an
    // existing file stays whole until the new one is.
    std::string tmp;
    UniqueFd file(
        openat(dir, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!file.Valid()) {
        if (errno != EEXIST) {
            *pstWhy = FailureOf(errno);
            return WriteOutcome::Failed;
        }
        struct stat st {};
        if (fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(st.st_mode)) {
                *pstWhy = Because(KESTREL_REASON_IN_THE_WAY, "a folder of that name exists");
                return WriteOutcome::Failed;
            }
            if (!m_bOverwrite) return WriteOutcome::Kept;
        }
        tmp = TemporaryName();
        file = UniqueFd(
            openat(dir, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!file.Valid()) {
            *pstWhy = FailureOf(errno);
            return WriteOutcome::Failed;
        }
    }
    const std::string& written = tmp.empty() ? leaf : tmp;
    FileSink sink(file.Get());
    *pbProduced = true;
    *peData = fnProducer(&sink);
    if (*peData != DataResult::Ok) {
        if (*peData == DataResult::SinkFailed && sink.Error() != 0)
            *pstWhy = FailureOf(sink.Error());
        file = UniqueFd();
        unlinkat(dir, written.c_str(), 0);
        return WriteOutcome::Failed;
    }
    if (e.nUnixMode & 0100) {
        struct stat now {};
        if (fstat(file.Get(), &now) == 0) {
            fchmod(file.Get(), (now.st_mode & 0777) | ((now.st_mode & 0444) >> 2));
        }
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(e.llModified);
    times[1].tv_nsec = 0;
    futimens(file.Get(), times);
    if (close(file.Release()) != 0) {
        *pstWhy = FailureOf(errno);
        unlinkat(dir, written.c_str(), 0);
        return WriteOutcome::Failed;
    }
    if (tmp.empty()) return WriteOutcome::Written;
    return Publish(dir, tmp, leaf, pstWhy);
}

WriteOutcome SafeDestination::MakeDirectory(const std::vector<std::string>& c, Failure* pstWhy) {
    WriteOutcome outcome = WriteOutcome::Failed;
    if (OpenParent(c, c.size(), &outcome, pstWhy) < 0) return outcome;
    // A folder entry of the archive, finished: it stays whatever happens later.
    std::string key;
    for (size_t k = 0; k < c.size(); ++k) key += (k ? "/" : "") + c[k];
    std::lock_guard<std::mutex> lock(m_pMade->mutex);
    m_pMade->paths.erase(key);
    return WriteOutcome::Written;
}

void SafeDestination::RemoveEmptyMadeFolders() {
    std::vector<std::string> paths;
    {
        std::lock_guard<std::mutex> lock(m_pMade->mutex);
        paths.assign(m_pMade->paths.begin(), m_pMade->paths.end());
        m_pMade->paths.clear();
    }
    // A folder's path is longer than its parent's: the longest go first.
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return a.size() > b.size();
    });
    m_folder = UniqueFd();
    m_vFolderPath.clear();
    for (const std::string& path : paths) {
        UniqueFd dir(fcntl(m_root.Get(), F_DUPFD_CLOEXEC, 0));
        size_t pos = 0;
        for (size_t slash; dir.Valid() && (slash = path.find('/', pos)) != std::string::npos;
             pos = slash + 1) {
            dir = UniqueFd(openat(dir.Get(), path.substr(pos, slash - pos).c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        // Fails, as it should, for a folder that is not empty.
        if (dir.Valid()) unlinkat(dir.Get(), path.substr(pos).c_str(), AT_REMOVEDIR);
    }
}

WriteOutcome SafeDestination::MakeSymlink(const std::vector<std::string>& c,
                                          const std::string& c_strTarget, Failure* pstWhy) {
    // The target must stay inside the destination as seen from the link's own folder. Its ".."
    // steps may only come first: they climb through the link's own folders, which are real
    // folders. A ".." after a name could climb out of whatever that name is, e.g. a link to ".".
    if (c_strTarget.empty() || c_strTarget[0] == '/' ||
        c_strTarget.find('\0') != std::string::npos) {
        *pstWhy = Because(KESTREL_REASON_LINK_OUTSIDE, "link target outside the destination");
        return WriteOutcome::Refused;
    }
    long depth = static_cast<long>(c.size()) - 1;
    bool descended = false;
    size_t pos = 0;
    while (pos <= c_strTarget.size()) {
        size_t slash = c_strTarget.find('/', pos);
        if (slash == std::string::npos) slash = c_strTarget.size();
        std::string part = c_strTarget.substr(pos, slash - pos);
        if (part == "..") {
            if (descended || --depth < 0) {
                *pstWhy =
                    Because(KESTREL_REASON_LINK_OUTSIDE, "link target outside the destination");
                return WriteOutcome::Refused;
            }
        } else if (!part.empty() && part != ".") {
            descended = true;
        }
        pos = slash + 1;
    }
    WriteOutcome outcome = WriteOutcome::Failed;
    const int dir = OpenParent(c, c.size() - 1, &outcome, pstWhy);
    if (dir < 0) return outcome;
    const std::string& leaf = c.back();
    struct stat st {};
    if (fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) {
            *pstWhy = Because(KESTREL_REASON_IN_THE_WAY, "a folder of that name exists");
            return WriteOutcome::Failed;
        }
        if (!m_bOverwrite) return WriteOutcome::Kept;
    }
    std::string tmp = TemporaryName();
    if (symlinkat(c_strTarget.c_str(), dir, tmp.c_str()) != 0) {
        *pstWhy = FailureOf(errno);
        return WriteOutcome::Failed;
    }
    return Publish(dir, tmp, leaf, pstWhy);
}

}  // namespace kestrel::archiver
