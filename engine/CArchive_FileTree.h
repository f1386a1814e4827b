// The entries of an archive arranged by folder, with per-folder and per-subtree counts and
// sizes. The tree owns every node; pointers it hands out stay valid until the next
// Initialize, Uninitialize or its destruction.
#pragma once

#include <cstdint>
#include <string>

#include "NArchive.h"

namespace shelf {

class CArchive_FileTree {
public:
    using NODE = NArchive::ARCHIVEFILETREE_NODE;

    CArchive_FileTree();
    ~CArchive_FileTree();
    CArchive_FileTree(const CArchive_FileTree&) = delete;
    CArchive_FileTree& operator=(const CArchive_FileTree&) = delete;

    int32_t Initialize();    // a bare root; 1
    int32_t Uninitialize();  // no root; 1, or 0 when there was none
    // 1 when placed; 0 when the path does not begin with "/".
    int32_t AddNode(const NArchive::ARCHIVE_FILE& c_stArchiveFile, NODE::NODESTATUS c_nStatus);
    NODE* RootNode() const;
    // A folder by a path ending in "/", a file by one that does not; null when absent.
    NODE* FindNode(const std::wstring& c_strPath) const;

private:
    NODE* m_pstRoot = nullptr;
};

}  // namespace shelf
