// Drag data for entries of the open archive: the announced paths lie in a staging folder and
// are extracted into it when the drop target first asks for them after the mouse is let go.
#pragma once

#include <QStringList>

#include "DataObject_DelayRender.h"

namespace kestrel {

class CForm_FilerMain_Driver;

class DataObject_DelayRender_Archive : public shelf_cli::DataObject_DelayRender {
    Q_OBJECT
public:
    // c_lstAnnounced: the paths the drop target receives; c_strExractFiles: the archive paths
    // to extract into c_strExtractDirectory. With bAnnouncesFolders the announced paths are
    // folders, made even when no file lands in them.
    DataObject_DelayRender_Archive(const QStringList& c_lstAnnounced,
                                   CForm_FilerMain_Driver* pcDriver,
                                   const QStringList& c_strExractFiles,
                                   const QString& c_strExtractDirectory, bool bAnnouncesFolders);

protected:
    void OnRender() override;

private:
    CForm_FilerMain_Driver* m_pcDriver;
    QStringList m_strExtractFiles;
    QString m_strExtractDirectory;
    QStringList m_lstAnnounced;
    bool m_bAnnouncesFolders;
};

}  // namespace kestrel
