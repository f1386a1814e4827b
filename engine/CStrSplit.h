// Cuts a wide string into parts at a separator, in place in its own copy: one allocation per
// split, none per part. Parts are read back by index; an index out of range gives -1 or null.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shelf {

class CStrSplit {
public:
    CStrSplit() = default;
    // The parts point into this object's own copy.
    CStrSplit(const CStrSplit&) = delete;
    CStrSplit& operator=(const CStrSplit&) = delete;

    int32_t StrSplit(const wchar_t* c_pszString, wchar_t c_cChar);
    // An empty separator cuts nothing: one part, the whole string.
    int32_t StrSplit(const wchar_t* c_pszString, const wchar_t* c_pszStr);

    // Copies the part and its terminator; the caller's buffer must hold it.
    int32_t StrSplitNext(int32_t c_nPart, wchar_t* pszBuf) const;
    int32_t StrSplitNext(int32_t c_nPart, std::wstring* pstrBuf) const;
    // Valid until the next StrSplit.
    const wchar_t* StrSplitNext(int32_t c_nPart) const;

    int32_t Count() const { return static_cast<int32_t>(m_vecPart.size()); }

private:
    std::wstring m_strString;
    std::vector<const wchar_t*> m_vecPart;
};

}  // namespace shelf
