#include "CIconList.h"

#include <QPainter>
#include <QPainterPath>

namespace kestrel {

int CIconList::Add(const QImage& c_image) {
    QImage image = c_image.convertToFormat(QImage::Format_ARGB32);
    if (image.size() != QSize(nImageSize, nImageSize)) {
        image = image.scaled(nImageSize, nImageSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (image.size() != QSize(nImageSize, nImageSize)) {
            QImage square(nImageSize, nImageSize, QImage::Format_ARGB32);
            square.fill(Qt::transparent);
            QPainter painter(&square);
            painter.drawImage((nImageSize - image.width()) / 2, (nImageSize - image.height()) / 2,
                              image);
            image = square;
        }
    }
    m_vImages.append(image);
    return static_cast<int>(m_vImages.size()) - 1;
}

void CIconList::Clear() {
    m_vImages.clear();
    m_vIcons.clear();
}

QIcon CIconList::Icon(int nIndex) const {
    if (m_vImages.isEmpty()) return QIcon();
    if (nIndex < 0 || nIndex >= m_vImages.size()) nIndex = 0;
    if (m_vIcons.size() != m_vImages.size()) m_vIcons.resize(m_vImages.size());
    QIcon& icon = m_vIcons[nIndex];
    if (icon.isNull()) icon = QIcon(QPixmap::fromImage(m_vImages.at(nIndex)));
    return icon;
}

QImage GenericFileImage() {
    QImage image(CIconList::nImageSize, CIconList::nImageSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // A sheet of paper with a folded corner.
    QPainterPath sheet;
    sheet.moveTo(3, 1);
    sheet.lineTo(10, 1);
    sheet.lineTo(13, 4);
    sheet.lineTo(13, 14);
    sheet.lineTo(3, 14);
    sheet.closeSubpath();
    painter.fillPath(sheet, QColor(255, 255, 255));
    painter.setPen(QColor(96, 104, 120));
    painter.drawPath(sheet);
    painter.drawLine(10, 1, 10, 4);
    painter.drawLine(10, 4, 13, 4);
    painter.setPen(QColor(170, 178, 192));
    for (int y = 7; y <= 11; y += 2) painter.drawLine(5, y, 11, y);
    return image;
}

}  // namespace kestrel
