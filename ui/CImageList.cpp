#include "CImageList.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QImage>

#include "KestrelResources.h"

namespace kestrel {

namespace {

QImage MagentaToTransparent(const QImage& c_img) {
    QImage img = c_img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* pLine = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if ((pLine[x] & 0x00FFFFFFu) == 0x00FF00FFu) pLine[x] = 0;
        }
    }
    return img;
}

}  // namespace

QString Get_ImageFolder() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/resource/");
}

QPixmap LoadImage(const QString& c_strFolder, const QString& c_strFileName) {
    QImage img;
    const QString strReplacement = c_strFolder + c_strFileName;
    // A replacement that is no image must not cost the window its image.
    if (!c_strFolder.isEmpty() && QFileInfo(strReplacement).isFile()) img.load(strReplacement);
    if (img.isNull()) img.load(EmbeddedImagePath(c_strFileName));
    if (img.isNull()) return QPixmap();
    return QPixmap::fromImage(MagentaToTransparent(img));
}

void CImageList::Add(const QString& c_strKey, const QPixmap& c_pixImage) {
    m_lstKeys.append(c_strKey);
    m_lstImages.append(c_pixImage);
}

QPixmap CImageList::Get(const QString& c_strKey) const {
    const qsizetype nIndex = m_lstKeys.indexOf(c_strKey);
    return nIndex < 0 ? QPixmap() : m_lstImages.at(nIndex);
}

void SetImage(QAction* pItem, const QString& c_strFolder, const QString& c_strFileName) {
    pItem->setIcon(QIcon(LoadImage(c_strFolder, c_strFileName)));
}

void SetImage(CImageList& cImageList, const QString& c_strFolder, const QString& c_strFileName) {
    cImageList.Add(c_strFileName, LoadImage(c_strFolder, c_strFileName));
}

}  // namespace kestrel
