// The options dialog: what it shows, how its viewer list is edited, and what OK and Cancel
// hand back to the configuration.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "CConfig.h"
#include "CConfigFile.h"
#include "CFileDialogs.h"
#include "ConfigTestSupport.h"
#include "Form_Config.h"

using namespace kestrel;
using kestrel::test::FakeConfigTarget;

namespace {

template <class T>
T* Find(QWidget* pRoot, const char* szName) {
    T* p = pRoot->findChild<T*>(QString::fromLatin1(szName));
    EXPECT_NE(p, nullptr) << szName;
    return p;
}

// The controls of one open dialog, found by name as the window's code would.
struct Controls {
    explicit Controls(QWidget* pDialog)
        : pGeneral(Find<QGroupBox>(pDialog, "frmGeneral")),
          pViewer(Find<QGroupBox>(pDialog, "frmViewer")),
          pList(Find<QTableWidget>(pViewer, "frmViewerApplications")),
          pName(Find<QLineEdit>(pViewer, "frmName")),
          pFilePath(Find<QLineEdit>(pViewer, "frmFilePath")),
          pTempFolder(Find<QLineEdit>(pGeneral, "frmUserTempDirectroy")),
          pUseTempFolder(Find<QCheckBox>(pGeneral, "frmUseUserTempDirectory")) {}
    void Click(QWidget* pPage, const char* szName) {
        Find<QAbstractButton>(pPage, szName)->click();
    }
    QStringList Names() const {
        QStringList lst;
        for (int n = 0; n < pList->rowCount(); ++n) lst << pList->item(n, 0)->text();
        return lst;
    }

    QGroupBox* pGeneral;
    QGroupBox* pViewer;
    QTableWidget* pList;
    QLineEdit* pName;
    QLineEdit* pFilePath;
    QLineEdit* pTempFolder;
    QCheckBox* pUseTempFolder;
};

// Runs the exchange with the user's part played by the script, which ends with OK or Cancel.
bool RunDialog(CConfig* pcConfig, std::function<void(Form_Config*)> script) {
    QTimer::singleShot(0, [script] {
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            auto* pDialog = qobject_cast<Form_Config*>(pWidget);
            if (!pDialog || !pDialog->isVisible()) continue;
            script(pDialog);
            if (pDialog->isVisible()) {
                ADD_FAILURE() << "the script left the dialog open";
                pDialog->reject();
            }
        }
    });
    return ShowDialog_Config(nullptr, pcConfig);
}

class DialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_pcConfig = std::make_unique<CConfig>(&m_target, m_dir.filePath("kestrel.config.xml"));
        m_pcConfig->Load();
    }
    void TearDown() override { CFileDialogs::SetHooks({}, {}); }

    QTemporaryDir m_dir;
    FakeConfigTarget m_target;
    std::unique_ptr<CConfig> m_pcConfig;
};

}  // namespace

