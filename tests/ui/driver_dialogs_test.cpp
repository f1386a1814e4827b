#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include "CConfig.h"
#include "DriverTestSupport.h"
#include "Form_About.h"
#include "Form_Config.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// Runs fnPlay on the modal dialog of type T once it is up.
template <class T>
void WhenShown(std::function<void(T*)> fnPlay) {
    QTimer::singleShot(0, [fnPlay] {
        T* pDialog = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(pDialog, nullptr);
        fnPlay(pDialog);
    });
}

void Click(QObject* pRoot, const char* pszName) {
    auto* pButton = pRoot->findChild<QAbstractButton*>(QString::fromLatin1(pszName));
    ASSERT_NE(pButton, nullptr) << pszName;
    pButton->click();
}

QStringList ViewerItems(const Form_FilerMain& c_frm, const char* pszMenu) {
    QStringList lst;
    for (const QAction* pAction : c_frm.findChild<QMenu*>(QString::fromLatin1(pszMenu))->actions())
        lst << pAction->text();
    return lst;
}

}  // namespace

TEST(Dialogs, OptionsOkReachesTheViewerMenusAndTheFile) {
    DriverWindow w = MakeDriverWindow();
    WhenShown<Form_Config>([](Form_Config* pDialog) {
        Click(pDialog, "frmAdd");
        pDialog->findChild<QLineEdit*>(QStringLiteral("frmName"))->setText(QStringLiteral("画像"));
        pDialog->findChild<QLineEdit*>(QStringLiteral("frmFilePath"))
            ->setText(QStringLiteral("/usr/bin/eog"));
        Click(pDialog, "frmUpdate");
        Click(pDialog, "frmButton_OK");
    });
    FindItem(*w.frm, FormName::frmMenu_Option_Option)->trigger();
    for (const char* pszMenu :
         {FormName::frmMenu_Edit_Select_Open, FormName::frmToolBar_Edit_Select_Open,
          FormName::frmListView_Menu_Select_Open}) {
        EXPECT_EQ(ViewerItems(*w.frm, pszMenu),
                  (QStringList{"関連づけ(&0)", "メモ帳(&1)", "画像(&2)"}))
            << pszMenu;
    }
    CConfig cSaved(nullptr, w.Path(QStringLiteral("kestrel.config.xml")));
    ASSERT_TRUE(cSaved.Load());
    EXPECT_EQ(cSaved.pcOpen()->stViewerApplications().last().strFilePath,
              QStringLiteral("/usr/bin/eog"));

    // Cancel after edits: menus and settings stay.
    WhenShown<Form_Config>([](Form_Config* pDialog) {
        Click(pDialog, "frmAdd");
        Click(pDialog, "frmButton_Cancel");
    });
    FindItem(*w.frm, FormName::frmToolBar_Option_Option)->trigger();
    EXPECT_EQ(ViewerItems(*w.frm, FormName::frmMenu_Edit_Select_Open).size(), 3);
    EXPECT_EQ(w.pDriver->pcConfig()->pcOpen()->stViewerApplications().size(), 3);
}

TEST(Dialogs, AboutOpensAndCloses) {
    DriverWindow w = MakeDriverWindow();
    bool bSeen = false;
    WhenShown<Form_About>([&bSeen](Form_About* pDialog) {
        bSeen = true;
        EXPECT_EQ(pDialog->windowTitle(), QStringLiteral("バージョン情報"));
        Click(pDialog, "frmClose");
    });
    FindItem(*w.frm, FormName::frmMenu_Help_About)->trigger();
    EXPECT_TRUE(bSeen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
