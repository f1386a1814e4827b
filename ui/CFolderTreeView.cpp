#include "CFolderTreeView.h"

#include <QHeaderView>

namespace kestrel {

CFolderTreeView::CFolderTreeView(QWidget* pParent)
    : QTreeWidget(pParent), m_pDelegate(new CTreeImageDelegate(this)) {
    setItemDelegate(m_pDelegate);
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    // Drops over the tree are the window's business.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
}

QString CFolderTreeView::NodeName(const QTreeWidgetItem* pNode) {
    return pNode ? pNode->data(0, TreeNode_NameRole).toString() : QString();
}

void CFolderTreeView::SetNodeName(QTreeWidgetItem* pNode, const QString& c_strName) {
    pNode->setData(0, TreeNode_NameRole, c_strName);
}

QItemSelectionModel::SelectionFlags CFolderTreeView::selectionCommand(const QModelIndex& c_index,
                                                                      const QEvent* pEvent) const {
    if (!c_index.isValid()) return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags eFlags =
        QTreeWidget::selectionCommand(c_index, pEvent);
    if (eFlags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return eFlags;
}

void CFolderTreeView::startDrag(Qt::DropActions) {
    if (QTreeWidgetItem* pNode = currentItem()) emit ItemDrag(pNode);
}

}  // namespace kestrel
