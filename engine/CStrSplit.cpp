#include "CStrSplit.h"

#include <cwchar>

namespace shelf {

int32_t CStrSplit::StrSplit(const wchar_t* c_pszString, wchar_t c_cChar) {
    m_strString.assign(c_pszString != nullptr ? c_pszString : L"");
    m_vecPart.clear();
    wchar_t* p = m_strString.data();
    m_vecPart.push_back(p);
    if (c_cChar == L'\0') return 1;
    for (; *p != L'\0'; ++p) {
        if (*p == c_cChar) {
            *p = L'\0';
            m_vecPart.push_back(p + 1);
        }
    }
    return Count();
}

int32_t CStrSplit::StrSplit(const wchar_t* c_pszString, const wchar_t* c_pszStr) {
    m_strString.assign(c_pszString != nullptr ? c_pszString : L"");
    m_vecPart.clear();
    wchar_t* p = m_strString.data();
    m_vecPart.push_back(p);
    const size_t nSepLength = c_pszStr != nullptr ? std::wcslen(c_pszStr) : 0;
    if (nSepLength == 0) return 1;
    while (wchar_t* pFound = std::wcsstr(p, c_pszStr)) {
        *pFound = L'\0';
        p = pFound + nSepLength;
        m_vecPart.push_back(p);
    }
    return Count();
}

int32_t CStrSplit::StrSplitNext(int32_t c_nPart, wchar_t* pszBuf) const {
    const wchar_t* pszPart = StrSplitNext(c_nPart);
    if (pszPart == nullptr || pszBuf == nullptr) return -1;
    std::wcscpy(pszBuf, pszPart);
    return c_nPart;
}

int32_t CStrSplit::StrSplitNext(int32_t c_nPart, std::wstring* pstrBuf) const {
    const wchar_t* pszPart = StrSplitNext(c_nPart);
    if (pszPart == nullptr || pstrBuf == nullptr) return -1;
    pstrBuf->assign(pszPart);
    return c_nPart;
}

const wchar_t* CStrSplit::StrSplitNext(int32_t c_nPart) const {
    if (c_nPart < 0 || c_nPart >= Count()) return nullptr;
    return m_vecPart[static_cast<size_t>(c_nPart)];
}

}  // namespace shelf
