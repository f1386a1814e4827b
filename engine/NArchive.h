// Shared vocabulary of the archive library: result codes, extraction modes and the records
// that describe an archiver, an entry and a node of the file tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CTreeString.h"

namespace shelf {

class CArchive;

namespace NArchive {

// Negative is failure; callers compare with the exact codes.
enum CA_RESULT : int32_t {
    CA_OPENED = 2,
    CA_NEWFILE = 1,
    CA_OK = 0,
    CA_ERROR = -1,
    CA_NO_ARCHIVER = -2,
    CA_OPEN_FAILED = -3,
    CA_UNKNOWN_EXT = -4,
};

// Three independent fields: overwrite policy (one value), folder paths, queries (one value);
// and EXT_TEST, which decodes and checks the entries instead and writes nothing (the other
// fields then play no part).
enum EXT_MODE : uint32_t {
    EXT_OVERWRITE_MASK = 0x0F,
    EXT_OVERWRITE_DEFAULT = 0x00,
    EXT_OVERWRITE_MODE1 = 0x01,
    EXT_OVERWRITE = 0x02,
    EXT_NO_OVERWRITE = 0x04,

    EXT_PATH_MASK = 0x30,
    EXT_WITH_PATH = 0x10,
    EXT_WITHOUT_PATH = 0x20,

    EXT_CONFIRM_MASK = 0xC0,
    EXT_CONFIRM = 0x40,
    EXT_NO_CONFIRM = 0x80,

    EXT_TEST = 0x100,
};

constexpr EXT_MODE operator|(EXT_MODE a, EXT_MODE b) {
    return static_cast<EXT_MODE>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}
constexpr EXT_MODE& operator|=(EXT_MODE& a, EXT_MODE b) {
    return a = a | b;
}

// 100-ns units since 1601-01-01, low half first. A high half of 0xFFFFFFFF means "unknown".
struct FILETIME {
    uint32_t dwLowDateTime = 0;
    uint32_t dwHighDateTime = 0;

    bool operator==(const FILETIME&) const = default;
};

struct ARCHIVE_PROPERTY {
    std::wstring strProvider;
    std::wstring strName;
    std::wstring strType;
    std::wstring strExt;
    int32_t bFind = 0;
    int32_t bCompress = 0;
    int32_t bExtract = 0;
    int32_t bUpdate = 0;
    int32_t bRename = 0;
    int32_t bDelete = 0;
    CArchive* pcArchive = nullptr;
};

// One entry as enumerated (ARCHIVE_FILE), or as a file-tree node keeps it (with the tree's
// compact text for the path). Either converts to the other field by field.
template <class STRING>
struct BASIC_ARCHIVE_FILE {
    int64_t nOriginalSize = 0;
    int64_t nCompressedSize = 0;
    uint32_t nFlag = 0;
    uint32_t nOSType = 0;
    double dRatio = 0.0;
    FILETIME ftUpdate;
    STRING strFullPath;

    BASIC_ARCHIVE_FILE() = default;
    template <class OTHER>
    explicit BASIC_ARCHIVE_FILE(const BASIC_ARCHIVE_FILE<OTHER>& c_stOther)
        : nOriginalSize(c_stOther.nOriginalSize),
          nCompressedSize(c_stOther.nCompressedSize),
          nFlag(c_stOther.nFlag),
          nOSType(c_stOther.nOSType),
          dRatio(c_stOther.dRatio),
          ftUpdate(c_stOther.ftUpdate),
          strFullPath(c_stOther.strFullPath) {}
};

using ARCHIVE_FILE = BASIC_ARCHIVE_FILE<std::wstring>;

// The texts of nodes made by the file tree borrow the tree's storage (see CTreeString).
struct ARCHIVEFILETREE_NODE {
    enum NODETYPE : int32_t {
        NT_FILE = 0,
        NT_DIRECTORY = 1,
        NT_ROOT = 2,
        NT_NONE = 3,
    };
    enum NODESTATUS : int32_t {
        NS_NORMAL = 0,
        NS_EXCLUDED = 2,
    };

    NODETYPE nType = NT_NONE;
    BASIC_ARCHIVE_FILE<CTreeString> stFile;
    CTreeString strFileName;
    ARCHIVEFILETREE_NODE* pParent = nullptr;
    NODESTATUS nStatus = NS_NORMAL;
    CTreeString strOrgFullPath;
    std::vector<ARCHIVEFILETREE_NODE*> vecChildren;  // owned by the tree, not by the node
    int32_t nFileCount = 0;
    int64_t llOriginalSize = 0;
    int64_t llCompressedSize = 0;
    int32_t nTotalFileCount = 0;
    int64_t llTotalOriginalSize = 0;
    int64_t llTotalCompressedSize = 0;
};

}  // namespace NArchive
}  // namespace shelf
