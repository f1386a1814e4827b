// The wide texts of file-tree nodes (a node's name and full path). They read as std::wstring
// values, but a tree of a million entries cannot afford four bytes a character and a copy of
// every folder's path in each node: the characters are kept one, two or four bytes wide (the
// least that holds them all), and a node's full path is its parent's full path followed by
// characters stored once for both its name and its path.
//
// A text made from a wide string, or copied, owns its storage. Texts that the file tree hands
// out borrow the tree's storage and are valid only as long as the tree's nodes; copying one
// makes an owned, independent text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace shelf {

class CTreeString {
public:
    static constexpr size_t npos = std::wstring::npos;

    // Where characters live: after this header, nLength of them, nWidth bytes each.
    struct BLOCK {
        const CTreeString* pPrefix;  // whose value comes before these characters; may be null
        uint32_t nLength;
        uint32_t nTotal;  // characters of the whole value: the prefix's and these
        uint8_t nWidth;
    };

    CTreeString() noexcept = default;
    CTreeString(std::wstring_view c_str);  // NOLINT: reads as a wide string
    CTreeString(const std::wstring& c_str) : CTreeString(std::wstring_view(c_str)) {}
    CTreeString(const wchar_t* c_psz) : CTreeString(std::wstring_view(c_psz)) {}
    CTreeString(const CTreeString& c_other);
    CTreeString(CTreeString&& other) noexcept : m_nBits(other.m_nBits) { other.m_nBits = 0; }
    CTreeString& operator=(const CTreeString& c_other);
    CTreeString& operator=(CTreeString&& other) noexcept;
    CTreeString& operator=(std::wstring_view c_str) { return *this = CTreeString(c_str); }
    CTreeString& operator=(const std::wstring& c_str) { return *this = CTreeString(c_str); }
    CTreeString& operator=(const wchar_t* c_psz) { return *this = CTreeString(c_psz); }
    ~CTreeString() { Free(); }

    size_t size() const;
    size_t length() const { return size(); }
    bool empty() const { return size() == 0; }
    std::wstring str() const;
    operator std::wstring() const { return str(); }  // NOLINT: reads as a wide string
    wchar_t operator[](size_t c_nIndex) const;
    size_t rfind(wchar_t c_ch) const;
    // As std::wstring::copy: up to c_nCount characters from c_nPos, no terminator.
    size_t copy(wchar_t* pszDest, size_t c_nCount, size_t c_nPos = 0) const;

    friend bool operator==(const CTreeString& c_a, const CTreeString& c_b);
    friend bool operator==(const CTreeString& c_a, std::wstring_view c_b);
    friend bool operator==(const CTreeString& c_a, const std::wstring& c_b) {
        return c_a == std::wstring_view(c_b);
    }
    friend bool operator==(const CTreeString& c_a, const wchar_t* c_b) {
        return c_a == std::wstring_view(c_b);
    }

    // --- for the file tree's storage ---
    // Bytes a block of that many characters of that width needs, header included.
    static size_t BlockSize(size_t c_nLength, uint8_t c_nWidth);
    // The width that holds every character of the text.
    static uint8_t WidthOf(std::wstring_view c_str);
    // Fills a block in pvMemory (BlockSize bytes, 8-aligned) and returns it.
    static const BLOCK* MakeBlock(void* pvMemory, const CTreeString* c_pPrefix,
                                  std::wstring_view c_str, uint8_t c_nWidth);
    // A text that reads a block it does not own: the whole value, or only the block's own
    // characters (a node's name, whose block also ends its full path).
    static CTreeString Borrow(const BLOCK* c_pBlock, bool c_bOwnPartOnly);
    // The text's own stored characters, as bytes in its width; equal texts without prefixes
    // have equal bytes.
    std::string_view OwnBytes() const;
    uint8_t OwnWidth() const;
    // The encoded form of a wide text, as OwnBytes would give it.
    static std::string_view Encode(std::wstring_view c_str, std::string* pstrBuffer,
                                   uint8_t* pnWidth);

private:
    static constexpr uintptr_t kBorrowed = 1;
    static constexpr uintptr_t kOwnPartOnly = 2;
    static constexpr uintptr_t kBitMask = 7;

    const BLOCK* Block() const { return reinterpret_cast<const BLOCK*>(m_nBits & ~kBitMask); }
    bool OwnPartOnly() const { return (m_nBits & kOwnPartOnly) != 0; }
    void Free();
    // Writes the value into pszOut, which holds size() characters.
    void Fill(wchar_t* pszOut) const;

    uintptr_t m_nBits = 0;  // the block's address with the two flags above
};

}  // namespace shelf
