// The few file-system primitives the rest of the module is made of. Nothing here follows a link
// unless it says so; failures come back as errno values.
#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <vector>

#include "UniqueFd.h"

namespace kestrel::safefs {

// The folder pszName below nAt (AT_FDCWD: a path), never through a link at its last component.
// Invalid, with errno set, on failure.
UniqueFd OpenFolder(int nAt, const char* pszName);
// The names in the open folder nFolder without "." and "..", in byte order; false with the
// errno.
bool ReadNames(int nFolder, std::vector<QByteArray>* pvNames, int* pnErrno);

// Whether anything, even a dangling link, has this name.
bool Exists(const QByteArray& c_baPath);
// Whether c_baPath is nothing that can be looked at (not even a link), or a real folder of this
// user.
bool IsAbsentOrOwnFolder(const QByteArray& c_baPath);

// The file system c_baPath lies on (its st_dev, links followed); -1 when it cannot be told.
dev_t DeviceOf(const QByteArray& c_baPath);
// A new folder of mode 0700 named c_baPrefix and six random characters: nothing that was
// there, and no link, is used. Empty, with errno, when it cannot be made.
QByteArray MakePrivateFolder(const QByteArray& c_baPrefix);

// A rename that never replaces: -1 with errno EEXIST when the target exists.
int RenameNoReplace(const QByteArray& c_baFrom, const QByteArray& c_baTo);

// The target of the link pszName in nAt; false with errno.
bool ReadLink(int nAt, const char* pszName, QByteArray* pbaTarget);

}  // namespace kestrel::safefs
