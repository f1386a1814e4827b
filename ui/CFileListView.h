// The file list of the main window: a details view whose rows come from a model that the
// window's driver supplies, shown under the window's own column headers and alignments.
#pragma once

#include <QIcon>
#include <QIdentityProxyModel>
#include <QList>
#include <QTreeView>

#include "CFileListModel.h"

class QStandardItemModel;

namespace kestrel {

// Puts the list's headers and alignments over the row model. Rows are never edited; every row
// can be dragged. An integer in Qt::DecorationRole of column 0 is an index into the image list.
class CFileListColumnModel : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    void SetImageList(const QList<QIcon>& c_lstImages);
    const QList<QIcon>& ImageList() const { return m_lstImages; }

    QVariant headerData(int nSection, Qt::Orientation eOrientation,
                        int nRole = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& c_index, int nRole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& c_index) const override;

private:
    QList<QIcon> m_lstImages;
};

class CFileListView : public QTreeView {
    Q_OBJECT
public:
    explicit CFileListView(QWidget* pParent = nullptr);

    // The rows to show (not owned; nullptr shows an empty list). Column widths are kept.
    void SetRowModel(QAbstractItemModel* pModel);
    QAbstractItemModel* RowModel() const;
    // The small icons that rows refer to by index.
    void SetImageList(const QList<QIcon>& c_lstImages);
    CFileListColumnModel* ColumnModel() const { return m_pColumns; }

    // Selects every row through one selection change, however many rows there are.
    void SelectAllRows();
    // Rows that are selected, in ascending order.
    QList<int> SelectedRows() const;
    // Takes the keyboard; with nothing selected the first row becomes the selection.
    void FocusFirstRow();

signals:
    // A drag of the selected rows has begun; the receiver runs it to its end.
    void ItemDrag();
    // Enter: open the selected rows, as a double-click does.
    void ItemActivate();
    // Backspace: show the folder above.
    void ParentFolder();

protected:
    void startDrag(Qt::DropActions eSupportedActions) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    CFileListColumnModel* m_pColumns;
    QStandardItemModel* m_pEmpty;
};

}  // namespace kestrel
