#include "CTreeString.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace shelf {

namespace {

constexpr size_t kHeader = offsetof(CTreeString::BLOCK, nWidth) + 1;

const unsigned char* Data(const CTreeString::BLOCK* c_p) {
    return reinterpret_cast<const unsigned char*>(c_p) + kHeader;
}

wchar_t CharAt(const unsigned char* c_p, uint8_t c_nWidth, size_t c_nIndex) {
    switch (c_nWidth) {
        case 1:
            return static_cast<wchar_t>(c_p[c_nIndex]);
        case 2: {
            uint16_t n;
            std::memcpy(&n, c_p + 2 * c_nIndex, 2);
            return static_cast<wchar_t>(n);
        }
        default: {
            wchar_t c;
            std::memcpy(&c, c_p + 4 * c_nIndex, 4);
            return c;
        }
    }
}

void Decode(const unsigned char* c_p, uint8_t c_nWidth, size_t c_nLength, wchar_t* pszOut) {
    if (c_nWidth == 4) {
        std::memcpy(pszOut, c_p, 4 * c_nLength);
        return;
    }
    for (size_t i = 0; i < c_nLength; ++i) pszOut[i] = CharAt(c_p, c_nWidth, i);
}

void EncodeInto(std::wstring_view c_str, uint8_t c_nWidth, unsigned char* pOut) {
    if (c_nWidth == 4) {
        std::memcpy(pOut, c_str.data(), 4 * c_str.size());
        return;
    }
    for (size_t i = 0; i < c_str.size(); ++i) {
        const auto n = static_cast<uint32_t>(c_str[i]);
        if (c_nWidth == 1) {
            pOut[i] = static_cast<unsigned char>(n);
        } else {
            const auto n16 = static_cast<uint16_t>(n);
            std::memcpy(pOut + 2 * i, &n16, 2);
        }
    }
}

}  // namespace

size_t CTreeString::BlockSize(size_t c_nLength, uint8_t c_nWidth) {
    return (kHeader + c_nLength * c_nWidth + 7) & ~size_t{7};
}

uint8_t CTreeString::WidthOf(std::wstring_view c_str) {
    uint32_t nMax = 0;
    for (wchar_t c : c_str) nMax |= static_cast<uint32_t>(c);
    return nMax < 0x100 ? 1 : nMax < 0x10000 ? 2 : 4;
}

const CTreeString::BLOCK* CTreeString::MakeBlock(void* pvMemory, const CTreeString* c_pPrefix,
                                                 std::wstring_view c_str, uint8_t c_nWidth) {
    auto* p = static_cast<BLOCK*>(pvMemory);
    p->pPrefix = c_pPrefix;
    p->nLength = static_cast<uint32_t>(c_str.size());
    p->nTotal =
        static_cast<uint32_t>((c_pPrefix != nullptr ? c_pPrefix->size() : 0) + c_str.size());
    p->nWidth = c_nWidth;
    EncodeInto(c_str, c_nWidth, reinterpret_cast<unsigned char*>(p) + kHeader);
    return p;
}

CTreeString CTreeString::Borrow(const BLOCK* c_pBlock, bool c_bOwnPartOnly) {
    CTreeString str;
    str.m_nBits =
        reinterpret_cast<uintptr_t>(c_pBlock) | kBorrowed | (c_bOwnPartOnly ? kOwnPartOnly : 0);
    return str;
}

CTreeString::CTreeString(std::wstring_view c_str) {
    if (c_str.empty()) return;
    const uint8_t nWidth = WidthOf(c_str);
    void* pv = ::operator new(BlockSize(c_str.size(), nWidth));
    m_nBits = reinterpret_cast<uintptr_t>(MakeBlock(pv, nullptr, c_str, nWidth));
}

CTreeString::CTreeString(const CTreeString& c_other) {
    const size_t nSize = c_other.size();
    if (nSize == 0) return;
    const BLOCK* pOther = c_other.Block();
    if (c_other.OwnPartOnly() || pOther->pPrefix == nullptr) {
        // One block holds the whole value: copy it as it is.
        const size_t nBytes = BlockSize(pOther->nLength, pOther->nWidth);
        auto* p = static_cast<BLOCK*>(::operator new(nBytes));
        std::memcpy(static_cast<void*>(p), pOther, nBytes);
        p->pPrefix = nullptr;
        p->nTotal = p->nLength;
        m_nBits = reinterpret_cast<uintptr_t>(p);
        return;
    }
    *this = CTreeString(std::wstring_view(c_other.str()));
}

CTreeString& CTreeString::operator=(const CTreeString& c_other) {
    if (this != &c_other) *this = CTreeString(c_other);
    return *this;
}

