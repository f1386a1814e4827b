// What applying the settings reaches: the archive driver's temporary folder and row striping,
// and the main window's viewer menus. The main window's driver implements it; tests fake it.
#pragma once

#include <QList>
#include <QString>

#include "STConfig.h"

namespace kestrel {

class IConfigTarget {
public:
    virtual ~IConfigTarget() = default;

    // Replaces the instance temporary folder with a new one below strBase (ends in "/").
    // False, with a reason in *pstrError, when it could not be created.
    virtual bool Set_TempDirectory(const QString& strBase, QString* pstrError) = 0;
    virtual void Set_ListViewRowsPluralColor(bool bValue) = 0;
    // Rebuilds the viewer menus from the list, in order; the first entry is the default viewer.
    virtual void UI_Update_ViewerApplications(const QList<VIEWERAPPLICATION>& c_lstViewers) = 0;
};

}  // namespace kestrel
