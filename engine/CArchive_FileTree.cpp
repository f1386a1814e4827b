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
    const size_t nName = std::hash<std::wstring_view>()(c_st.strName);
    const size_t nParent = std::hash<const void*>()(c_st.pParent);
    return nName ^ (nParent * 0x9E3779B97F4A7C15ull + static_cast<size_t>(c_st.nType) + 1);
}

CArchive_FileTree::CArchive_FileTree() = default;

CArchive_FileTree::~CArchive_FileTree() {
    ReleaseNodes();
}

NODE* CArchive_FileTree::NewRoot() {
    auto* pstRoot = new NODE();
    pstRoot->nType = NODE::NT_ROOT;
    pstRoot->stFile.strFullPath = L"/";
    pstRoot->nStatus = NODE::NS_NORMAL;
    return pstRoot;
}

void CArchive_FileTree::ReleaseNodes() {
    m_mapChild.clear();
    m_bFilesIndexed = false;
    if (m_pstRoot == nullptr) return;
    // Without recursion: a hostile archive may nest folders thousands deep.
    std::vector<NODE*> vecPending{m_pstRoot};
    m_pstRoot = nullptr;
    while (!vecPending.empty()) {
        NODE* pstNode = vecPending.back();
        vecPending.pop_back();
        vecPending.insert(vecPending.end(), pstNode->vecChildren.begin(),
                          pstNode->vecChildren.end());
        delete pstNode;
    }
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
    m_mapChild.try_emplace(CHILD_KEY{pstChild->pParent, pstChild->nType, pstChild->strFileName},
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
    auto it = m_mapChild.find(CHILD_KEY{c_pstParent, c_nType, c_strName});
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

int32_t CArchive_FileTree::AddNode(const ARCHIVE_FILE& c_stArchiveFile,
                                   NODE::NODESTATUS c_nStatus) {
    if (m_pstRoot == nullptr) m_pstRoot = NewRoot();
    const std::wstring& c_strPath = c_stArchiveFile.strFullPath;
    if (c_strPath.empty() || c_strPath[0] != L'/') return 0;

    const int32_t nParts = m_cSplit.StrSplit(c_strPath.c_str(), L'/');
    const std::wstring_view strLast = Component(m_cSplit, nParts - 1);
    const bool bFile = !strLast.empty();
    const int64_t llOriginal = c_stArchiveFile.nOriginalSize;
    const int64_t llCompressed = c_stArchiveFile.nCompressedSize;
    if (bFile) {
        m_pstRoot->nTotalFileCount += 1;
        AddSize(&m_pstRoot->llTotalOriginalSize, llOriginal);
        AddSize(&m_pstRoot->llTotalCompressedSize, llCompressed);
    }

    NODE* pstCurrent = m_pstRoot;
    for (int32_t i = 1; i < nParts - 1; ++i) {
        m_strComponent.assign(Component(m_cSplit, i));
        m_strComponent += L'/';
        NODE* pstFolder = FindChild(pstCurrent, NODE::NT_DIRECTORY, m_strComponent);
        if (pstFolder == nullptr) {
            auto pstNew = std::make_unique<NODE>();
            pstNew->nType = NODE::NT_DIRECTORY;
            pstNew->strFileName = m_strComponent;
            pstNew->stFile.strFullPath.reserve(pstCurrent->stFile.strFullPath.size() +
                                               m_strComponent.size());
            pstNew->stFile.strFullPath = pstCurrent->stFile.strFullPath;
            pstNew->stFile.strFullPath += m_strComponent;
            pstNew->pParent = pstCurrent;
            pstNew->nStatus = c_nStatus;
            pstCurrent->vecChildren.push_back(pstNew.get());
            pstFolder = pstNew.release();
            IndexChild(pstFolder);
        }
        if (bFile) {
            pstFolder->nTotalFileCount += 1;
            AddSize(&pstFolder->llTotalOriginalSize, llOriginal);
            AddSize(&pstFolder->llTotalCompressedSize, llCompressed);
        }
        pstCurrent = pstFolder;
    }

    if (bFile) {
        auto pstNew = std::make_unique<NODE>();
        pstNew->nType = NODE::NT_FILE;
        pstNew->stFile = c_stArchiveFile;
        pstNew->strFileName = strLast;
        pstNew->pParent = pstCurrent;
        pstNew->nStatus = c_nStatus;
        pstCurrent->vecChildren.push_back(pstNew.get());
        NODE* pstFile = pstNew.release();
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
