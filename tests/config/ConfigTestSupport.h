// What the configuration tests share: a fake of what applying reaches, and a recorder of the
// message boxes that would have been shown.
#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <ostream>

#include "CMessageBox.h"
#include "IConfigTarget.h"
#include "common/MessageRecorder.h"

// Readable failures for QString values.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& c_str, std::ostream* pOut) {
    *pOut << '"' << c_str.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kestrel::test {

class FakeConfigTarget : public IConfigTarget {
public:
    bool Set_TempDirectory(const QString& strBase, QString* pstrError) override {
        lstTempBases.append(strBase);
        if (!setFailingBases.contains(strBase)) return true;
        *pstrError = QStringLiteral("cannot create ") + strBase;
        return false;
    }
    void Set_ListViewRowsPluralColor(bool bValue) override { lstStriping.append(bValue); }
    void UI_Update_ViewerApplications(const QList<VIEWERAPPLICATION>& c_lstViewers) override {
        lstViewerUpdates.append(c_lstViewers);
    }

    QSet<QString> setFailingBases;
    QStringList lstTempBases;
    QList<bool> lstStriping;
    QList<QList<VIEWERAPPLICATION>> lstViewerUpdates;
};

}  // namespace kestrel::test
