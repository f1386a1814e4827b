#include "CContainment.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "CTreeWalk.h"
#include "FileOps.h"

namespace kestrel::safefs {

bool StaysInside(QByteArrayView c_baPath, size_t nDepth) {
    if (c_baPath.startsWith('/')) return false;
    size_t nUp = 0;
    bool bDescended = false;
    for (qsizetype nStart = 0; nStart <= c_baPath.size();) {
        qsizetype nEnd = c_baPath.indexOf('/', nStart);
        if (nEnd < 0) nEnd = c_baPath.size();
        const QByteArrayView c_baPart = c_baPath.sliced(nStart, nEnd - nStart);
        if (c_baPart == "..") {
            if (bDescended || ++nUp > nDepth) return false;
        } else if (!c_baPart.isEmpty() && c_baPart != ".") {
            bDescended = true;
        }
        nStart = nEnd + 1;
    }
    return true;
}

bool ReachedWithoutLinks(const QString& c_strFolder, const QString& c_strPath) {
    if (!c_strPath.startsWith(c_strFolder)) return false;
    const QByteArray c_baFolder = QFile::encodeName(c_strFolder);
    const QByteArray c_baBelow = QFile::encodeName(c_strPath.mid(c_strFolder.size()));
    UniqueFd fd(::open(c_baFolder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (qsizetype nStart = 0, nSlash; fd.Valid() && (nSlash = c_baBelow.indexOf('/', nStart)) >= 0;
         nStart = nSlash + 1) {
        if (nSlash == nStart) continue;
        const QByteArray c_baPart = c_baBelow.sliced(nStart, nSlash - nStart);
        // A link (ELOOP, or ENOTDIR as the link itself is no folder) or a file in between.
        fd = UniqueFd(::openat(fd.Get(), c_baPart.constData(),
                               O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.Valid() && (errno == ELOOP || errno == ENOTDIR)) return false;
    }
    return true;
}

QString StagedPath(const QString& c_strStaging, const QString& c_strArchivePath) {
    if (!c_strArchivePath.startsWith(QLatin1Char('/'))) return QString();
    if (c_strArchivePath.size() == 1) return c_strStaging;  // the root
    QStringView strBody = QStringView(c_strArchivePath).mid(1);
    if (strBody.endsWith(QLatin1Char('/'))) strBody.chop(1);
    for (QStringView strPart : strBody.split(QLatin1Char('/'))) {
        if (strPart.isEmpty() || strPart == u"." || strPart == u"..") return QString();
    }
    return c_strStaging.chopped(1) + c_strArchivePath;
}

QStringList DropLinksLeaving(const QString& c_strStaging, const QString& c_strRoot) {
    class CDropper : public CTreeWalk::IVisitor {
    public:
        explicit CDropper(const QString& c_strRootBelow) : m_strRootBelow(c_strRootBelow) {}
        CTreeWalk::EStep Visit(const CTreeWalk::ENTRY& c_entry) override {
            if (!S_ISLNK(c_entry.st.st_mode)) return CTreeWalk::EStep::Continue;
            // The entries of the root folder may not climb at all, those one deeper one folder.
            const size_t nDepth = c_entry.nDepth > 0 ? c_entry.nDepth - 1 : 0;
            QByteArray baTarget;
            const bool bRead = ReadLink(c_entry.nFolder, c_entry.baName.constData(), &baTarget);
            if ((!bRead || !StaysInside(baTarget, nDepth)) &&
                ::unlinkat(c_entry.nFolder, c_entry.baName.constData(), 0) == 0) {
                m_lstDropped << (c_entry.baPath.isEmpty() ? m_strRootBelow
                                                          : m_strRootBelow + QLatin1Char('/') +
                                                                QFile::decodeName(c_entry.baPath));
            }
            return CTreeWalk::EStep::Continue;
        }
        QString m_strRootBelow;
        QStringList m_lstDropped;
    } dropper(c_strRoot.mid(c_strStaging.size() - 1));
    CTreeWalk().Walk(QFile::encodeName(c_strRoot), dropper);
    return dropper.m_lstDropped;
}

bool IsBelow(const QByteArray& c_baPath, const QByteArray& c_baFolder) {
    return c_baPath.startsWith(c_baFolder.endsWith('/') ? c_baFolder : c_baFolder + '/');
}

}  // namespace kestrel::safefs
