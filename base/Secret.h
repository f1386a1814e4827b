// A password in memory: one fixed buffer that is never reallocated (so no copy is left behind
// in freed memory) and is wiped when cleared or destroyed. Not copyable; Assign copies on
// purpose.
#pragma once

#include <string.h>

#include <cstddef>

namespace kestrel {

class Secret {
public:
    // Bytes a password may have, terminator excluded.
    static constexpr size_t kMaxLength = 1023;

    Secret() { Clear(); }
    ~Secret() { Clear(); }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // False (and cleared) when the text is longer than kMaxLength.
    bool Assign(const char* c_pch, size_t c_nLength) {
        Clear();
        if (c_nLength > kMaxLength) return false;
        memcpy(m_sz, c_pch, c_nLength);
        m_nLength = c_nLength;
        return true;
    }
    bool Assign(const Secret& c_other) { return Assign(c_other.m_sz, c_other.m_nLength); }
    void Clear() {
        explicit_bzero(m_sz, sizeof m_sz);
        m_nLength = 0;
    }
    const char* c_str() const { return m_sz; }
    size_t size() const { return m_nLength; }
    bool empty() const { return m_nLength == 0; }
    // For readers that fill the buffer themselves (up to kMaxLength bytes and a NUL); then
    // SetLength.
    char* Buffer() { return m_sz; }
    void SetLength(size_t c_nLength) {
        m_nLength = c_nLength <= kMaxLength ? c_nLength : kMaxLength;
        m_sz[m_nLength] = '\0';
    }

private:
    char m_sz[kMaxLength + 1];
    size_t m_nLength = 0;
};

}  // namespace kestrel
