// The folder tree and the file-list rows, built from the archive file tree.
#include <QStandardItem>

#include "CArchive_Driver.h"
#include "Platform.h"

namespace kestrel {

namespace {

bool IsListed(const NODE* pstNode, NODE::NODETYPE eType) {
    return pstNode->nType == eType && pstNode->nStatus != NODE::NS_EXCLUDED;
}

// The next listed subfolder of pstNode from position nNext on (which moves past it), or null.
const NODE* NextFolder(const NODE* pstNode, size_t& nNext) {
    const auto& vecChildren = pstNode->vecChildren;
    while (nNext < vecChildren.size()) {
        const NODE* pstChild = vecChildren[nNext++];
        if (IsListed(pstChild, NODE::NT_DIRECTORY)) return pstChild;
    }
    return nullptr;
}

// Calls fnVisit for every listed folder below and including pstFolder, each folder after all
// of its subfolders, subfolders in the order they were added. Iterative: archives may nest
// folders thousands deep.
template <class Visit>
void ForEachFolderPostOrder(const NODE* pstFolder, Visit fnVisit) {
    struct Frame {
        const NODE* pstNode;
        size_t nNext;
    };
    std::vector<Frame> vStack{{pstFolder, 0}};
    while (!vStack.empty()) {
        Frame& stTop = vStack.back();
        if (const NODE* pstChild = NextFolder(stTop.pstNode, stTop.nNext)) {
            vStack.push_back({pstChild, 0});
        } else {
            const NODE* pstDone = stTop.pstNode;
            vStack.pop_back();
            fnVisit(pstDone);
        }
    }
}

QString Visible(const QString& c_strText) {
    return QString::fromStdWString(shelf::VisibleText(c_strText.toStdWString()));
}

// The label and tool tip show control characters written out; the name keeps them.
QStandardItem* NewFolderItem(const QString& c_strText, const QString& c_strName) {
    auto* pItem = new QStandardItem(Visible(c_strText));
    pItem->setData(c_strName, CArchive_Driver::NameRole);
    pItem->setEditable(false);
    pItem->setToolTip(Visible(c_strName));
    return pItem;
}

}  // namespace

const NODE* CArchive_Driver::FindNode(const QString& c_strPath) const {
    return m_pcFileTree->FindNode(c_strPath.toStdWString());
}

int32_t CArchive_Driver::Get_DirectoryTree(QStandardItem*& frmTreeNodeRoot) {
    frmTreeNodeRoot = NewFolderItem(QStringLiteral("[ルート]"), QStringLiteral("/"));
    return Get_DirectoryTree(QStringLiteral("/"), *frmTreeNodeRoot);
}

int32_t CArchive_Driver::Get_DirectoryTree(const QString& strDirectory,
                                           QStandardItem& frmTreeNode) {
    if (!strDirectory.startsWith(QLatin1Char('/'))) return 1;
    const NODE* pstFolder = FindNode(strDirectory);
    if (pstFolder == nullptr) return 1;
    // Depth-first copy of the folders in the order they were added.
    struct Frame {
        const NODE* pstNode;
        QStandardItem* pItem;
        size_t nNext;
    };
    std::vector<Frame> vStack{{pstFolder, &frmTreeNode, 0}};
    while (!vStack.empty()) {
        Frame& stTop = vStack.back();
        const NODE* pstChild = NextFolder(stTop.pstNode, stTop.nNext);
        if (pstChild == nullptr) {
            vStack.pop_back();
            continue;
        }
        const QString strName = QString::fromStdWString(pstChild->strFileName);
        QStandardItem* pItem = NewFolderItem(strName.chopped(strName.isEmpty() ? 0 : 1),
                                             QString::fromStdWString(pstChild->stFile.strFullPath));
        stTop.pItem->appendRow(pItem);
        vStack.push_back({pstChild, pItem, 0});
    }
    return 1;
}

int32_t CArchive_Driver::Get_FileListViewItems(const QString& strDirectory,
                                               std::vector<ListViewItem>& frmListViewItems,
                                               const CIconList*& clrImageList, int32_t& nFileCount,
                                               int64_t& nOriginalSize, int64_t& nCompressedSize) {
    int32_t nFilled = 0;
    clrImageList = &m_ilIcon;
    if (strDirectory.isEmpty()) {
        const NODE* pstRoot = m_pcFileTree->RootNode();
        if (pstRoot == nullptr) return 0;
        frmListViewItems.assign(static_cast<size_t>(pstRoot->nTotalFileCount), ListViewItem{});
        nFilled = Create_AllFileListViewItems(pstRoot, frmListViewItems, 0);
        nFileCount = pstRoot->nTotalFileCount;
        nOriginalSize = pstRoot->llTotalOriginalSize;
        nCompressedSize = pstRoot->llTotalCompressedSize;
    } else if (strDirectory.startsWith(QLatin1Char('/'))) {
        const NODE* pstNode = FindNode(strDirectory);
        if (pstNode == nullptr) return 0;
        frmListViewItems.assign(static_cast<size_t>(pstNode->nFileCount), ListViewItem{});
        nFilled = Create_FileListViewItems(pstNode, frmListViewItems, 0);
        nFileCount = pstNode->nFileCount;
        nOriginalSize = pstNode->llOriginalSize;
        nCompressedSize = pstNode->llCompressedSize;
    } else {
        return 0;
    }
    frmListViewItems.resize(static_cast<size_t>(nFilled));
    return nFilled;
}

int32_t CArchive_Driver::Create_FileListViewItems(const NODE* pstNode,
                                                  std::vector<ListViewItem>& frmItems,
                                                  int32_t nIndex) {
    const bool bPluralColor = m_bListViewRowsPluralColor;
    for (const NODE* pstChild : pstNode->vecChildren) {
        if (!IsListed(pstChild, NODE::NT_FILE)) continue;
        if (static_cast<size_t>(nIndex) >= frmItems.size()) frmItems.resize(nIndex + 1);
        ListViewItem& stItem = frmItems[static_cast<size_t>(nIndex)];
        stItem.pNode = pstChild;
        stItem.nExtIndex = GetExtIndex(pstChild->strFileName);
        stItem.bAzure = bPluralColor && nIndex % 2 == 0;
        ++nIndex;
    }
    return nIndex;
}

int32_t CArchive_Driver::Create_AllFileListViewItems(const NODE* pstNode,
                                                     std::vector<ListViewItem>& frmItems,
                                                     int32_t nIndex) {
    ForEachFolderPostOrder(pstNode, [&](const NODE* pstFolder) {
        nIndex = Create_FileListViewItems(pstFolder, frmItems, nIndex);
    });
    return nIndex;
}

int64_t CArchive_Driver::Get_SelectedFilesSize(const QStringList& c_strKeys) const {
    int64_t llSize = 0;
    for (const QString& strKey : c_strKeys) {
        const NODE* pstNode = FindNode(strKey);
        // Declared sizes may add up past 2^63.
        if (pstNode != nullptr &&
            __builtin_add_overflow(llSize, pstNode->stFile.nOriginalSize, &llSize))
            return INT64_MAX;
    }
    return llSize;
}

int32_t CArchive_Driver::Create_FileList(const NODE* pstNode, QStringList& strFiles) {
    int32_t nCount = 0;
    for (const NODE* pstChild : pstNode->vecChildren) {
        if (!IsListed(pstChild, NODE::NT_FILE)) continue;
        strFiles.append(QString::fromStdWString(pstChild->stFile.strFullPath));
        ++nCount;
    }
    return nCount;
}

int32_t CArchive_Driver::Create_AllFileList(const NODE* pstNode, QStringList& strFiles) {
    int32_t nCount = 0;
    ForEachFolderPostOrder(
        pstNode, [&](const NODE* pstFolder) { nCount += Create_FileList(pstFolder, strFiles); });
    return nCount;
}

}  // namespace kestrel
