#include "Text.h"

#include <locale.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "Utf8.h"

namespace kestrel::archiver {

bool IsValidUtf8(std::string_view c_sv) {
    return utf8::IsValid(c_sv);
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

void DecodeUtf16Le(std::string_view c_svRaw, char c_cSeparator, std::string* pstrOut) {
    pstrOut->clear();
    const auto* p = reinterpret_cast<const unsigned char*>(c_svRaw.data());
    const size_t n = c_svRaw.size() / 2;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        char32_t cp = static_cast<char32_t>(p[2 * i] | (p[2 * i + 1] << 8));
        if (cp == 0xFFFF) {
            pstrOut->push_back(c_cSeparator);
            continue;
        }
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n) {
            const char32_t low = static_cast<char32_t>(p[2 * i + 2] | (p[2 * i + 3] << 8));
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp == 0 || (cp >= 0xD800 && cp < 0xE000)) cp = utf8::kReplacement;
        pstrOut->append(buf, utf8::Encode(cp, buf));
    }
    if (c_svRaw.size() % 2 != 0) pstrOut->append(kReplacement);
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
    char32_t cp;
    size_t len =
        utf8::Decode(reinterpret_cast<const unsigned char*>(sv.data()) + i, sv.size() - i, &cp);
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
