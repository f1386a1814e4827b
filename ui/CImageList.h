// The window's images: the embedded set, replaceable one by one with a PNG of the same name in
// the image folder, and a keyed image list for views that pick images by name.
#pragma once

#include <QList>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QAction;

namespace kestrel {

// The folder whose PNGs replace embedded images: the executable's folder + "/resource/".
QString Get_ImageFolder();

// The image c_strFileName: from c_strFolder when such a file exists and reads as an image,
// otherwise the embedded image of that name (a null pixmap when there is none). Magenta
// (255, 0, 255) pixels become transparent in either case.
QPixmap LoadImage(const QString& c_strFolder, const QString& c_strFileName);

// Images kept under a key (their file name), in the order they were added.
class CImageList {
public:
    void Add(const QString& c_strKey, const QPixmap& c_pixImage);
    // A null pixmap for an unknown key.
    QPixmap Get(const QString& c_strKey) const;
    QStringList Keys() const { return m_lstKeys; }
    int Count() const { return static_cast<int>(m_lstKeys.size()); }

private:
    QStringList m_lstKeys;
    QList<QPixmap> m_lstImages;
};

// The item's image becomes LoadImage(c_strFolder, c_strFileName).
void SetImage(QAction* pItem, const QString& c_strFolder, const QString& c_strFileName);
// The image is added to the list under its file name.
void SetImage(CImageList& cImageList, const QString& c_strFolder, const QString& c_strFileName);

}  // namespace kestrel