TEST(ConfigDialog, ShowsItsPagesAndControlsByName) {
    STConfig st;
    Form_Config dialog(&st);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("設定"));
    auto* pTree = Find<QTreeWidget>(&dialog, "frmTreeView");
    ASSERT_EQ(pTree->topLevelItemCount(), 2);
    EXPECT_EQ(pTree->topLevelItem(0)->text(0), QStringLiteral("基本"));
    EXPECT_EQ(pTree->topLevelItem(0)->data(0, Qt::UserRole).toString(), QStringLiteral("General"));
    EXPECT_EQ(pTree->topLevelItem(1)->text(0), QStringLiteral("開く(閲覧用ビューワ)"));
    EXPECT_EQ(pTree->topLevelItem(1)->data(0, Qt::UserRole).toString(), QStringLiteral("Viewer"));

    Controls c(&dialog);
    EXPECT_EQ(c.pGeneral->parentWidget(), Find<QWidget>(&dialog, "frmPageBase"));
    EXPECT_TRUE(c.pGeneral->isVisible());
    EXPECT_FALSE(c.pViewer->isVisible());
    pTree->setCurrentItem(pTree->topLevelItem(1));
    EXPECT_FALSE(c.pGeneral->isVisible());
    EXPECT_TRUE(c.pViewer->isVisible());

    const struct {
        QWidget* pPage;
        const char* szName;
        const char* szText;
    } c_aTexts[] = {
        {&dialog, "frmButton_OK", "OK"},
        {&dialog, "frmButton_Cancel", "キャンセル"},
        {c.pGeneral, "frmFirstFolderOfAllFiles",
         "書庫ファイルを開いたときの初期フォルダを「全てのファイル」にする(&A)"},
        {c.pGeneral, "frmExpandTreeNode", "書庫ファイルを開いたとき、全てのフォルダを展開する(&X)"},
        {c.pGeneral, "frmListViewRowsPluralColor", "リストビューの行を見やすくする(&C)"},
        {c.pGeneral, "frmRestoreWindowPosition", "ウィンドウの位置を保存する(&P)"},
        {c.pGeneral, "frmRestoreWindowSize", "ウィンドウのサイズを保存する(&S)"},
        {c.pGeneral, "frmUseUserTempDirectory", "一時フォルダに任意のフォルダを指定する(&U)"},
        {c.pGeneral, "frmSee", "参照(&C)"},
        {c.pViewer, "frmAdd", "追加(&A)"},
        {c.pViewer, "frmRemove", "削除(&R)"},
        {c.pViewer, "frmUp", "上へ(&U)"},
        {c.pViewer, "frmDown", "下へ(&D)"},
        {c.pViewer, "frmSee", "参照(&C)"},
        {c.pViewer, "frmUpdate", "更新(&P)"},
    };
    for (const auto& c_text : c_aTexts) {
        auto* pButton = Find<QAbstractButton>(c_text.pPage, c_text.szName);
        if (pButton) {
            EXPECT_EQ(pButton->text(), QString::fromUtf8(c_text.szText)) << c_text.szName;
        }
    }
    EXPECT_EQ(Find<QGroupBox>(c.pGeneral, "frmTempDirectory")->title(),
              QStringLiteral("一時フォルダ(&T)"));
    EXPECT_EQ(Find<QGroupBox>(c.pViewer, "frmEditGroup")->title(), QStringLiteral("編集"));
    EXPECT_EQ(Find<QLabel>(c.pViewer, "label4")->text(),
              QStringLiteral("設定後に「更新」を押してください"));
    EXPECT_EQ(c.pList->horizontalHeaderItem(0)->text(), QStringLiteral("名前"));
    EXPECT_EQ(c.pList->horizontalHeaderItem(1)->text(), QStringLiteral("実行ファイル"));
    // Tab runs through the tree, the pages, OK and キャンセル, and the tree has the focus.
    QStringList lstTabOrder;
    QWidget* pWidget = pTree;
    do {
        if (pWidget->focusPolicy() & Qt::TabFocus) lstTabOrder << pWidget->objectName();
        pWidget = pWidget->nextInFocusChain();
    } while (pWidget != pTree);
    EXPECT_EQ(lstTabOrder.mid(0, 2), (QStringList{"frmTreeView", "frmFirstFolderOfAllFiles"}));
    EXPECT_EQ(lstTabOrder.mid(lstTabOrder.size() - 3),
              (QStringList{"frmUpdate", "frmButton_OK", "frmButton_Cancel"}));
    EXPECT_EQ(dialog.focusWidget(), pTree);

    for (const char* szHidden :
         {"frmListViewRowsPluralColor", "frmRestoreWindowPosition", "frmRestoreWindowSize"}) {
        EXPECT_TRUE(Find<QCheckBox>(c.pGeneral, szHidden)->isHidden()) << szHidden;
    }
}

