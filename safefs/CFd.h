// One owner for one open file descriptor, and the few primitives the rest of the module is made
// of. Nothing here follows a link unless it says so; failures come back as errno values.
#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <vector>

namespace kestrel::safefs {

class CFd {
public:
    CFd() = default;
    explicit CFd(int nFd) : m_nFd(nFd) {}
    ~CFd() { Reset(); }
    CFd(CFd&& other) noexcept : m_nFd(other.Release()) {}
    CFd& operator=(CFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;

    int Get() const { return m_nFd; }
    bool IsValid() const { return m_nFd >= 0; }
    int Release() {
        const int nFd = m_nFd;
        m_nFd = -1;
        return nFd;
    }
    void Reset(int nFd = -1);
    // Closes now; 0, or the errno of a close that failed (some file systems report a failed
    // write only then).
    int Close();

    // The folder pszName below nAt (AT_FDCWD: a path), never through a link at its last
    // component. Invalid, with errno set, on failure.
    static CFd OpenFolder(int nAt, const char* pszName);
    // The names in this open folder without "." and "..", in byte order; false with the errno.
    bool ReadNames(std::vector<QByteArray>* pvNames, int* pnErrno) const;

private:
    int m_nFd = -1;
};

// Whether anything, even a dangling link, has this name.
bool Exists(const QByteArray& c_baPath);
// Whether c_baPath is nothing that can be looked at (not even a link), or a real folder of this
// user.
bool IsAbsentOrOwnFolder(const QByteArray& c_baPath);

// A rename that never replaces: -1 with errno EEXIST when the target exists.
int RenameNoReplace(const QByteArray& c_baFrom, const QByteArray& c_baTo);

// The target of the link pszName in nAt; false with errno.
bool ReadLink(int nAt, const char* pszName, QByteArray* pbaTarget);

}  // namespace kestrel::safefs
