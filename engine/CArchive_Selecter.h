// An archive object that stands for one archive format (or, for the unified archive, for all
// of them) and forwards every operation to the registered object chosen for it. It owns the
// registered objects.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CArchive.h"

namespace shelf {

class CArchive_Selecter : public CArchive {
public:
    CArchive_Selecter() = default;
    ~CArchive_Selecter() override;

    void ClassUninitialize() override;
    int32_t Initialize() override;
    int32_t Uninitialize() override;
    int32_t Ready() override { return 0; }
    NArchive::CA_RESULT Create(void* hWnd, const std::wstring& c_strFileName) override;
    NArchive::CA_RESULT Open(void* hWnd, const std::wstring& c_strFileName) override;
    int32_t Close() override;
    NArchive::CA_RESULT FindFirst(const std::wstring& c_strWildName,
                                  NArchive::ARCHIVE_FILE* pstArchiveFile) override;
    NArchive::CA_RESULT FindNext(NArchive::ARCHIVE_FILE* pstArchiveFile) override;
    int32_t FindEnd() override;
    int32_t FindProgress() override;
    int64_t GetArchiveFileSize() override;
    int32_t Extract(const std::vector<std::wstring>& c_vstrExtractFiles,
                    const std::wstring& c_strThawDirectory,
                    NArchive::EXT_MODE c_eExtractMode) override;

    // 1 and the description of the registered object at that position; 0 out of range.
    virtual int32_t EnumProperty(int32_t c_nIndex, NArchive::ARCHIVE_PROPERTY* pstProperty);
    std::wstring GetLastMessage() const override;
    // Passed on to every registered object.
    void SetExtractObserver(IExtractObserver* pcObserver) override;
    uint32_t GetOpenReason() const override;

protected:
    // A registered key is never registered twice: the second object is released.
    void RegisterArchive(const std::wstring& c_strKey, std::unique_ptr<CArchive> pcArchive);
    // A format's ClassInitialize: initialise and register its driver, merge flags.
    int32_t RegisterDriver(const std::wstring& c_strKey, std::unique_ptr<CArchive> pcDriver);
    void ChooseArchives();

    std::vector<std::wstring> m_vstrArchiveKey;  // registration order
    std::map<std::wstring, std::unique_ptr<CArchive>> m_mapArchive;
    CArchive* m_pcFindArchive = nullptr;
    CArchive* m_pcExtractArchive = nullptr;
    std::set<CArchive*> m_setOpenArchive;

private:
    void ReleaseArchives();
};

class CArchive_Lha : public CArchive_Selecter {
public:
    CArchive_Lha();
    ~CArchive_Lha() override;
    int32_t ClassInitialize() override;
};

class CArchive_Zip : public CArchive_Selecter {
public:
    CArchive_Zip();
    ~CArchive_Zip() override;
    int32_t ClassInitialize() override;
};

class CArchive_7Zip : public CArchive_Selecter {
public:
    CArchive_7Zip();
    ~CArchive_7Zip() override;
    int32_t ClassInitialize() override;
};

}  // namespace shelf
