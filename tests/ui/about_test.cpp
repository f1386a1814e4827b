// The About dialog: its texts, links that open (or fail to open) and closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "CMessageBox.h"
#include "Form_About.h"
#include "UiTestSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

QString Text(const Form_About& c_dlg, const char* pszName) {
    auto* pLabel = c_dlg.findChild<QLabel*>(pszName);
    return pLabel ? pLabel->text() : QStringLiteral("<missing>");
}

struct OpenerGuard {
    ~OpenerGuard() {
        Form_About::SetUrlOpener({});
        CMessageBox::SetHook({});
    }
};

}  // namespace

TEST(About, ShowsNameVersionAndLinks) {
    Form_About dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(Text(dlg, "frmApplicationName"), QStringLiteral("ケストレル Ver.0.03"));
    EXPECT_TRUE(Text(dlg, "frmCopyright").startsWith("Copyright"));
    EXPECT_EQ(Text(dlg, "label1"), QStringLiteral("最新版配布・サポート"));
    EXPECT_EQ(Text(dlg, "label2"), QStringLiteral("問い合わせ"));
    EXPECT_TRUE(Text(dlg, "frmWebURL").contains(Form_About::strWebURL()));
    EXPECT_TRUE(Text(dlg, "frmWebEMAIL").contains(Form_About::strEMail()));
    auto* pIcon = dlg.findChild<QLabel*>("frmIcon");
    ASSERT_NE(pIcon, nullptr);
    EXPECT_FALSE(pIcon->pixmap().isNull());
    auto* pClose = dlg.findChild<QPushButton*>("frmClose");
    ASSERT_NE(pClose, nullptr);
    EXPECT_EQ(pClose->text(), QStringLiteral("閉じる"));

    const Qt::WindowFlags eFlags = dlg.windowFlags();
    EXPECT_FALSE(eFlags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(eFlags & Qt::WindowMaximizeButtonHint);
    dlg.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    // The icon is left of the texts.
    EXPECT_LT(pIcon->x(), dlg.findChild<QLabel*>("frmApplicationName")->x());
}

TEST(About, LinksOpenTheirTargets) {
    OpenerGuard guard;
    QList<QUrl> lstOpened;
    Form_About::SetUrlOpener([&lstOpened](const QUrl& c_url) {
        lstOpened << c_url;
        return true;
    });
    Form_About dlg;
    emit dlg.findChild<QLabel*>("frmWebURL")->linkActivated("#");
    emit dlg.findChild<QLabel*>("frmWebEMAIL")->linkActivated("#");
    ASSERT_EQ(lstOpened.size(), 2);
    EXPECT_EQ(lstOpened[0], QUrl(Form_About::strWebURL()));
    EXPECT_EQ(lstOpened[1], QUrl("mailto:" + Form_About::strEMail()));
}

TEST(About, ALinkThatCannotOpenLeavesTheDialogUsable) {
    OpenerGuard guard;
    Form_About::SetUrlOpener([](const QUrl&) { return false; });
    QStringList lstMessages;
    CMessageBox::SetHook([&lstMessages](QMessageBox::Icon, const QString& c_strCaption,
                                        const QString& c_strText, QMessageBox::StandardButtons) {
        lstMessages << c_strCaption + ":" + c_strText;
        return QMessageBox::Ok;
    });

    // Opened the way the driver opens it: modal, owned by the main window.
    TestWindow w = MakeWindow();
    w.frm->show();
    bool bChecked = false;
    QTimer::singleShot(0, [&] {
        auto* pDlg = qobject_cast<Form_About*>(QApplication::activeModalWidget());
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(pDlg->parentWidget(), w.frm.get());
        emit pDlg->findChild<QLabel*>("frmWebURL")->linkActivated("#");
        emit pDlg->findChild<QLabel*>("frmWebEMAIL")->linkActivated("#");
        EXPECT_TRUE(pDlg->isVisible());
        bChecked = true;
        pDlg->findChild<QPushButton*>("frmClose")->click();
    });
    w.pDriver->CForm_FilerMain_Driver::ShowDialog_About();
    EXPECT_TRUE(bChecked);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_EQ(lstMessages.size(), 2);
    EXPECT_TRUE(lstMessages[0].startsWith(QStringLiteral("エラー:")));
    EXPECT_TRUE(lstMessages[0].contains(Form_About::strWebURL()));
    EXPECT_TRUE(lstMessages[1].contains("mailto:" + Form_About::strEMail()));
}
