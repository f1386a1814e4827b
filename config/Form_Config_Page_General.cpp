#include "Form_Config_Page_General.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CFileDialogs.h"

namespace kestrel {

namespace {

QCheckBox* NewCheckBox(QWidget* pParent, const char* szName, const QString& c_strText) {
    auto* pCheckBox = new QCheckBox(c_strText, pParent);
    pCheckBox->setObjectName(QString::fromLatin1(szName));
    return pCheckBox;
}

}  // namespace

Form_Config_Page_General::Form_Config_Page_General(QWidget* pParent) : QWidget(pParent) {
    setObjectName(QStringLiteral("Form_Config_Page_General"));

    m_frmGeneral = new QGroupBox(QStringLiteral("基本"), this);
    m_frmGeneral->setObjectName(QStringLiteral("frmGeneral"));

    m_frmFirstFolderOfAllFiles = NewCheckBox(
        m_frmGeneral, "frmFirstFolderOfAllFiles",
        QStringLiteral("書庫ファイルを開いたときの初期フォルダを「全てのファイル」にする(&A)"));
    m_frmExpandTreeNode =
        NewCheckBox(m_frmGeneral, "frmExpandTreeNode",
                    QStringLiteral("書庫ファイルを開いたとき、全てのフォルダを展開する(&X)"));
    m_frmListViewRowsPluralColor =
        NewCheckBox(m_frmGeneral, "frmListViewRowsPluralColor",
                    QStringLiteral("リストビューの行を見やすくする(&C)"));
    m_frmRestoreWindowPosition = NewCheckBox(m_frmGeneral, "frmRestoreWindowPosition",
                                             QStringLiteral("ウィンドウの位置を保存する(&P)"));
    m_frmRestoreWindowSize = NewCheckBox(m_frmGeneral, "frmRestoreWindowSize",
                                         QStringLiteral("ウィンドウのサイズを保存する(&S)"));
    for (QCheckBox* pHidden :
         {m_frmListViewRowsPluralColor, m_frmRestoreWindowPosition, m_frmRestoreWindowSize}) {
        pHidden->setVisible(false);
    }

    m_frmTempDirectory = new QGroupBox(QStringLiteral("一時フォルダ(&T)"), m_frmGeneral);
    m_frmTempDirectory->setObjectName(QStringLiteral("frmTempDirectory"));
    m_frmUseUserTempDirectory =
        NewCheckBox(m_frmTempDirectory, "frmUseUserTempDirectory",
                    QStringLiteral("一時フォルダに任意のフォルダを指定する(&U)"));
    m_frmUserTempDirectroy = new QLineEdit(m_frmTempDirectory);
    m_frmUserTempDirectroy->setObjectName(QStringLiteral("frmUserTempDirectroy"));
    m_frmSee = new QPushButton(QStringLiteral("参照(&C)"), m_frmTempDirectory);
    m_frmSee->setObjectName(QStringLiteral("frmSee"));
    m_frmSee->setAutoDefault(false);

    auto* pFolderRow = new QHBoxLayout;
    pFolderRow->addWidget(m_frmUserTempDirectroy, 1);
    pFolderRow->addWidget(m_frmSee);
    auto* pTempLayout = new QVBoxLayout(m_frmTempDirectory);
    pTempLayout->addWidget(m_frmUseUserTempDirectory);
    pTempLayout->addLayout(pFolderRow);

    auto* pLayout = new QVBoxLayout(m_frmGeneral);
    pLayout->addWidget(m_frmFirstFolderOfAllFiles);
    pLayout->addWidget(m_frmExpandTreeNode);
    pLayout->addWidget(m_frmListViewRowsPluralColor);
    pLayout->addWidget(m_frmRestoreWindowPosition);
    pLayout->addWidget(m_frmRestoreWindowSize);
    pLayout->addSpacing(6);
    pLayout->addWidget(m_frmTempDirectory);
    pLayout->addStretch(1);

    connect(m_frmUseUserTempDirectory, &QCheckBox::toggled, this,
            &Form_Config_Page_General::frmUseUserTempDirectory_CheckedChanged);
    connect(m_frmSee, &QPushButton::clicked, this, &Form_Config_Page_General::frmSee_Click);
}

void Form_Config_Page_General::Load_Settings(const STConfig& c_stConfig) {
    const STGeneral& c_stGeneral = c_stConfig.stGeneral;
    const STWindow& c_stWindow = c_stConfig.stView.stWindow;
    m_frmFirstFolderOfAllFiles->setChecked(c_stGeneral.bFirstFolderOfAllFiles);
    m_frmExpandTreeNode->setChecked(c_stGeneral.bExpandTreeNode);
    m_frmListViewRowsPluralColor->setChecked(c_stConfig.stView.bListViewRowsPluralColor);
    m_frmRestoreWindowPosition->setChecked(c_stWindow.bRestoreWindowPosition);
    m_frmRestoreWindowSize->setChecked(c_stWindow.bRestoreWindowSize);
    m_frmUseUserTempDirectory->setChecked(c_stGeneral.bUseUserTempDirectory);
    m_frmUserTempDirectroy->setText(c_stGeneral.strUserTempDirectory);
    m_frmUserTempDirectroy->setEnabled(c_stGeneral.bUseUserTempDirectory);
}

void Form_Config_Page_General::Store_Settings(STConfig& stConfig) const {
    STGeneral& stGeneral = stConfig.stGeneral;
    STWindow& stWindow = stConfig.stView.stWindow;
    stGeneral.bFirstFolderOfAllFiles = m_frmFirstFolderOfAllFiles->isChecked();
    stGeneral.bExpandTreeNode = m_frmExpandTreeNode->isChecked();
    stConfig.stView.bListViewRowsPluralColor = m_frmListViewRowsPluralColor->isChecked();
    stWindow.bRestoreWindowPosition = m_frmRestoreWindowPosition->isChecked();
    stWindow.bRestoreWindowSize = m_frmRestoreWindowSize->isChecked();
    stGeneral.bUseUserTempDirectory = m_frmUseUserTempDirectory->isChecked();
    stGeneral.strUserTempDirectory = m_frmUserTempDirectroy->text();
}

void Form_Config_Page_General::frmUseUserTempDirectory_CheckedChanged(bool bChecked) {
    m_frmUserTempDirectroy->setEnabled(bChecked);
}

void Form_Config_Page_General::frmSee_Click() {
    const QString c_strTyped = m_frmUserTempDirectroy->text();
    const QString c_strStart = QFileInfo(c_strTyped).isDir() ? c_strTyped : QDir::homePath();
    const QString c_strChosen = CFileDialogs::ChooseFolder(
        window(), QStringLiteral("一時フォルダを指定してください。"), c_strStart);
    if (c_strChosen.isEmpty()) return;
    m_frmUserTempDirectroy->setText(c_strChosen.endsWith(u'/') ? c_strChosen : c_strChosen + u'/');
}

}  // namespace kestrel
