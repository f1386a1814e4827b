// The small icons of the file list. Images are kept as QImage so that the list can be reset and
// given its first image on the open worker; icons for the views are made from them on the UI
// thread, once each, when a view first asks.
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

namespace kestrel {

class CIconList {
public:
    static constexpr int nImageSize = 16;

    int Count() const { return static_cast<int>(m_vImages.size()); }
    // Scaled to 16 by 16, 32 bits per pixel. Returns the new image's index.
    int Add(const QImage& c_image);
    void Clear();
    const QImage& Image(int nIndex) const { return m_vImages.at(nIndex); }
    // UI thread only. An index out of range gives image 0 (or a null icon when there is none).
    QIcon Icon(int nIndex) const;
    // Drops the icons made for the views; the images stay.
    void ReleaseIcons() const { m_vIcons.clear(); }

private:
    QList<QImage> m_vImages;
    mutable QList<QIcon> m_vIcons;
};

// The generic file icon, drawn here so that it exists without any icon theme.
QImage GenericFileImage();

}  // namespace kestrel
