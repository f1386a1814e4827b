// File-type names and icons from the desktop's MIME database and icon theme, cached per exact
// extension spelling for the open archive.
#include <QIcon>
#include <QMimeDatabase>

#include "CArchive_Driver.h"

namespace kestrel {

QString CArchive_Driver::GetFileExt(const QString& strFileName) {
    const qsizetype nDot = strFileName.lastIndexOf(QLatin1Char('.'));
    return nDot < 0 ? QStringLiteral(".") : strFileName.mid(nDot);
}

QString CArchive_Driver::GetDefaultFileType(const QString& strFileExt) {
    if (strFileExt == QLatin1String(".")) return QStringLiteral("ファイル");
    return strFileExt.mid(1) + QStringLiteral(" ファイル");
}

CArchive_Driver::FILE_EXT CArchive_Driver::GetExtInfo(const QString& strFileExt) {
    // A name made of the extension alone finds the extension's own entry.
    const std::wstring strExt = strFileExt.toStdWString();
    return m_vExt.at(GetExtIndex(std::wstring_view(strExt)));
}

int32_t CArchive_Driver::GetExtIndex(const shelf::CTreeString& c_strFileName) {
    const size_t nDot = c_strFileName.rfind(L'.');
    if (nDot == shelf::CTreeString::npos) return GetExtIndex(std::wstring_view(L"."));
    const size_t nLength = c_strFileName.size() - nDot;
    wchar_t szExt[32];
    if (nLength > std::size(szExt)) {
        const std::wstring strName = c_strFileName.str();
        return GetExtIndex(std::wstring_view(strName).substr(nDot));
    }
    c_strFileName.copy(szExt, nLength, nDot);
    return GetExtIndex(std::wstring_view(szExt, nLength));
}

int32_t CArchive_Driver::GetExtIndex(std::wstring_view c_strFileName) {
    const size_t nDot = c_strFileName.rfind(L'.');
    const std::wstring_view strExt =
        nDot == std::wstring_view::npos ? std::wstring_view(L".") : c_strFileName.substr(nDot);
    if (auto it = m_stExtCache.find(strExt); it != m_stExtCache.end()) return it->second;

    const QString strQExt = QString::fromStdWString(std::wstring(strExt));
    FILE_EXT stExt;
    static const QMimeDatabase db;
    // "." stands for names without one: no glob can match it.
    const QList<QMimeType> vTypes = strQExt == QLatin1String(".")
                                        ? QList<QMimeType>()
                                        : db.mimeTypesForFileName(QStringLiteral("x") + strQExt);
    if (!vTypes.isEmpty()) {
        const QMimeType& mime = vTypes.first();
        stExt.strType = mime.comment();
        QIcon icon = QIcon::fromTheme(mime.iconName());
        if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
        if (!icon.isNull()) {
            const QImage image = icon.pixmap(CIconList::nImageSize).toImage();
            if (!image.isNull()) stExt.nImageListIndex = m_ilIcon.Add(image);
        }
    }
    if (stExt.strType.isEmpty()) stExt.strType = GetDefaultFileType(strQExt);

    const int32_t nIndex = static_cast<int32_t>(m_vExt.size());
    m_vExt.push_back(stExt);
    m_stExtCache.emplace(std::wstring(strExt), nIndex);
    return nIndex;
}

void CArchive_Driver::Clear_IconHandleCache() {
    m_ilIcon.ReleaseIcons();
}

}  // namespace kestrel
