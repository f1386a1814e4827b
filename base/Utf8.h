// UTF-8, the text of every name and path that crosses between the archiver plug-ins and the
// engine: one encoder and one decoder for both sides, with the fast paths for ASCII that
// listing speed depends on. What is no character never passes as text: encoding writes U+FFFD
// for it, decoding reports it to the caller, which replaces or rejects it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kestrel::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

// How many bytes at the start of p[0, n) are ASCII; names are mostly ASCII, so eight at a time.
inline size_t AsciiPrefix(const unsigned char* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ull) break;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

// The character at p[0, n), n > 0, in *pcp and the length of its sequence (1 to 4); 0 when the
// bytes there are no valid UTF-8 (a stray or overlong sequence, a surrogate, a value past
// U+10FFFF, a sequence cut short).
inline size_t Decode(const unsigned char* p, size_t n, char32_t* pcp) {
    const unsigned char c = p[0];
    if (c < 0x80) {
        *pcp = c;
        return 1;
    }
    size_t nLength;
    char32_t cMin, cp;
    if (c >= 0xC2 && c <= 0xDF) {
        nLength = 2, cMin = 0x80, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        nLength = 3, cMin = 0x800, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        nLength = 4, cMin = 0x10000, cp = c & 0x07;
    } else {
        return 0;
    }
    if (n < nLength) return 0;
    for (size_t i = 1; i < nLength; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < cMin || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *pcp = cp;
    return nLength;
}

// Writes cp at pOut (room for four bytes) and returns the end of what was written.
inline char* Encode(char32_t cp, char* pOut) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
    if (cp < 0x80) {
        *pOut++ = static_cast<char>(cp);
        return pOut;
    }
    if (cp < 0x800) {
        *pOut++ = static_cast<char>(0xC0 | (cp >> 6));
    } else if (cp < 0x10000) {
        *pOut++ = static_cast<char>(0xE0 | (cp >> 12));
        *pOut++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    } else {
        *pOut++ = static_cast<char>(0xF0 | (cp >> 18));
        *pOut++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *pOut++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    *pOut++ = static_cast<char>(0x80 | (cp & 0x3F));
    return pOut;
}

inline bool IsValid(std::string_view sv) {
    const auto* p = reinterpret_cast<const unsigned char*>(sv.data());
    const size_t n = sv.size();
    char32_t cp;
    for (size_t i = 0; i < n;) {
        i += AsciiPrefix(p + i, n - i);
        if (i == n) break;
        const size_t nLength = Decode(p + i, n - i, &cp);
        if (nLength == 0) return false;
        i += nLength;
    }
    return true;
}

// Wide text (UTF-32 on this platform) as UTF-8, up to its first NUL.
inline std::string FromWide(std::wstring_view w) {
    // Written straight into room for the longest form, then cut to what was written.
    std::string str(w.size() * 4, '\0');
    char* pOut = str.data();
    const wchar_t* p = w.data();
    const wchar_t* const pEnd = p + w.size();
    while (p < pEnd) {
        // Runs of ASCII (without NUL), four characters at a time.
        while (pEnd - p >= 4 &&
               (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) |
                static_cast<uint32_t>(p[2]) | static_cast<uint32_t>(p[3])) < 0x80 &&
               p[0] != 0 && p[1] != 0 && p[2] != 0 && p[3] != 0) {
            for (int i = 0; i < 4; ++i) pOut[i] = static_cast<char>(p[i]);
            p += 4;
            pOut += 4;
        }
        if (p == pEnd || *p == 0) break;
        pOut = Encode(static_cast<char32_t>(*p++), pOut);
    }
    str.resize(static_cast<size_t>(pOut - str.data()));
    return str;
}

// Appends UTF-8 text as wide characters; each byte that starts no valid sequence becomes
// U+FFFD.
inline void AppendWide(std::wstring* pstrWide, std::string_view sv) {
    const size_t nOld = pstrWide->size();
    pstrWide->resize(nOld + sv.size());  // never more characters than bytes
    wchar_t* pOut = pstrWide->data() + nOld;
    const auto* p = reinterpret_cast<const unsigned char*>(sv.data());
    const unsigned char* const pEnd = p + sv.size();
    while (p < pEnd) {
        const size_t nAscii = AsciiPrefix(p, static_cast<size_t>(pEnd - p));
        for (size_t i = 0; i < nAscii; ++i) pOut[i] = p[i];
        p += nAscii;
        pOut += nAscii;
        if (p == pEnd) break;
        char32_t cp;
        const size_t nLength = Decode(p, static_cast<size_t>(pEnd - p), &cp);
        *pOut++ = static_cast<wchar_t>(nLength != 0 ? cp : kReplacement);
        p += nLength != 0 ? nLength : 1;
    }
    pstrWide->resize(static_cast<size_t>(pOut - pstrWide->data()));
}

}  // namespace kestrel::utf8
