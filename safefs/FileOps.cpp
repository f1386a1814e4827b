#include "FileOps.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace kestrel::safefs {

UniqueFd OpenFolder(int nAt, const char* pszName) {
    return UniqueFd(::openat(nAt, pszName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool ReadNames(int nFolder, std::vector<QByteArray>* pvNames, int* pnErrno) {
    // The stream gets a descriptor of its own: closing it must not close this one.
    std::unique_ptr<DIR, int (*)(DIR*)> pDir(nullptr, &::closedir);
    const int nDup = ::fcntl(nFolder, F_DUPFD_CLOEXEC, 0);
    if (nDup >= 0) {
        pDir.reset(::fdopendir(nDup));
        if (!pDir) ::close(nDup);
    }
    if (!pDir) {
        *pnErrno = errno;
        return false;
    }
    // A duplicate shares the read position: start from the first entry whatever was read before.
    ::rewinddir(pDir.get());
    errno = 0;
    while (const dirent* pEntry = ::readdir(pDir.get())) {
        if (std::strcmp(pEntry->d_name, ".") != 0 && std::strcmp(pEntry->d_name, "..") != 0)
            pvNames->emplace_back(pEntry->d_name);
    }
    *pnErrno = errno;
    std::sort(pvNames->begin(), pvNames->end());
    return *pnErrno == 0;
}

bool Exists(const QByteArray& c_baPath) {
    struct stat st {};
    return ::lstat(c_baPath.constData(), &st) == 0;
}

dev_t DeviceOf(const QByteArray& c_baPath) {
    struct stat st {};
    return ::stat(c_baPath.constData(), &st) == 0 ? st.st_dev : static_cast<dev_t>(-1);
}

QByteArray MakePrivateFolder(const QByteArray& c_baPrefix) {
    QByteArray baTemplate = c_baPrefix + "XXXXXX";
    return ::mkdtemp(baTemplate.data()) != nullptr ? baTemplate : QByteArray();
}

bool IsAbsentOrOwnFolder(const QByteArray& c_baPath) {
    struct stat st {};
    if (::lstat(c_baPath.constData(), &st) != 0) return true;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

int RenameNoReplace(const QByteArray& c_baFrom, const QByteArray& c_baTo) {
    if (::renameat2(AT_FDCWD, c_baFrom.constData(), AT_FDCWD, c_baTo.constData(),
                    RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // The file system cannot promise it: check, then rename.
    if (Exists(c_baTo)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(c_baFrom.constData(), c_baTo.constData());
}

bool ReadLink(int nAt, const char* pszName, QByteArray* pbaTarget) {
    QByteArray baTarget(4096, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(nAt, pszName, baTarget.data(), baTarget.size());
        if (n < 0) return false;
        if (n < baTarget.size()) {
            baTarget.truncate(n);
            *pbaTarget = baTarget;
            return true;
        }
        baTarget.resize(baTarget.size() * 2);
    }
}

}  // namespace kestrel::safefs
