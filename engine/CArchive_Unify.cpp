#include "CArchive_Unify.h"

#include <memory>

namespace shelf {

using namespace NArchive;

namespace {

struct FORMAT_ENTRY {
    uint32_t dwMask;
    const wchar_t* pszType;
    const wchar_t* pszExt;
    const wchar_t* pszOtherExt;  // the same format under another name, or null
    std::unique_ptr<CArchive> (*pfnCreate)();
};

// Registration order.
const FORMAT_ENTRY kFormats[] = {
    {CArchive_Unify::FORMAT_LHA, L"LHA", L".lzh", L".lha",
     []() -> std::unique_ptr<CArchive> { return std::make_unique<CArchive_Lha>(); }},
    {CArchive_Unify::FORMAT_ZIP, L"ZIP", L".zip", nullptr,
     []() -> std::unique_ptr<CArchive> { return std::make_unique<CArchive_Zip>(); }},
    {CArchive_Unify::FORMAT_7ZIP, L"7-ZIP", L".7z", nullptr,
     []() -> std::unique_ptr<CArchive> { return std::make_unique<CArchive_7Zip>(); }},
};

}  // namespace

CArchive_Unify::CArchive_Unify(uint32_t c_dwFormatMask)
    : m_dwFormatMask(c_dwFormatMask == 0 ? 0xFFFFFFFF : c_dwFormatMask) {
    m_stProperty.pcArchive = this;
}

CArchive_Unify::~CArchive_Unify() {
    m_pcActiveArchive = nullptr;
    m_mapExtType.clear();
    m_mapTypeKey.clear();
}

int32_t CArchive_Unify::ClassInitialize() {
    for (const FORMAT_ENTRY& c_stFormat : kFormats) {
        if ((m_dwFormatMask & c_stFormat.dwMask) == 0) continue;
        std::unique_ptr<CArchive> pcFormat = c_stFormat.pfnCreate();
        if (pcFormat->ClassInitialize() != 0) {
            RegisterArchive(c_stFormat.pszType, std::move(pcFormat));
        } else {
            pcFormat->ClassUninitialize();
        }
        m_mapTypeKey[c_stFormat.pszType] = c_stFormat.pszType;
        m_mapExtType[c_stFormat.pszExt] = c_stFormat.pszType;
        if (c_stFormat.pszOtherExt != nullptr)
            m_mapExtType[c_stFormat.pszOtherExt] = c_stFormat.pszType;
    }
    return m_mapArchive.empty() ? 0 : 1;
}

std::vector<std::wstring> CArchive_Unify::GetExtensions(const std::wstring& c_strExt) {
    for (const FORMAT_ENTRY& c_stFormat : kFormats) {
        if (c_strExt != c_stFormat.pszExt) continue;
        if (c_stFormat.pszOtherExt == nullptr) return {c_stFormat.pszExt};
        return {c_stFormat.pszExt, c_stFormat.pszOtherExt};
    }
    return {};
}

void CArchive_Unify::ClassUninitialize() {
    m_pcActiveArchive = nullptr;  // about to be destroyed
    CArchive_Selecter::ClassUninitialize();
    m_mapExtType.clear();
}

std::wstring CArchive_Unify::GetArchiveType(const std::wstring& c_strFileName) const {
    const size_t nDot = c_strFileName.rfind(L'.');
    if (nDot == std::wstring::npos) return std::wstring();
    std::wstring strExt = c_strFileName.substr(nDot);
    for (wchar_t& c : strExt) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    auto it = m_mapExtType.find(strExt);
    return it != m_mapExtType.end() ? it->second : std::wstring();
}

CA_RESULT CArchive_Unify::Create(void* hWnd, const std::wstring& c_strFileName) {
    const std::wstring strType = GetArchiveType(c_strFileName);
    if (strType.empty()) return CA_UNKNOWN_EXT;
    auto it = m_mapTypeKey.find(strType);
    if (it == m_mapTypeKey.end()) return CA_UNKNOWN_EXT;
    return CreateByType(hWnd, c_strFileName, it->second);
}

CA_RESULT CArchive_Unify::Open(void* hWnd, const std::wstring& c_strFileName) {
    const std::wstring strType = GetArchiveType(c_strFileName);
    if (strType.empty()) return CA_UNKNOWN_EXT;
    auto it = m_mapTypeKey.find(strType);
    if (it == m_mapTypeKey.end()) return CA_UNKNOWN_EXT;
    return OpenByType(hWnd, c_strFileName, it->second);
}

CA_RESULT CArchive_Unify::CreateByType(void* hWnd, const std::wstring& c_strFileName,
                                       const std::wstring& c_strType) {
    auto it = m_mapArchive.find(c_strType);
    if (it == m_mapArchive.end()) return CA_UNKNOWN_EXT;
    m_pcActiveArchive = it->second.get();
    m_pcActiveArchive->Property(&m_stProperty);
    return m_pcActiveArchive->Create(hWnd, c_strFileName);
}

CA_RESULT CArchive_Unify::OpenByType(void* hWnd, const std::wstring& c_strFileName,
                                     const std::wstring& c_strType) {
    auto it = m_mapArchive.find(c_strType);
    if (it == m_mapArchive.end()) return CA_UNKNOWN_EXT;
    m_pcActiveArchive = it->second.get();
    m_pcActiveArchive->Property(&m_stProperty);
    return m_pcActiveArchive->Open(hWnd, c_strFileName);
}

int32_t CArchive_Unify::Close() {
    int32_t nResult = 0;  // no active format: nothing to close
    if (m_pcActiveArchive != nullptr) nResult = m_pcActiveArchive->Close();
    m_pcActiveArchive = nullptr;
    return nResult;
}

CA_RESULT CArchive_Unify::FindFirst(const std::wstring& c_strWildName,
                                    ARCHIVE_FILE* pstArchiveFile) {
    if (m_pcActiveArchive == nullptr) return CA_ERROR;
    return m_pcActiveArchive->FindFirst(c_strWildName, pstArchiveFile);
}

CA_RESULT CArchive_Unify::FindNext(ARCHIVE_FILE* pstArchiveFile) {
    if (m_pcActiveArchive == nullptr) return CA_ERROR;
    return m_pcActiveArchive->FindNext(pstArchiveFile);
}

int32_t CArchive_Unify::FindEnd() {
    return m_pcActiveArchive != nullptr ? m_pcActiveArchive->FindEnd() : 0;
}

int32_t CArchive_Unify::FindProgress() {
    return m_pcActiveArchive != nullptr ? m_pcActiveArchive->FindProgress() : 0;
}

int64_t CArchive_Unify::GetArchiveFileSize() {
    return m_pcActiveArchive != nullptr ? m_pcActiveArchive->GetArchiveFileSize() : 0;
}

uint32_t CArchive_Unify::GetOpenReason() const {
    return m_pcActiveArchive != nullptr ? m_pcActiveArchive->GetOpenReason() : 0;
}

std::wstring CArchive_Unify::GetLastMessage() const {
    return m_pcActiveArchive != nullptr ? m_pcActiveArchive->GetLastMessage() : std::wstring();
}

int32_t CArchive_Unify::Extract(const std::vector<std::wstring>& c_vstrExtractFiles,
                                const std::wstring& c_strThawDirectory, EXT_MODE c_eExtractMode) {
    if (m_pcActiveArchive == nullptr) return -1;
    return m_pcActiveArchive->Extract(c_vstrExtractFiles, c_strThawDirectory, c_eExtractMode);
}

}  // namespace shelf
