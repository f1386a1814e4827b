#include "Text.h"

#include <locale.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace kestrel::archiver {

// How many bytes at the start of p[0, n) are ASCII; names are mostly ASCII, so eight at a time.
static size_t AsciiPrefix(const unsigned char* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ull) break;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

// Length of the valid UTF-8 sequence at p (1 to 4), 0 when there is none.
static size_t Utf8SequenceLength(const unsigned char* p, size_t n) {
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t len;
    uint32_t min;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2, min = 0x80, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3, min = 0x800, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4, min = 0x10000, cp = c & 0x07;
    } else {
        return 0;
    }
    if (n < len) return 0;
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool IsValidUtf8(std::string_view c_sv) {
    const auto* p = reinterpret_cast<const unsigned char*>(c_sv.data());
    size_t n = c_sv.size();
    size_t i = 0;
    while (i < n) {
        i += AsciiPrefix(p + i, n - i);
        if (i == n) break;
        size_t len = Utf8SequenceLength(p + i, n - i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

void AppendUtf8(std::string* pstr, uint32_t cp) {
    if (cp < 0x80) {
        pstr->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        pstr->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        pstr->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        pstr->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        pstr->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        pstr->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        pstr->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        pstr->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        pstr->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        pstr->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

static const char kReplacement[] = "\xEF\xBF\xBD";

Cp932Decoder::Cp932Decoder() : m_cd(iconv_open("UTF-8", "CP932")) {}

Cp932Decoder::~Cp932Decoder() {
    if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
}

void Cp932Decoder::Decode(std::string_view c_svRaw, std::string* pstrOut) {
    pstrOut->clear();
    if (m_cd == reinterpret_cast<iconv_t>(-1)) {
        // Without the converter keep ASCII and mark the rest.
        for (unsigned char c : c_svRaw) {
            if (c < 0x80) {
                pstrOut->push_back(static_cast<char>(c));
            } else {
                pstrOut->append(kReplacement);
            }
        }
        return;
    }
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(c_svRaw.data());
    size_t inLeft = c_svRaw.size();
    char buf[1024];
    while (inLeft > 0) {
        char* out = buf;
        size_t outLeft = sizeof(buf);
        size_t r = iconv(m_cd, &in, &inLeft, &out, &outLeft);
        pstrOut->append(buf, out - buf);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // An invalid or incomplete sequence: one replacement per bad byte, then go on.
            pstrOut->append(kReplacement);
            ++in;
            --inLeft;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

void DecodeLegacyName(std::string_view c_svRaw, Cp932Decoder* pDecoder, std::string* pstrOut) {
    if (IsValidUtf8(c_svRaw)) {
        pstrOut->assign(c_svRaw);
    } else {
        pDecoder->Decode(c_svRaw, pstrOut);
    }
    if (pstrOut->find('\0') != std::string::npos) {
        std::string clean;
        for (char c : *pstrOut) {
            if (c == '\0') {
                clean.append(kReplacement);
            } else {
                clean.push_back(c);
            }
        }
        pstrOut->swap(clean);
    }
}

size_t Utf8CutLength(std::string_view c_sv, size_t c_nMaxBytes) {
    if (c_sv.size() <= c_nMaxBytes) return c_sv.size();
    size_t n = c_nMaxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (n > 0 && (static_cast<unsigned char>(c_sv[n]) & 0xC0) == 0x80) --n;
    return n;
}

// Advances over one character (a whole UTF-8 sequence, or one stray byte).
static size_t CharLength(std::string_view sv, size_t i) {
    size_t len =
        Utf8SequenceLength(reinterpret_cast<const unsigned char*>(sv.data()) + i, sv.size() - i);
    return len == 0 ? 1 : len;
}

bool MatchWildcard(std::string_view pat, std::string_view name) {
    if (pat.empty() || pat == "*") return true;
    size_t p = 0, n = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && pat[p] == '*') {
            starP = ++p;
            starN = n;
        } else if (p < pat.size() && pat[p] == '?') {
            ++p;
            n += CharLength(name, n);
        } else if (p < pat.size() && pat[p] == name[n]) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP;
            starN += CharLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

namespace {

// One UTF-8 locale per loaded plug-in, freed when the plug-in is unloaded.
struct Utf8LocaleHolder {
    locale_t locale;
    Utf8LocaleHolder() {
        locale = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (!locale) locale = newlocale(LC_ALL_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    }
    ~Utf8LocaleHolder() {
        if (locale) freelocale(locale);
    }
};

locale_t Utf8Locale() {
    static Utf8LocaleHolder s_holder;
    return s_holder.locale;
}

}  // namespace

Utf8LocaleScope::Utf8LocaleScope() {
    locale_t l = Utf8Locale();
    if (l) m_pvPrevious = uselocale(l);
}

Utf8LocaleScope::~Utf8LocaleScope() {
    if (m_pvPrevious) uselocale(static_cast<locale_t>(m_pvPrevious));
}

}  // namespace kestrel::archiver