TEST(ConfigDialog, HiddenSettingsPassThroughAndOkCopiesTheRest) {
    STConfig st;
    st.stView.bListViewRowsPluralColor = true;
    st.stView.stWindow.bRestoreWindowPosition = true;
    st.stView.stWindow.stWindowBounds = {5, 6, 7, 8};
    Form_Config dialog(&st);
    Controls c(&dialog);
    Find<QCheckBox>(c.pGeneral, "frmFirstFolderOfAllFiles")->setChecked(true);
    Find<QCheckBox>(c.pGeneral, "frmExpandTreeNode")->setChecked(false);
    Find<QAbstractButton>(&dialog, "frmButton_OK")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    STConfig stExpected;
    stExpected.stView.bListViewRowsPluralColor = true;
    stExpected.stView.stWindow.bRestoreWindowPosition = true;
    stExpected.stView.stWindow.stWindowBounds = {5, 6, 7, 8};
    stExpected.stGeneral.bFirstFolderOfAllFiles = true;
    stExpected.stGeneral.bExpandTreeNode = false;
    EXPECT_EQ(st, stExpected);
}

TEST(ConfigDialog, EnterMeansOkAndEscapeCancel) {
    for (const int c_nKey : {Qt::Key_Return, Qt::Key_Escape}) {
        STConfig st;
        Form_Config dialog(&st);
        dialog.show();
        Find<QCheckBox>(&dialog, "frmExpandTreeNode")->setChecked(false);
        QKeyEvent press(QEvent::KeyPress, c_nKey, Qt::NoModifier);
        ASSERT_EQ(dialog.focusWidget(), Find<QWidget>(&dialog, "frmTreeView"));
        QApplication::sendEvent(dialog.focusWidget(), &press);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(),
                  c_nKey == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(st.stGeneral.bExpandTreeNode, c_nKey == Qt::Key_Escape);
    }
}

TEST(ConfigDialog, AssociationRowIsLocked) {
    STConfig st;
    Form_Config dialog(&st);
    Controls c(&dialog);
    const char* const c_aszEdit[] = {"frmName", "frmFilePath", "frmUpdate", "frmSee", "frmRemove"};
    // The first row is selected when the dialog opens.
    EXPECT_EQ(c.pName->text(), QStringLiteral("関連づけ"));
    EXPECT_EQ(c.pFilePath->text(), QStringLiteral("<関連づけられたアプリケーション>"));
    EXPECT_EQ(c.pList->item(0, 1)->text(), QStringLiteral("<関連づけられたアプリケーション>"));
    for (const char* szName : c_aszEdit)
        EXPECT_FALSE(Find<QWidget>(c.pViewer, szName)->isEnabled()) << szName;

    c.pList->selectRow(1);
    EXPECT_EQ(c.pFilePath->text(), st.stOpen.stViewerApplications[1].strFilePath);
    for (const char* szName : c_aszEdit)
        EXPECT_TRUE(Find<QWidget>(c.pViewer, szName)->isEnabled()) << szName;

    c.pList->clearSelection();
    EXPECT_TRUE(c.pName->text().isEmpty());
    EXPECT_FALSE(Find<QWidget>(c.pViewer, "frmUpdate")->isEnabled());
}

TEST(ConfigDialog, MovingRowsStopsAtTheEnds) {
    STConfig st;
    st.stOpen.stViewerApplications.append({"third", "/bin/third", true});
    Form_Config dialog(&st);
    Controls c(&dialog);
    const QStringList c_lstStart = c.Names();
    c.Click(c.pViewer, "frmUp");  // first row
    EXPECT_EQ(c.Names(), c_lstStart);
    c.pList->selectRow(2);
    c.Click(c.pViewer, "frmDown");  // last row
    EXPECT_EQ(c.Names(), c_lstStart);

    // Moving keeps the moved row selected and what is typed in the boxes.
    c.pName->setText("typed");
    c.Click(c.pViewer, "frmUp");
    c.Click(c.pViewer, "frmUp");
    EXPECT_EQ(c.Names(), (QStringList{"third", "関連づけ", "メモ帳"}));
    EXPECT_EQ(c.pList->selectionModel()->selectedRows().value(0).row(), 0);
    EXPECT_EQ(c.pName->text(), QStringLiteral("typed"));
    c.Click(c.pViewer, "frmDown");
    Find<QAbstractButton>(&dialog, "frmButton_OK")->click();
    ASSERT_EQ(st.stOpen.stViewerApplications.size(), 3);
    EXPECT_EQ(st.stOpen.stViewerApplications[0].strFilePath, QStringLiteral("RELATE:"));
    EXPECT_EQ(st.stOpen.stViewerApplications[1], (VIEWERAPPLICATION{"third", "/bin/third", true}));
}

