// The entries of an archive arranged by folder, with per-folder and per-subtree counts and
// sizes. The tree owns every node; pointers it hands out, and the texts of its nodes, stay
// valid until the next Initialize, Uninitialize or its destruction. Children are found through
// a hash index: a node's name, path and type must not change after AddNode (a node excluded
// later is skipped from then on). Nodes and their texts are kept in large blocks, not one
// allocation each: a million entries must fit in a few hundred megabytes. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "CStrSplit.h"
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
    // (parent, type, name) of a child that lookups may find: not excluded, first of its kind.
    // The name is in the encoded form of CTreeString::OwnBytes.
    struct CHILD_KEY {
        const NODE* pParent;
        int32_t nType;
        uint8_t nWidth;
        std::string_view strName;
        bool operator==(const CHILD_KEY&) const = default;
    };
    struct CHILD_KEY_HASH {
        size_t operator()(const CHILD_KEY& c_st) const;
    };

    NODE* NewNode();
    // A block for the text of a node, in the tree's storage.
    const CTreeString::BLOCK* NewText(const CTreeString* c_pPrefix, std::wstring_view c_str);
    NODE* NewRoot();
    // Finds or makes the folders of the path, adding a file's sizes to their subtree totals
    // and the root's; the folder that holds the last component.
    NODE* AddFolders(const std::wstring& c_strPath, bool c_bFile, int64_t c_llOriginal,
                     int64_t c_llCompressed, NODE::NODESTATUS c_nStatus);
    void ReleaseNodes();
    // The first non-excluded child of that type and exact name, or null.
    NODE* FindChild(const NODE* c_pstParent, NODE::NODETYPE c_nType,
                    std::wstring_view c_strName) const;
    void IndexChild(NODE* pstChild) const;
    void IndexFiles() const;

    NODE* m_pstRoot = nullptr;
    // Nodes in creation order, in blocks of kNodesPerBlock; released in reverse, so children
    // go before their parents.
    static constexpr size_t kNodesPerBlock = 512;
    std::vector<NODE*> m_vecNodeBlocks;
    size_t m_nNodesInLastBlock = kNodesPerBlock;
    // Texts, in blocks of kTextBlockSize bytes (longer texts get a block of their own).
    static constexpr size_t kTextBlockSize = 64 * 1024;
    std::vector<std::unique_ptr<unsigned char[]>> m_vecTextBlocks;
    size_t m_nTextUsed = kTextBlockSize;
    mutable std::string m_strEncoded;
    mutable std::unordered_map<CHILD_KEY, NODE*, CHILD_KEY_HASH> m_mapChild;
    // Files are indexed on the first file lookup only: listing never needs it.
    mutable bool m_bFilesIndexed = false;
    // The folder of the last entry added and its path up to the last "/": archives list a
    // folder's entries together, and the next entry's folders need no lookup then.
    NODE* m_pstLastFolder = nullptr;
    std::wstring m_strLastFolder;
    mutable CStrSplit m_cSplit;
    mutable std::wstring m_strComponent;
};

}  // namespace shelf
