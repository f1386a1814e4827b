// Text helpers for entry names: UTF-8 checks, CP932 decoding independent of the process
// locale, cutting at character boundaries, and the wildcard of FindFirst.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace kestrel::archiver {

// Through the codec shared with the engine (base/Utf8.h).
bool IsValidUtf8(std::string_view c_sv);

// Decodes CP932 (Windows Shift_JIS) into UTF-8; an undecodable byte becomes U+FFFD. Owns its
// iconv descriptor, so one decoder serves one thread.
class Cp932Decoder {
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;
    void Decode(std::string_view c_svRaw, std::string* pstrOut);

private:
    iconv_t m_cd;
};

// Legacy names: UTF-8 when the bytes are valid UTF-8, otherwise CP932. NUL bytes never survive.
void DecodeLegacyName(std::string_view c_svRaw, Cp932Decoder* pDecoder, std::string* pstrOut);

// UTF-16LE (the Unicode names of LHA's extended headers) into UTF-8: a lone surrogate, NUL and
// an odd last byte become U+FFFD; the unit 0xFFFF (which no text holds) becomes c_cSeparator.
void DecodeUtf16Le(std::string_view c_svRaw, char c_cSeparator, std::string* pstrOut);

// The longest prefix of at most c_nMaxBytes bytes that ends on a UTF-8 character boundary.
size_t Utf8CutLength(std::string_view c_sv, size_t c_nMaxBytes);

// "*" matches any run of characters, "?" exactly one; the whole name must match.
bool MatchWildcard(std::string_view c_svPattern, std::string_view c_svName);

// Makes libarchive's name conversions produce UTF-8 on this thread while it lives.
class Utf8LocaleScope {
public:
    Utf8LocaleScope();
    ~Utf8LocaleScope();
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

private:
    void* m_pvPrevious = nullptr;
};

}  // namespace kestrel::archiver