TEST(ConfigDialog, RemoveLeavesNothingSelected) {
    STConfig st;
    Form_Config dialog(&st);
    Controls c(&dialog);
    c.pList->selectRow(1);
    c.Click(c.pViewer, "frmRemove");
    EXPECT_EQ(c.Names(), QStringList{"関連づけ"});
    EXPECT_TRUE(c.pList->selectionModel()->selectedRows().isEmpty());
    EXPECT_TRUE(c.pName->text().isEmpty());
    EXPECT_FALSE(Find<QWidget>(c.pViewer, "frmRemove")->isEnabled());
}

TEST(ConfigDialog, UpdateKeepsTheAssociationOfAnEditableRow) {
    STConfig st;
    st.stOpen.stViewerApplications = {{"既定", "RELATE:", true}};
    Form_Config dialog(&st);
    Controls c(&dialog);
    c.pName->setText("既定のアプリ");
    c.Click(c.pViewer, "frmUpdate");
    Find<QAbstractButton>(&dialog, "frmButton_OK")->click();
    EXPECT_EQ(st.stOpen.stViewerApplications,
              (QList<VIEWERAPPLICATION>{{"既定のアプリ", "RELATE:", true}}));
}

TEST_F(DialogTest, AddedViewerIsAppliedLastAndSaved) {
    QStringList lstFileRequest;
    CFileDialogs::SetHooks({}, [&](QWidget*, const QString& c_strCaption, const QString& c_strStart,
                                   const QString& c_strFilter) {
        lstFileRequest << c_strCaption << c_strStart << c_strFilter;
        return QStringLiteral("/usr/local/bin/my viewer");
    });
    const bool c_bOk = RunDialog(m_pcConfig.get(), [](Form_Config* pDialog) {
        Controls c(pDialog);
        c.Click(c.pViewer, "frmAdd");
        EXPECT_EQ(c.pName->text(), QStringLiteral("<アプリケーション名>"));
        EXPECT_EQ(c.pFilePath->text(), QStringLiteral("<実行ファイルのパス>"));
        c.pName->setText("画像ビューア");
        c.Click(c.pViewer, "frmSee");
        c.Click(c.pViewer, "frmUpdate");
        EXPECT_EQ(c.pList->item(2, 0)->text(), QStringLiteral("画像ビューア"));
        EXPECT_EQ(c.pList->item(2, 1)->text(), QStringLiteral("/usr/local/bin/my viewer"));
        Find<QAbstractButton>(pDialog, "frmButton_OK")->click();
    });
    EXPECT_TRUE(c_bOk);
    EXPECT_EQ(lstFileRequest, (QStringList{"開く", "/usr/bin", "全てのファイル(*)"}));
    const VIEWERAPPLICATION c_stNew{"画像ビューア", "/usr/local/bin/my viewer", true};
    EXPECT_EQ(m_pcConfig->pcOpen()->stViewerApplications().size(), 3);
    EXPECT_EQ(m_pcConfig->pcOpen()->stViewerApplications().last(), c_stNew);
    ASSERT_EQ(m_target.lstViewerUpdates.size(), 2);  // at Load, then after OK
    EXPECT_EQ(m_target.lstViewerUpdates[1], m_pcConfig->pcOpen()->stViewerApplications());
    EXPECT_EQ(m_target.lstTempBases.size(), 2);
    EXPECT_EQ(CConfigFile::Read(m_pcConfig->Get_ConfigFullPath()), m_pcConfig->pstConfig());
}

