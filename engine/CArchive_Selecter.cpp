#include "CArchive_Selecter.h"

#include "CArchive_Drivers.h"

namespace shelf {

using namespace NArchive;

CArchive_Selecter::~CArchive_Selecter() {
    CArchive_Selecter::ClassUninitialize();
}

void CArchive_Selecter::ReleaseArchives() {
    // In registration order, each released before the next is uninitialised.
    for (const std::wstring& c_strKey : m_vstrArchiveKey) {
        auto it = m_mapArchive.find(c_strKey);
        if (it == m_mapArchive.end()) continue;
        it->second->ClassUninitialize();
        it->second.reset();
    }
    m_mapArchive.clear();
    m_vstrArchiveKey.clear();
    // Nothing may point at a destroyed object.
    m_pcFindArchive = nullptr;
    m_pcExtractArchive = nullptr;
    m_setOpenArchive.clear();
}

void CArchive_Selecter::ClassUninitialize() {
    Uninitialize();
    ReleaseArchives();
}

int32_t CArchive_Selecter::Initialize() {
    for (const std::wstring& c_strKey : m_vstrArchiveKey) m_mapArchive[c_strKey]->Initialize();
    return 1;
}

int32_t CArchive_Selecter::Uninitialize() {
    for (const std::wstring& c_strKey : m_vstrArchiveKey) m_mapArchive[c_strKey]->Uninitialize();
    return 1;
}

void CArchive_Selecter::RegisterArchive(const std::wstring& c_strKey,
                                        std::unique_ptr<CArchive> pcArchive) {
    if (pcArchive == nullptr) return;
    if (m_mapArchive.count(c_strKey) != 0) {
        pcArchive->ClassUninitialize();
        return;
    }
    pcArchive->SetExtractObserver(m_pcObserver);
    m_mapArchive[c_strKey] = std::move(pcArchive);
    m_vstrArchiveKey.push_back(c_strKey);
}

int32_t CArchive_Selecter::RegisterDriver(const std::wstring& c_strKey,
                                          std::unique_ptr<CArchive> pcDriver) {
    if (pcDriver != nullptr && pcDriver->ClassInitialize() != 0)
        RegisterArchive(c_strKey, std::move(pcDriver));
    for (const std::wstring& c_strRegistered : m_vstrArchiveKey) {
        ARCHIVE_PROPERTY stProperty;
        if (m_mapArchive[c_strRegistered]->Property(&stProperty) == 0) continue;
        // A flag counts only when it is exactly 1.
        if (stProperty.bFind == 1) m_stProperty.bFind = 1;
        if (stProperty.bCompress == 1) m_stProperty.bCompress = 1;
        if (stProperty.bExtract == 1) m_stProperty.bExtract = 1;
        if (stProperty.bUpdate == 1) m_stProperty.bUpdate = 1;
        if (stProperty.bRename == 1) m_stProperty.bRename = 1;
        if (stProperty.bDelete == 1) m_stProperty.bDelete = 1;
    }
    return m_mapArchive.empty() ? 0 : 1;
}

void CArchive_Selecter::ChooseArchives() {
    m_pcFindArchive = nullptr;
    m_pcExtractArchive = nullptr;
    for (const std::wstring& c_strKey : m_vstrArchiveKey) {
        CArchive* pcArchive = m_mapArchive[c_strKey].get();
        ARCHIVE_PROPERTY stProperty;
        pcArchive->Property(&stProperty);
        if (m_pcFindArchive == nullptr && stProperty.bFind == 1) m_pcFindArchive = pcArchive;
        if (m_pcExtractArchive == nullptr && stProperty.bExtract == 1) {
            m_pcExtractArchive = pcArchive;
        }
    }
    m_setOpenArchive.clear();
    // A missing choice is left out, so that nothing is ever sent to a null object.
    if (m_pcFindArchive != nullptr) m_setOpenArchive.insert(m_pcFindArchive);
    if (m_pcExtractArchive != nullptr) m_setOpenArchive.insert(m_pcExtractArchive);
}

CA_RESULT CArchive_Selecter::Create(void* hWnd, const std::wstring& c_strFileName) {
    ChooseArchives();
    if (m_setOpenArchive.empty()) return CA_NO_ARCHIVER;
    for (CArchive* pcArchive : m_setOpenArchive) {
        const CA_RESULT eResult = pcArchive->Create(hWnd, c_strFileName);
        if (eResult != CA_OK) return eResult;
    }
    return CA_OK;
}

CA_RESULT CArchive_Selecter::Open(void* hWnd, const std::wstring& c_strFileName) {
    ChooseArchives();
    if (m_setOpenArchive.empty()) return CA_NO_ARCHIVER;
    for (CArchive* pcArchive : m_setOpenArchive) {
        const CA_RESULT eResult = pcArchive->Open(hWnd, c_strFileName);
        if (eResult != CA_OK) return eResult;
    }
    return CA_OK;
}

int32_t CArchive_Selecter::Close() {
    m_pcFindArchive = nullptr;
    m_pcExtractArchive = nullptr;
    int32_t nResult = 0;  // nothing was open
    for (CArchive* pcArchive : m_setOpenArchive) {
        nResult = pcArchive->Close();
        if (nResult != 1) break;
    }
    m_setOpenArchive.clear();
    return nResult;
}

CA_RESULT CArchive_Selecter::FindFirst(const std::wstring& c_strWildName,
                                       ARCHIVE_FILE* pstArchiveFile) {
    if (m_pcFindArchive == nullptr) return CA_ERROR;
    return m_pcFindArchive->FindFirst(c_strWildName, pstArchiveFile);
}

CA_RESULT CArchive_Selecter::FindNext(ARCHIVE_FILE* pstArchiveFile) {
    if (m_pcFindArchive == nullptr) return CA_ERROR;
    return m_pcFindArchive->FindNext(pstArchiveFile);
}

int32_t CArchive_Selecter::FindEnd() {
    return m_pcFindArchive != nullptr ? m_pcFindArchive->FindEnd() : 0;
}

int32_t CArchive_Selecter::FindProgress() {
    return m_pcFindArchive != nullptr ? m_pcFindArchive->FindProgress() : 0;
}

int64_t CArchive_Selecter::GetArchiveFileSize() {
    return m_pcFindArchive != nullptr ? m_pcFindArchive->GetArchiveFileSize() : 0;
}

int32_t CArchive_Selecter::Extract(const std::vector<std::wstring>& c_vstrExtractFiles,
                                   const std::wstring& c_strThawDirectory,
                                   EXT_MODE c_eExtractMode) {
    if (m_pcExtractArchive == nullptr) return -1;
    return m_pcExtractArchive->Extract(c_vstrExtractFiles, c_strThawDirectory, c_eExtractMode);
}

std::wstring CArchive_Selecter::GetLastMessage() const {
    return m_pcExtractArchive != nullptr ? m_pcExtractArchive->GetLastMessage() : std::wstring();
}

void CArchive_Selecter::SetExtractObserver(IExtractObserver* pcObserver) {
    CArchive::SetExtractObserver(pcObserver);
    for (auto& [c_strKey, pcArchive] : m_mapArchive) {
        if (pcArchive != nullptr) pcArchive->SetExtractObserver(pcObserver);
    }
}

uint32_t CArchive_Selecter::GetOpenReason() const {
    for (const std::wstring& c_strKey : m_vstrArchiveKey) {
        auto it = m_mapArchive.find(c_strKey);
        if (it == m_mapArchive.end() || it->second == nullptr) continue;
        if (const uint32_t nReason = it->second->GetOpenReason()) return nReason;
    }
    return 0;
}

int32_t CArchive_Selecter::EnumProperty(int32_t c_nIndex, ARCHIVE_PROPERTY* pstProperty) {
    if (pstProperty == nullptr || static_cast<uint32_t>(c_nIndex) >= m_vstrArchiveKey.size()) {
        return 0;
    }
    m_mapArchive[m_vstrArchiveKey[static_cast<size_t>(c_nIndex)]]->Property(pstProperty);
    return 1;
}

// The three formats, one driver each.

namespace {

void DescribeFormat(ARCHIVE_PROPERTY* pst, const wchar_t* c_pszType, const wchar_t* c_pszName,
                    const wchar_t* c_pszExt, CArchive* pcArchive) {
    pst->strProvider = c_pszType;
    pst->strName = c_pszName;
    pst->strType = c_pszType;
    pst->strExt = c_pszExt;
    pst->pcArchive = pcArchive;
}

}  // namespace

CArchive_Lha::CArchive_Lha() {
    DescribeFormat(&m_stProperty, L"LHA", L"LHA書庫", L".lzh", this);
}
CArchive_Lha::~CArchive_Lha() = default;
int32_t CArchive_Lha::ClassInitialize() {
    return RegisterDriver(L"Unlha32.dll", std::make_unique<CArchive_Lha_Unlha32>());
}

CArchive_Zip::CArchive_Zip() {
    DescribeFormat(&m_stProperty, L"ZIP", L"ZIP書庫", L".zip", this);
}
CArchive_Zip::~CArchive_Zip() = default;
int32_t CArchive_Zip::ClassInitialize() {
    return RegisterDriver(L"UnZip32.dll", std::make_unique<CArchive_Zip_UnZip32>());
}

CArchive_7Zip::CArchive_7Zip() {
    DescribeFormat(&m_stProperty, L"7-ZIP", L"7-ZIP書庫", L".7z", this);
}
CArchive_7Zip::~CArchive_7Zip() = default;
int32_t CArchive_7Zip::ClassInitialize() {
    return RegisterDriver(L"7-Zip32.dll", std::make_unique<CArchive_7Zip_7Zip32>());
}

}  // namespace shelf
