#include "CFileListModel.h"

#include "CFormat.h"
#include "Platform.h"

namespace kestrel {

QString ListViewColumn_Text(int nColumn) {
    static const char16_t* const apszHeader[Column_Count] = {
        u"ファイル名", u"ファイルの種類", u"サイズ",  u"圧縮サイズ",
        u"圧縮率",     u"更新日時",       u"フォルダ"};
    if (nColumn < 0 || nColumn >= Column_Count) return QString();
    return QString::fromUtf16(apszHeader[nColumn]);
}

Qt::Alignment ListViewColumn_Alignment(int nColumn) {
    const bool bRight =
        nColumn == Column_OrgSize || nColumn == Column_CmpSize || nColumn == Column_Ratio;
    return bRight ? Qt::AlignRight : Qt::AlignLeft;
}

CFileListModel::CFileListModel(const CArchive_Driver* pcDriver, QObject* pParent)
    : QAbstractTableModel(pParent), m_pcDriver(pcDriver) {}

namespace {

QString Visible(const std::wstring& c_strText) {
    return QString::fromStdWString(shelf::VisibleText(c_strText));
}

}  // namespace

void CFileListModel::SetItems(std::vector<ListViewItem>&& vItems, const CIconList* pcImageList) {
    beginResetModel();
    m_vItems = std::move(vItems);
    m_vnShown.clear();
    m_bFiltered = false;
    m_pcImageList = pcImageList;
    endResetModel();
}

void CFileListModel::Clear() {
    beginResetModel();
    m_vItems.clear();
    m_vItems.shrink_to_fit();
    m_vnShown.clear();
    m_vnShown.shrink_to_fit();
    m_bFiltered = false;
    endResetModel();
}

void CFileListModel::Show_Rows(std::vector<int32_t>&& vnRows, bool bStriped) {
    beginResetModel();
    m_vnShown = std::move(vnRows);
    m_bFiltered = true;
    m_bShownStriped = bStriped;
    endResetModel();
}

void CFileListModel::Show_AllRows() {
    beginResetModel();
    m_vnShown.clear();
    m_vnShown.shrink_to_fit();
    m_bFiltered = false;
    endResetModel();
}

bool CFileListModel::bAzure(int nRow) const {
    return m_bFiltered ? m_bShownStriped && nRow % 2 == 0 : Item(nRow).bAzure;
}

QString CFileListModel::Name(int nRow) const {
    return QString::fromStdWString(Item(nRow).pNode->stFile.strFullPath);
}

shelf_cli::NArchive::ARCHIVE_FILE CFileListModel::Tag(int nRow) const {
    return shelf_cli::NArchive::ARCHIVE_FILE(Item(nRow).pNode->stFile);
}

QString CFileListModel::Text(int nRow, int nColumn) const {
    const ListViewItem& stItem = Item(nRow);
    const NODE* pstNode = stItem.pNode;
    const auto& stFile = pstNode->stFile;
    switch (nColumn) {
        case Column_FileName:
            return Visible(pstNode->strFileName);
        case Column_FileType:
            // Told before extracting, in front where a narrow column still shows it.
            if (stFile.nFlag & KESTREL_FLAG_ENCRYPTED)
                return QStringLiteral("(暗号化) ") + m_pcDriver->ExtInfo(stItem.nExtIndex).strType;
            return m_pcDriver->ExtInfo(stItem.nExtIndex).strType;
        case Column_OrgSize:
            return CFormat::Number(stFile.nOriginalSize);
        case Column_CmpSize:
            return CFormat::Number(stFile.nCompressedSize);
        case Column_Ratio:
            return CFormat::Ratio(stFile.dRatio);
        case Column_Update:
            return CFormat::FileTime(stFile.ftUpdate);
        case Column_Directory:
            return pstNode->pParent ? Visible(pstNode->pParent->stFile.strFullPath) : QString();
        default:
            return QString();
    }
}

int CFileListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(m_bFiltered ? m_vnShown.size() : m_vItems.size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Column_Count;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return QVariant();
    const int nRow = index.row();
    switch (role) {
        case Qt::DisplayRole:
            return Text(nRow, index.column());
        case Qt::ToolTipRole:
            return index.column() == Column_FileName
                       ? QVariant(Visible(Item(nRow).pNode->stFile.strFullPath))
                       : QVariant();
        case Qt::DecorationRole:
            if (index.column() != Column_FileName || m_pcImageList == nullptr) return QVariant();
            return m_pcImageList->Icon(m_pcDriver->ExtInfo(Item(nRow).nExtIndex).nImageListIndex);
        case Qt::BackgroundRole:
            return bAzure(nRow) ? CArchive_Driver::clrAzure : CArchive_Driver::clrWhite;
        case Qt::TextAlignmentRole:
            return headerData(index.column(), Qt::Horizontal, role);
        case NameRole:
            return Name(nRow);
        case TagRole:
            return QVariant::fromValue(Tag(nRow));
        case ImageIndexRole:
            return m_pcDriver->ExtInfo(Item(nRow).nExtIndex).nImageListIndex;
        default:
            return QVariant();
    }
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= Column_Count) return QVariant();
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>(Qt::AlignVCenter | ListViewColumn_Alignment(section));
    return role == Qt::DisplayRole ? QVariant(ListViewColumn_Text(section)) : QVariant();
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

}  // namespace kestrel