CTreeString& CTreeString::operator=(CTreeString&& other) noexcept {
    if (this != &other) {
        Free();
        m_nBits = other.m_nBits;
        other.m_nBits = 0;
    }
    return *this;
}

void CTreeString::Free() {
    if (m_nBits != 0 && (m_nBits & kBorrowed) == 0) ::operator delete(const_cast<BLOCK*>(Block()));
    m_nBits = 0;
}

size_t CTreeString::size() const {
    const BLOCK* p = Block();
    if (p == nullptr) return 0;
    return OwnPartOnly() ? p->nLength : p->nTotal;
}

void CTreeString::Fill(wchar_t* pszOut) const {
    size_t nEnd = size();
    const CTreeString* pcText = this;
    bool bOwnOnly = OwnPartOnly();
    while (pcText != nullptr && pcText->Block() != nullptr) {
        const BLOCK* p = pcText->Block();
        nEnd -= p->nLength;
        Decode(Data(p), p->nWidth, p->nLength, pszOut + nEnd);
        if (bOwnOnly) break;
        pcText = p->pPrefix;
        bOwnOnly = pcText != nullptr && pcText->OwnPartOnly();
    }
}

std::wstring CTreeString::str() const {
    std::wstring str(size(), L'\0');
    if (!str.empty()) Fill(str.data());
    return str;
}

wchar_t CTreeString::operator[](size_t c_nIndex) const {
    size_t nEnd = size();
    const CTreeString* pcText = this;
    bool bOwnOnly = OwnPartOnly();
    while (pcText != nullptr && pcText->Block() != nullptr) {
        const BLOCK* p = pcText->Block();
        const size_t nStart = nEnd - p->nLength;
        if (c_nIndex >= nStart) return CharAt(Data(p), p->nWidth, c_nIndex - nStart);
        nEnd = nStart;
        if (bOwnOnly) break;
        pcText = p->pPrefix;
        bOwnOnly = pcText != nullptr && pcText->OwnPartOnly();
    }
    return L'\0';
}

size_t CTreeString::rfind(wchar_t c_ch) const {
    size_t nEnd = size();
    const CTreeString* pcText = this;
    bool bOwnOnly = OwnPartOnly();
    while (pcText != nullptr && pcText->Block() != nullptr) {
        const BLOCK* p = pcText->Block();
        const size_t nStart = nEnd - p->nLength;
        for (size_t i = p->nLength; i-- > 0;) {
            if (CharAt(Data(p), p->nWidth, i) == c_ch) return nStart + i;
        }
        nEnd = nStart;
        if (bOwnOnly) break;
        pcText = p->pPrefix;
        bOwnOnly = pcText != nullptr && pcText->OwnPartOnly();
    }
    return npos;
}

size_t CTreeString::copy(wchar_t* pszDest, size_t c_nCount, size_t c_nPos) const {
    const size_t nSize = size();
    if (c_nPos >= nSize) return 0;
    const size_t nCount = std::min(c_nCount, nSize - c_nPos);
    for (size_t i = 0; i < nCount; ++i) pszDest[i] = (*this)[c_nPos + i];
    return nCount;
}

std::string_view CTreeString::OwnBytes() const {
    const BLOCK* p = Block();
    if (p == nullptr) return {};
    return std::string_view(reinterpret_cast<const char*>(Data(p)),
                            static_cast<size_t>(p->nLength) * p->nWidth);
}

uint8_t CTreeString::OwnWidth() const {
    const BLOCK* p = Block();
    return p != nullptr ? p->nWidth : 1;
}

std::string_view CTreeString::Encode(std::wstring_view c_str, std::string* pstrBuffer,
                                     uint8_t* pnWidth) {
    *pnWidth = WidthOf(c_str);
    pstrBuffer->resize(c_str.size() * *pnWidth);
    EncodeInto(c_str, *pnWidth, reinterpret_cast<unsigned char*>(pstrBuffer->data()));
    return *pstrBuffer;
}

bool operator==(const CTreeString& c_a, const CTreeString& c_b) {
    if (c_a.size() != c_b.size()) return false;
    return c_a.str() == c_b.str();
}

bool operator==(const CTreeString& c_a, std::wstring_view c_b) {
    if (c_a.size() != c_b.size()) return false;
    const CTreeString::BLOCK* p = c_a.Block();
    if (p == nullptr) return true;
    if (c_a.OwnPartOnly() || p->pPrefix == nullptr) {
        const unsigned char* pData = Data(p);
        for (size_t i = 0; i < c_b.size(); ++i) {
            if (CharAt(pData, p->nWidth, i) != c_b[i]) return false;
        }
        return true;
    }
    return c_a.str() == c_b;
}

}  // namespace shelf
