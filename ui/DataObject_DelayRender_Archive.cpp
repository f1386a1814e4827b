#include "DataObject_DelayRender_Archive.h"

#include <QDir>
#include <QFile>

#include "CForm_FilerMain_Driver.h"
#include "CTreeWalk.h"

namespace kestrel {

DataObject_DelayRender_Archive::DataObject_DelayRender_Archive(const QStringList& c_lstAnnounced,
                                                               CForm_FilerMain_Driver* pcDriver,
                                                               const QStringList& c_strExractFiles,
                                                               const QString& c_strExtractDirectory,
                                                               bool bAnnouncesFolders)
    : DataObject_DelayRender(c_lstAnnounced),
      m_pcDriver(pcDriver),
      m_strExtractFiles(c_strExractFiles),
      m_strExtractDirectory(c_strExtractDirectory),
      m_lstAnnounced(c_lstAnnounced),
      m_bAnnouncesFolders(bAnnouncesFolders) {}

void DataObject_DelayRender_Archive::OnRender() {
    // Runs inside the drop target's request: no dialog may open here, a failure is told later.
    m_pcDriver->Extract_Staged(m_strExtractFiles, m_strExtractDirectory, /*bTellLater=*/true);
    // After a cancel the target finds nothing at the announced paths.
    if (m_pcDriver->bLastJobCancelled()) {
        safefs::RemoveTree(QFile::encodeName(m_strExtractDirectory.chopped(1)),
                           /*bMakeWritable=*/true);
        return;
    }
    if (m_bAnnouncesFolders) {
        for (const QString& strFolder : m_lstAnnounced) QDir().mkpath(strFolder);
    }
    // The drop target copies what it is given to another folder.
    m_pcDriver->Drop_LinksLeaving(m_strExtractDirectory, m_lstAnnounced, /*bTellLater=*/true);
}

}  // namespace kestrel
