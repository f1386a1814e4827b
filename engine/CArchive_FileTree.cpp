#include "CArchive_FileTree.h"

#include <cwchar>
#include <functional>
#include <memory>
#include <vector>

namespace shelf {

using namespace NArchive;
using NODE = CArchive_FileTree::NODE;

namespace {

// Part c_nPart of the last split and its length, from where the next part starts.
std::wstring_view Component(const CStrSplit& c_cSplit, int32_t c_nPart) {
    const wchar_t* psz = c_cSplit.StrSplitNext(c_nPart);
    const wchar_t* pszNext = c_cSplit.StrSplitNext(c_nPart + 1);
    const size_t nLength =
        pszNext != nullptr ? static_cast<size_t>(pszNext - psz - 1) : std::wcslen(psz);
    return std::wstring_view(psz, nLength);
}

// Sizes are what the archive declares: a hostile one may claim 2^63 - 1 bytes per entry.
void AddSize(int64_t* pllTotal, int64_t c_llSize) {
    if (__builtin_add_overflow(*pllTotal, c_llSize, pllTotal)) {
        *pllTotal = c_llSize > 0 ? INT64_MAX : INT64_MIN;
    }
}

}  // namespace

size_t CArchive_FileTree::CHILD_KEY_HASH::operator()(const CHILD_KEY& c_st) const {
    const size_t nName = std::hash<std::string_view>()(c_st.strName) + c_st.nWidth;
    const size_t nParent = std::hash<const void*>()(c_st.pParent);
    return nName ^ (nParent * 0x9E3779B97F4A7C15ull + static_cast<size_t>(c_st.nType) + 1);
}

CArchive_FileTree::CArchive_FileTree() = default;

CArchive_FileTree::~CArchive_FileTree() {
    ReleaseNodes();
}

NODE* CArchive_FileTree::NewNode() {
    if (m_nNodesInLastBlock == kNodesPerBlock) {
        m_vecNodeBlocks.reserve(m_vecNodeBlocks.size() + 1);
        m_vecNodeBlocks.push_back(
            static_cast<NODE*>(::operator new(sizeof(NODE) * kNodesPerBlock)));
        m_nNodesInLastBlock = 0;
    }
    NODE* pstNode = new (m_vecNodeBlocks.back() + m_nNodesInLastBlock) NODE();
    ++m_nNodesInLastBlock;
    return pstNode;
}

const CTreeString::BLOCK* CArchive_FileTree::NewText(const CTreeString* c_pPrefix,
                                                     std::wstring_view c_str) {
    const uint8_t nWidth = CTreeString::WidthOf(c_str);
    const size_t nBytes = CTreeString::BlockSize(c_str.size(), nWidth);
    unsigned char* pMemory;
    if (nBytes > kTextBlockSize / 4) {
        // A long text gets a block of its own; the next short one starts a new block.
        m_vecTextBlocks.push_back(std::make_unique<unsigned char[]>(nBytes));
        pMemory = m_vecTextBlocks.back().get();
        m_nTextUsed = kTextBlockSize;
    } else {
        if (m_nTextUsed + nBytes > kTextBlockSize) {
            m_vecTextBlocks.push_back(std::make_unique<unsigned char[]>(kTextBlockSize));
            m_nTextUsed = 0;
        }
        pMemory = m_vecTextBlocks.back().get() + m_nTextUsed;
        m_nTextUsed += nBytes;
    }
    return CTreeString::MakeBlock(pMemory, c_pPrefix, c_str, nWidth);
}

NODE* CArchive_FileTree::NewRoot() {
    NODE* pstRoot = NewNode();
    pstRoot->nType = NODE::NT_ROOT;
    pstRoot->stFile.strFullPath = CTreeString::Borrow(NewText(nullptr, L"/"), false);
    pstRoot->nStatus = NODE::NS_NORMAL;
    return pstRoot;
}

void CArchive_FileTree::ReleaseNodes() {
    m_mapChild.clear();
    m_bFilesIndexed = false;
    m_pstRoot = nullptr;
    m_pstLastFolder = nullptr;
    m_strLastFolder.clear();
    for (size_t nBlock = m_vecNodeBlocks.size(); nBlock-- > 0;) {
        NODE* pstBlock = m_vecNodeBlocks[nBlock];
        const size_t nCount =
            nBlock + 1 == m_vecNodeBlocks.size() ? m_nNodesInLastBlock : kNodesPerBlock;
        for (size_t i = nCount; i-- > 0;) pstBlock[i].~NODE();
        ::operator delete(pstBlock);
    }
    m_vecNodeBlocks.clear();
    m_nNodesInLastBlock = kNodesPerBlock;
    m_vecTextBlocks.clear();
    m_nTextUsed = kTextBlockSize;
}

int32_t CArchive_FileTree::Initialize() {
    ReleaseNodes();
    m_pstRoot = NewRoot();
    return 1;
}

int32_t CArchive_FileTree::Uninitialize() {
    if (m_pstRoot == nullptr) return 0;
    ReleaseNodes();
    return 1;
}

NODE* CArchive_FileTree::RootNode() const {
    return m_pstRoot;
}

void CArchive_FileTree::IndexChild(NODE* pstChild) const {
    if (pstChild->nStatus == NODE::NS_EXCLUDED) return;
    m_mapChild.try_emplace(
        CHILD_KEY{pstChild->pParent, pstChild->nType, pstChild->strFileName.OwnWidth(),
                  pstChild->strFileName.OwnBytes()},
        pstChild);
}

void CArchive_FileTree::IndexFiles() const {
    m_bFilesIndexed = true;
    if (m_pstRoot == nullptr) return;
    m_mapChild.reserve(m_mapChild.size() + static_cast<size_t>(m_pstRoot->nTotalFileCount));
    std::vector<const NODE*> vecPending{m_pstRoot};
    while (!vecPending.empty()) {
        const NODE* pstNode = vecPending.back();
        vecPending.pop_back();
        for (NODE* pstChild : pstNode->vecChildren) {
            if (pstChild->nType == NODE::NT_FILE) {
                IndexChild(pstChild);
            } else {
                vecPending.push_back(pstChild);
            }
        }
    }
}

NODE* CArchive_FileTree::FindChild(const NODE* c_pstParent, NODE::NODETYPE c_nType,
                                   std::wstring_view c_strName) const {
    if (c_nType == NODE::NT_FILE && !m_bFilesIndexed) IndexFiles();
    uint8_t nWidth = 1;
    const std::string_view strEncoded = CTreeString::Encode(c_strName, &m_strEncoded, &nWidth);
    auto it = m_mapChild.find(CHILD_KEY{c_pstParent, c_nType, nWidth, strEncoded});
    if (it == m_mapChild.end()) return nullptr;
    NODE* pstFound = it->second;
    if (pstFound->nStatus != NODE::NS_EXCLUDED) return pstFound;

    // Excluded after it was indexed: look again the slow way and mend the index.
    m_mapChild.erase(it);
    for (NODE* pstChild : c_pstParent->vecChildren) {
        if (pstChild->nType == c_nType && pstChild->nStatus != NODE::NS_EXCLUDED &&
            pstChild->strFileName == c_strName) {
            IndexChild(pstChild);
            return pstChild;
        }
    }
    return nullptr;
}

NODE* CArchive_FileTree::AddFolders(const std::wstring& c_strPath, bool c_bFile,
                                    int64_t c_llOriginal, int64_t c_llCompressed,
                                    NODE::NODESTATUS c_nStatus) {
    const int32_t nParts = m_cSplit.StrSplit(c_strPath.c_str(), L'/');
    if (c_bFile) {
        m_pstRoot->nTotalFileCount += 1;
        AddSize(&m_pstRoot->llTotalOriginalSize, c_llOriginal);
        AddSize(&m_pstRoot->llTotalCompressedSize, c_llCompressed);
    }
    NODE* pstCurrent = m_pstRoot;
    for (int32_t i = 1; i < nParts - 1; ++i) {
        m_strComponent.assign(Component(m_cSplit, i));
        m_strComponent += L'/';
        NODE* pstFolder = FindChild(pstCurrent, NODE::NT_DIRECTORY, m_strComponent);
        if (pstFolder == nullptr) {
            pstFolder = NewNode();
            pstFolder->nType = NODE::NT_DIRECTORY;
            // The name ends the folder's path: both read the same stored characters.
            const CTreeString::BLOCK* pText =
                NewText(&pstCurrent->stFile.strFullPath, m_strComponent);
            pstFolder->strFileName = CTreeString::Borrow(pText, true);
            pstFolder->stFile.strFullPath = CTreeString::Borrow(pText, false);
            pstFolder->pParent = pstCurrent;
            pstFolder->nStatus = c_nStatus;
            pstCurrent->vecChildren.push_back(pstFolder);
            IndexChild(pstFolder);
        }
        if (c_bFile) {
            pstFolder->nTotalFileCount += 1;
            AddSize(&pstFolder->llTotalOriginalSize, c_llOriginal);
            AddSize(&pstFolder->llTotalCompressedSize, c_llCompressed);
        }
        pstCurrent = pstFolder;
    }
    return pstCurrent;
}

int32_t CArchive_FileTree::AddNode(const ARCHIVE_FILE& c_stArchiveFile,
                                   NODE::NODESTATUS c_nStatus) {
    if (m_pstRoot == nullptr) m_pstRoot = NewRoot();
    const std::wstring& c_strPath = c_stArchiveFile.strFullPath;
    if (c_strPath.empty() || c_strPath[0] != L'/') return 0;

    // As the splitter reads it: up to the first NUL.
    const std::wstring_view strPath(c_strPath.c_str());
    const size_t nLastSlash = strPath.rfind(L'/');
    const std::wstring_view strFolder = strPath.substr(0, nLastSlash + 1);
    const std::wstring_view strLast = strPath.substr(nLastSlash + 1);
    const bool bFile = !strLast.empty();
    const int64_t llOriginal = c_stArchiveFile.nOriginalSize;
    const int64_t llCompressed = c_stArchiveFile.nCompressedSize;

    // The same folder as the last entry's: lookups would find the same nodes, unless one of
    // them has been excluded since.
    NODE* pstCurrent = nullptr;
    if (m_pstLastFolder != nullptr && strFolder == m_strLastFolder) {
        pstCurrent = m_pstLastFolder;
        for (const NODE* p = pstCurrent; p != nullptr; p = p->pParent) {
            if (p->nStatus == NODE::NS_EXCLUDED) {
                pstCurrent = nullptr;
                break;
            }
        }
    }
    if (pstCurrent != nullptr) {
        if (bFile) {
            for (NODE* p = pstCurrent; p != nullptr; p = p->pParent) {
                p->nTotalFileCount += 1;
                AddSize(&p->llTotalOriginalSize, llOriginal);
                AddSize(&p->llTotalCompressedSize, llCompressed);
            }
        }
    } else {
        pstCurrent = AddFolders(c_strPath, bFile, llOriginal, llCompressed, c_nStatus);
        m_pstLastFolder = pstCurrent;
        m_strLastFolder.assign(strFolder);
    }

    if (bFile) {
        NODE* pstFile = NewNode();
        pstFile->nType = NODE::NT_FILE;
        auto& stFile = pstFile->stFile;
        stFile.nOriginalSize = c_stArchiveFile.nOriginalSize;
        stFile.nCompressedSize = c_stArchiveFile.nCompressedSize;
        stFile.nFlag = c_stArchiveFile.nFlag;
        stFile.nOSType = c_stArchiveFile.nOSType;
        stFile.dRatio = c_stArchiveFile.dRatio;
        stFile.ftUpdate = c_stArchiveFile.ftUpdate;
        // The entry's path is its folder's path and its name, split at every "/".
        const CTreeString::BLOCK* pText = NewText(&pstCurrent->stFile.strFullPath, strLast);
        stFile.strFullPath = CTreeString::Borrow(pText, false);
        pstFile->strFileName = CTreeString::Borrow(pText, true);
        pstFile->pParent = pstCurrent;
        pstFile->nStatus = c_nStatus;
        pstCurrent->vecChildren.push_back(pstFile);
        pstCurrent->nFileCount += 1;
        AddSize(&pstCurrent->llOriginalSize, llOriginal);
        AddSize(&pstCurrent->llCompressedSize, llCompressed);
        if (m_bFilesIndexed) IndexChild(pstFile);
    }
    return 1;
}

NODE* CArchive_FileTree::FindNode(const std::wstring& c_strPath) const {
    if (m_pstRoot == nullptr || c_strPath.empty() || c_strPath[0] != L'/') return nullptr;
    const int32_t nParts = m_cSplit.StrSplit(c_strPath.c_str(), L'/');
    NODE* pstCurrent = m_pstRoot;
    for (int32_t i = 1; i < nParts - 1; ++i) {
        m_strComponent.assign(Component(m_cSplit, i));
        m_strComponent += L'/';
        pstCurrent = FindChild(pstCurrent, NODE::NT_DIRECTORY, m_strComponent);
        if (pstCurrent == nullptr) return nullptr;
    }
    const std::wstring_view strLast = Component(m_cSplit, nParts - 1);
    if (strLast.empty()) return pstCurrent;
    return FindChild(pstCurrent, NODE::NT_FILE, strLast);
}

}  // namespace shelf
