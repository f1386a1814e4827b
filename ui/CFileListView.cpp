#include "CFileListView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <algorithm>

#include "CItemDelegates.h"

namespace kestrel {

void CFileListColumnModel::SetImageList(const QList<QIcon>& c_lstImages) {
    m_lstImages = c_lstImages;
    if (rowCount() > 0) {
        emit dataChanged(index(0, Column_FileName), index(rowCount() - 1, Column_FileName),
                         {Qt::DecorationRole});
    }
}

QVariant CFileListColumnModel::headerData(int nSection, Qt::Orientation eOrientation,
                                          int nRole) const {
    if (eOrientation != Qt::Horizontal || nSection < 0 || nSection >= Column_Count) {
        return QIdentityProxyModel::headerData(nSection, eOrientation, nRole);
    }
    if (nRole == Qt::DisplayRole) return ListViewColumn_Text(nSection);
    if (nRole == Qt::TextAlignmentRole) {
        return QVariant::fromValue(ListViewColumn_Alignment(nSection) | Qt::AlignVCenter);
    }
    return QVariant();
}

QVariant CFileListColumnModel::data(const QModelIndex& c_index, int nRole) const {
    QVariant value = QIdentityProxyModel::data(c_index, nRole);
    switch (nRole) {
        case Qt::TextAlignmentRole:
            if (!value.isValid()) {
                return QVariant::fromValue(ListViewColumn_Alignment(c_index.column()) |
                                           Qt::AlignVCenter);
            }
            break;
        case Qt::DecorationRole:
            if (value.typeId() == QMetaType::Int) {
                const int nImage = value.toInt();
                return nImage >= 0 && nImage < m_lstImages.size() ? QVariant(m_lstImages[nImage])
                                                                  : QVariant();
            }
            break;
        default:
            break;
    }
    return value;
}

Qt::ItemFlags CFileListColumnModel::flags(const QModelIndex& c_index) const {
    if (!c_index.isValid()) return Qt::NoItemFlags;
    return (QIdentityProxyModel::flags(c_index) & ~Qt::ItemIsEditable) | Qt::ItemIsEnabled |
           Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

CFileListView::CFileListView(QWidget* pParent)
    : QTreeView(pParent),
      m_pColumns(new CFileListColumnModel(this)),
      m_pEmpty(new QStandardItemModel(0, Column_Count, this)) {
    m_pColumns->setSourceModel(m_pEmpty);
    setModel(m_pColumns);
    setItemDelegate(new CGridLineDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setIconSize(QSize(16, 16));
    setDragEnabled(true);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setHighlightSections(false);
}

void CFileListView::SetRowModel(QAbstractItemModel* pModel) {
    QList<int> lstWidths;
    for (int i = 0; i < header()->count(); ++i) lstWidths.append(header()->sectionSize(i));
    m_pColumns->setSourceModel(pModel ? pModel : m_pEmpty);
    for (int i = 0; i < lstWidths.size() && i < header()->count(); ++i) {
        header()->resizeSection(i, lstWidths[i]);
    }
}

QAbstractItemModel* CFileListView::RowModel() const {
    QAbstractItemModel* pModel = m_pColumns->sourceModel();
    return pModel == m_pEmpty ? nullptr : pModel;
}

void CFileListView::SetImageList(const QList<QIcon>& c_lstImages) {
    m_pColumns->SetImageList(c_lstImages);
}

void CFileListView::SelectAllRows() {
    const int nRows = m_pColumns->rowCount();
    if (nRows == 0) return;
    const QItemSelection selection(m_pColumns->index(0, 0),
                                   m_pColumns->index(nRows - 1, m_pColumns->columnCount() - 1));
    selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QList<int> CFileListView::SelectedRows() const {
    QList<int> lstRows;
    for (const QModelIndex& c_index : selectionModel()->selectedRows()) {
        lstRows.append(c_index.row());
    }
    std::sort(lstRows.begin(), lstRows.end());
    return lstRows;
}

void CFileListView::FocusFirstRow() {
    setFocus(Qt::OtherFocusReason);
    if (selectionModel()->hasSelection() || m_pColumns->rowCount() == 0) return;
    selectionModel()->setCurrentIndex(
        m_pColumns->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CFileListView::keyPressEvent(QKeyEvent* pEvent) {
    // Selecting everything is the window's command, with its own enabled state.
    if (pEvent == QKeySequence::SelectAll) {
        pEvent->ignore();
        return;
    }
    if (pEvent->modifiers() == Qt::NoModifier || pEvent->modifiers() == Qt::KeypadModifier) {
        switch (pEvent->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                emit ItemActivate();
                return;
            case Qt::Key_Backspace:
                emit ParentFolder();
                return;
            default:
                break;
        }
    }
    QTreeView::keyPressEvent(pEvent);
}

void CFileListView::startDrag(Qt::DropActions) {
    if (selectionModel()->hasSelection()) emit ItemDrag();
}

}  // namespace kestrel
