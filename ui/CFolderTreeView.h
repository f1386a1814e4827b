// The folder tree of the main window. Each node carries its folder's archive path as its name
// (TreeNode_NameRole of column 0): "/" for the root, "/a/b/" for a folder, "" for the node that
// stands for every file of the archive.
#pragma once

#include <QTreeWidget>

#include "CItemDelegates.h"

namespace kestrel {

inline constexpr int TreeNode_NameRole = Qt::UserRole;

class CFolderTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CFolderTreeView(QWidget* pParent = nullptr);

    static QString NodeName(const QTreeWidgetItem* pNode);
    static void SetNodeName(QTreeWidgetItem* pNode, const QString& c_strName);

    // Nodes show the image under ImageKey, the selected node the one under SelectedImageKey.
    CTreeImageDelegate* ImageDelegate() const { return m_pDelegate; }

signals:
    // A drag of pNode has begun; the receiver runs it to its end.
    void ItemDrag(QTreeWidgetItem* pNode);

protected:
    void startDrag(Qt::DropActions eSupportedActions) override;
    // The tree always keeps its selected node: a click on empty space or a Ctrl+click on the
    // node leaves it selected.
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex& c_index, const QEvent* pEvent = nullptr) const override;

private:
    CTreeImageDelegate* m_pDelegate;
};

}  // namespace kestrel