TEST_F(DialogTest, TypingWithoutUpdateKeepsTheOldName) {
    RunDialog(m_pcConfig.get(), [](Form_Config* pDialog) {
        Controls c(pDialog);
        c.pList->selectRow(1);
        c.pName->setText("renamed");
        c.pFilePath->setText("/bin/renamed");
        Find<QAbstractButton>(pDialog, "frmButton_OK")->click();
    });
    EXPECT_EQ(m_pcConfig->pstConfig(), STConfig());
}

TEST_F(DialogTest, CancelAfterEditsChangesNothing) {
    CFileDialogs::SetHooks([](QWidget*, const QString&, const QString&) { return QString("/x"); },
                           {});
    const bool c_bOk = RunDialog(m_pcConfig.get(), [](Form_Config* pDialog) {
        Controls c(pDialog);
        c.Click(c.pViewer, "frmAdd");
        c.Click(c.pViewer, "frmUp");
        c.Click(c.pViewer, "frmUpdate");
        c.pList->selectRow(1);
        c.Click(c.pViewer, "frmRemove");
        c.pUseTempFolder->setChecked(true);
        c.Click(c.pGeneral, "frmSee");
        Find<QCheckBox>(c.pGeneral, "frmExpandTreeNode")->setChecked(false);
        Find<QAbstractButton>(pDialog, "frmButton_Cancel")->click();
    });
    EXPECT_FALSE(c_bOk);
    EXPECT_EQ(m_pcConfig->pstConfig(), STConfig());
    EXPECT_EQ(m_target.lstViewerUpdates.size(), 1);  // only the one at Load
    EXPECT_EQ(m_target.lstTempBases.size(), 1);
    EXPECT_FALSE(QFile::exists(m_pcConfig->Get_ConfigFullPath()));
}

TEST_F(DialogTest, DisabledTempFolderBoxKeepsItsTextWhichIsSaved) {
    QStringList lstFolderRequest;
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("stage"));
    CFileDialogs::SetHooks(
        [&](QWidget*, const QString& c_strCaption, const QString& c_strStart) {
            lstFolderRequest << c_strCaption << c_strStart;
            return lstFolderRequest.size() > 2 ? QString() : m_dir.path() + "/stage";
        },
        {});
    RunDialog(m_pcConfig.get(), [&](Form_Config* pDialog) {
        Controls c(pDialog);
        EXPECT_FALSE(c.pTempFolder->isEnabled());
        c.pUseTempFolder->setChecked(true);
        EXPECT_TRUE(c.pTempFolder->isEnabled());
        c.Click(c.pGeneral, "frmSee");
        EXPECT_EQ(c.pTempFolder->text(), m_dir.path() + "/stage/");
        c.Click(c.pGeneral, "frmSee");  // cancelled: the box keeps its text
        EXPECT_EQ(c.pTempFolder->text(), m_dir.path() + "/stage/");
        c.pUseTempFolder->setChecked(false);
        EXPECT_FALSE(c.pTempFolder->isEnabled());
        EXPECT_EQ(c.pTempFolder->text(), m_dir.path() + "/stage/");
        Find<QAbstractButton>(pDialog, "frmButton_OK")->click();
    });
    EXPECT_EQ(lstFolderRequest.value(0), QStringLiteral("一時フォルダを指定してください。"));
    EXPECT_EQ(lstFolderRequest.value(3), m_dir.path() + "/stage/");
    const std::optional<STConfig> c_stSaved = CConfigFile::Read(m_pcConfig->Get_ConfigFullPath());
    ASSERT_TRUE(c_stSaved.has_value());
    EXPECT_FALSE(c_stSaved->stGeneral.bUseUserTempDirectory);
    EXPECT_EQ(c_stSaved->stGeneral.strUserTempDirectory, m_dir.path() + "/stage/");
    EXPECT_EQ(m_target.lstTempBases.last(), Get_SystemTempDirectory());
}
