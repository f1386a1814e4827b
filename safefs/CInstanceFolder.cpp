#include "CInstanceFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <vector>

#include "CTreeWalk.h"
#include "FileOps.h"

namespace kestrel::safefs {

namespace {

constexpr char c_szMark[] = ".kestrel-instance";
// Between making its mark and locking it an instance is unprotected for an instant.
constexpr time_t c_nMarkGraceSeconds = 10;

bool IsInstanceName(const QByteArray& c_baName) {
    if (c_baName.size() < 2 || c_baName.size() > 9 || c_baName[0] != 't') return false;
    for (qsizetype i = 1; i < c_baName.size(); ++i) {
        const char c_ch = c_baName[i];
        if (!((c_ch >= '0' && c_ch <= '9') || (c_ch >= 'a' && c_ch <= 'f'))) return false;
    }
    return true;
}

bool IsOwn(int fd, bool bFolder) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
           (bFolder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
}

}  // namespace

UniqueFd MarkInstanceFolder(const QByteArray& c_baFolder) {
    const UniqueFd c_fdFolder = OpenFolder(AT_FDCWD, c_baFolder.constData());
    if (!c_fdFolder.Valid()) return {};
    UniqueFd fdMark(::openat(c_fdFolder.Get(), c_szMark,
                             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fdMark.Valid() || ::flock(fdMark.Get(), LOCK_EX | LOCK_NB) != 0) return {};
    return fdMark;
}

int RemoveAbandonedInstanceFolders(const QByteArray& c_baShared) {
    const UniqueFd c_fdShared = OpenFolder(AT_FDCWD, c_baShared.constData());
    std::vector<QByteArray> vNames;
    int nErrno = 0;
    if (!c_fdShared.Valid() || !IsOwn(c_fdShared.Get(), true)) return 0;
    ReadNames(c_fdShared.Get(), &vNames, &nErrno);
    int nRemoved = 0;
    for (const QByteArray& c_baName : vNames) {
        if (!IsInstanceName(c_baName)) continue;
        const UniqueFd c_fdFolder = OpenFolder(c_fdShared.Get(), c_baName.constData());
        if (!c_fdFolder.Valid() || !IsOwn(c_fdFolder.Get(), true)) continue;
        const UniqueFd c_fdMark(
            ::openat(c_fdFolder.Get(), c_szMark, O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (!c_fdMark.Valid() || !IsOwn(c_fdMark.Get(), false) ||
            ::fstat(c_fdMark.Get(), &st) != 0 ||
            std::time(nullptr) - st.st_mtime < c_nMarkGraceSeconds)
            continue;
        // Held by its instance: still in use.
        if (::flock(c_fdMark.Get(), LOCK_EX | LOCK_NB) != 0) continue;
        if (RemoveTree(c_baShared + '/' + c_baName, /*bMakeWritable=*/true)) ++nRemoved;
    }
    return nRemoved;
}

}  // namespace kestrel::safefs
