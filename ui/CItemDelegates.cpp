#include "CItemDelegates.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include "CImageList.h"

namespace kestrel {

bool CToolTipDelegate::helpEvent(QHelpEvent* pEvent, QAbstractItemView* pView,
                                 const QStyleOptionViewItem& c_option, const QModelIndex& c_index) {
    if (pEvent->type() != QEvent::ToolTip || !c_index.isValid() ||
        c_index.data(Qt::ToolTipRole).isValid()) {
        return QStyledItemDelegate::helpEvent(pEvent, pView, c_option, c_index);
    }
    QStyleOptionViewItem option = c_option;
    initStyleOption(&option, c_index);
    const QStyle* pStyle = option.widget ? option.widget->style() : QApplication::style();
    const QRect rcText =
        pStyle->subElementRect(QStyle::SE_ItemViewItemText, &option, option.widget);
    // The style pads the text on both sides; a small allowance avoids tips for texts that fit.
    const int nNeeded = option.fontMetrics.horizontalAdvance(option.text) + 6;
    if (!option.text.isEmpty() && nNeeded > rcText.width()) {
        QToolTip::showText(pEvent->globalPos(), option.text, pView->viewport(), option.rect);
    } else {
        QToolTip::hideText();
    }
    return true;
}

void CGridLineDelegate::paint(QPainter* pPainter, const QStyleOptionViewItem& c_option,
                              const QModelIndex& c_index) const {
    CToolTipDelegate::paint(pPainter, c_option, c_index);
    pPainter->save();
    pPainter->setPen(QColor(216, 216, 216));
    const QRect& rc = c_option.rect;
    pPainter->drawLine(rc.topRight(), rc.bottomRight());
    pPainter->drawLine(rc.bottomLeft(), rc.bottomRight());
    pPainter->restore();
}

QSize CGridLineDelegate::sizeHint(const QStyleOptionViewItem& c_option,
                                  const QModelIndex& c_index) const {
    // Room for the grid line below the text and the 16-pixel icons.
    QSize size = CToolTipDelegate::sizeHint(c_option, c_index);
    size.setHeight(qMax(size.height() + 1, 18));
    return size;
}

void CTreeImageDelegate::initStyleOption(QStyleOptionViewItem* pOption,
                                         const QModelIndex& c_index) const {
    CToolTipDelegate::initStyleOption(pOption, c_index);
    if (!m_pImageList) return;
    const bool bSelected = pOption->state & QStyle::State_Selected;
    const QPixmap pix = m_pImageList->Get(bSelected ? m_strSelectedImageKey : m_strImageKey);
    if (pix.isNull()) return;
    pOption->icon = QIcon(pix);
    pOption->features |= QStyleOptionViewItem::HasDecoration;
    pOption->decorationSize = pix.size();
}

}  // namespace kestrel
