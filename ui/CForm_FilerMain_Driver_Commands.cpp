// Extract, open with a viewer, and drag out.
#include <QTreeWidgetItem>

#include "CForm_FilerMain_Driver.h"

namespace kestrel {

bool CForm_FilerMain_Driver::Edit_Extract_ListView() { return false; }
bool CForm_FilerMain_Driver::Edit_Extract_TreeView(bool) { return false; }
void CForm_FilerMain_Driver::Edit_Open_Click_EventHandler(QObject*) {}
bool CForm_FilerMain_Driver::Edit_Open(const VIEWERAPPLICATION*) { return false; }
Qt::DropAction CForm_FilerMain_Driver::DoDragDrop_ListView(QWidget*) { return Qt::IgnoreAction; }
Qt::DropAction CForm_FilerMain_Driver::DoDragDrop_TreeView(QWidget*, QTreeWidgetItem*) {
    return Qt::IgnoreAction;
}

}  // namespace kestrel
