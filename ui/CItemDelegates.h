// How the folder tree and the file list draw their items.
#pragma once

#include <QStyledItemDelegate>

namespace kestrel {

class CImageList;

// Shows an item's whole text as its tool tip when the cell cuts it short, unless the model
// gives a tool tip of its own.
class CToolTipDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* pEvent, QAbstractItemView* pView,
                   const QStyleOptionViewItem& c_option, const QModelIndex& c_index) override;
};

// Draws grid lines along the right and bottom edge of every cell.
class CGridLineDelegate : public CToolTipDelegate {
    Q_OBJECT
public:
    using CToolTipDelegate::CToolTipDelegate;
    void paint(QPainter* pPainter, const QStyleOptionViewItem& c_option,
               const QModelIndex& c_index) const override;
    QSize sizeHint(const QStyleOptionViewItem& c_option, const QModelIndex& c_index) const override;
};

// Gives every node the image under one key and the selected node the image under another.
class CTreeImageDelegate : public CToolTipDelegate {
    Q_OBJECT
public:
    explicit CTreeImageDelegate(QObject* pParent = nullptr) : CToolTipDelegate(pParent) {}
    void SetImageList(const CImageList* pImageList) { m_pImageList = pImageList; }
    void SetImageKey(const QString& c_strKey) { m_strImageKey = c_strKey; }
    void SetSelectedImageKey(const QString& c_strKey) { m_strSelectedImageKey = c_strKey; }
    QString ImageKey() const { return m_strImageKey; }
    QString SelectedImageKey() const { return m_strSelectedImageKey; }

protected:
    void initStyleOption(QStyleOptionViewItem* pOption, const QModelIndex& c_index) const override;

private:
    const CImageList* m_pImageList = nullptr;
    QString m_strImageKey;
    QString m_strSelectedImageKey;
};

}  // namespace kestrel
