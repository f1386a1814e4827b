// The file list of the selected folder, the list caption and the status bar.
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidgetItem>
#include <algorithm>
#include <cmath>

#include "CArchive_Driver.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "CForm_FilerMain_Driver.h"
#include "CFormat.h"
#include "Form_FilerMain.h"

namespace kestrel {

namespace {

// The status bar lays out its items within these bounds; no lower bound of text width, so
// that the items never push the window wider than it is.
void SetStatusItemWidth(QWidget* pItem, int nWidth) {
    pItem->setMinimumWidth(nWidth > 0 ? 1 : 0);
    pItem->setMaximumWidth(nWidth);
}

QString SelectText(int64_t nCount, int64_t llSize) {
    return QStringLiteral("選択 %1 file, %2 byte")
        .arg(CFormat::Number(nCount), CFormat::Number(llSize));
}

}  // namespace

void CForm_FilerMain_Driver::UI_Update_FolderList(QTreeWidgetItem* pNode) {
    if (pNode == nullptr || !m_pcArchive_Driver->bFileOpened()) return;
    const QString strName = CFolderTreeView::NodeName(pNode);
    m_frmListLabel->setText(QStringLiteral("選択フォルダ  ") +
                            (strName.isEmpty() ? QStringLiteral("[全てのファイル]") : strName));

    std::vector<ListViewItem> vItems;
    const CIconList* pcImages = nullptr;
    int32_t nFileCount = 0;
    int64_t llOriginalSize = 0, llCompressedSize = 0;
    m_pcArchive_Driver->Get_FileListViewItems(strName, vItems, pcImages, nFileCount, llOriginalSize,
                                              llCompressedSize);
    m_pcFileListModel->SetItems(std::move(vItems), pcImages);
    m_cNameFilter.Clear();
    m_nFolderFileCount = nFileCount;
    m_llFolderFileSize = llOriginalSize;
    UI_Update_FilteredList();

    const double dRatio = m_pcArchive_Driver->dAvgRatio();
    // An archive without any bytes has no ratio; it shows as 0.00.
    m_frmStatusLabel_Archive->setText(
        QStringLiteral("圧縮後/圧縮前 %1 / %2 byte, 圧縮率 %3 %")
            .arg(CFormat::Number(m_pcArchive_Driver->llCompressFileSize()),
                 CFormat::Number(m_pcArchive_Driver->llExtractFileSize()),
                 CFormat::Decimal(std::isfinite(dRatio) ? dRatio * 100.0 : 0.0, 2)));
}

void CForm_FilerMain_Driver::UI_Update_Filter(const QString& c_strText) {
    if (c_strText == m_strFilter) return;
    m_strFilter = c_strText;
    if (m_pcArchive_Driver->bFileOpened() && !m_bFileOpenMode) UI_Update_FilteredList();
}

void CForm_FilerMain_Driver::UI_Prepare_Filter() {
    if (m_pcArchive_Driver->bFileOpened() && !m_bFileOpenMode && !m_cNameFilter.bIndexed())
        m_cNameFilter.Index(m_pcFileListModel->AllItems());
}

void CForm_FilerMain_Driver::UI_Update_FilteredList() {
    if (m_strFilter.isEmpty()) {
        if (m_pcFileListModel->bFiltered()) m_pcFileListModel->Show_AllRows();
    } else {
        // Folded once per folder, on the first search in it.
        UI_Prepare_Filter();
        m_pcFileListModel->Show_Rows(m_cNameFilter.Match(m_strFilter),
                                     m_pcArchive_Driver->bListViewRowsPluralColor());
    }

    // A refill drops the selection without telling anyone: start the figures over.
    m_nSelectedItemCount = 0;
    m_llSelectedItemFileSize = 0;
    UI_Update_SelectStatusText();
    if (!m_pcFileListModel->bFiltered()) {
        m_frmStatusLabel_Directory->setText(
            QStringLiteral("フォルダ %1 file, %2 byte")
                .arg(CFormat::Number(m_nFolderFileCount), CFormat::Number(m_llFolderFileSize)));
        return;
    }
    // Found of all: sizes as declared, so summed wide and shown no larger than the total.
    __int128 llFound = 0;
    const int nFound = m_pcFileListModel->rowCount();
    for (int nRow = 0; nRow < nFound; ++nRow)
        llFound += m_pcFileListModel->Item(nRow).pNode->stFile.nOriginalSize;
    const int64_t llShown =
        llFound > m_llFolderFileSize ? m_llFolderFileSize : static_cast<int64_t>(llFound);
    m_frmStatusLabel_Directory->setText(
        QStringLiteral("フォルダ %1 / %2 file, %3 / %4 byte")
            .arg(CFormat::Number(nFound), CFormat::Number(m_nFolderFileCount),
                 CFormat::Number(llShown), CFormat::Number(m_llFolderFileSize)));
}

void CForm_FilerMain_Driver::UI_Select_ParentFolder() {
    QTreeWidgetItem* pNode = m_frmTreeView->currentItem();
    // The root and the node of all files have no folder above them.
    if (pNode == nullptr || pNode->parent() == nullptr) return;
    m_frmTreeView->setCurrentItem(pNode->parent());
}

void CForm_FilerMain_Driver::UI_Update_SelectItemStatus(int nRow, bool bIsSelected) {
    if (nRow < 0 || nRow >= m_pcFileListModel->rowCount()) return;
    const int64_t llSize = m_pcFileListModel->Item(nRow).pNode->stFile.nOriginalSize;
    m_nSelectedItemCount += bIsSelected ? 1 : -1;
    m_llSelectedItemFileSize += bIsSelected ? llSize : -llSize;
    // Selecting a million rows reports a million changes: the text follows once they are in.
    if (!m_bSelectStatusPending) {
        m_bSelectStatusPending = true;
        QTimer::singleShot(0, m_frmWindow, [this] { UI_Update_SelectStatusText(); });
    }
}

void CForm_FilerMain_Driver::UI_Update_SelectStatusText() {
    m_bSelectStatusPending = false;
    m_frmStatusLabel_Select->setText(SelectText(m_nSelectedItemCount, llSelectedItemFileSize()));
}

void CForm_FilerMain_Driver::UI_Update_StatusBar_ItemWidth() {
    const int nWidth = std::max(0, m_frmStatusStrip->width() - 20);
    if (m_bFileOpenMode) {
        SetStatusItemWidth(m_frmStatusLabel_Select, 0);
        SetStatusItemWidth(m_frmStatusLabel_Directory, 0);
        SetStatusItemWidth(m_frmStatusLabel_Archive, 0);
        SetStatusItemWidth(m_frmStatusProgressBar, nWidth);
    } else {
        SetStatusItemWidth(m_frmStatusLabel_Select, nWidth * 26 / 100);
        SetStatusItemWidth(m_frmStatusLabel_Directory, nWidth * 28 / 100);
        SetStatusItemWidth(m_frmStatusLabel_Archive, nWidth * 46 / 100);
        SetStatusItemWidth(m_frmStatusProgressBar, 0);
    }
}

}  // namespace kestrel
