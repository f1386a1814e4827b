// One owner for one open file descriptor, for every layer from the archiver plug-ins up.
#pragma once

#include <unistd.h>

#include <cerrno>

namespace kestrel {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes now: 0, or the errno of a close that failed (some file systems report a failed
    // write only then).
    int Close() {
        if (m_fd < 0) return 0;
        return ::close(Release()) == 0 ? 0 : errno;
    }

private:
    int m_fd = -1;
};

}  // namespace kestrel
