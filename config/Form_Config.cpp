#include "Form_Config.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPointer>
#include <QPushButton>
#include <QStackedLayout>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "CConfig.h"
#include "Form_Config_Page_General.h"
#include "Form_Config_Page_Viewer.h"

namespace kestrel {

Form_Config::Form_Config(STConfig* pstConfig, QWidget* pParent)
    : QDialog(pParent), m_pstConfig(pstConfig) {
    setObjectName(QStringLiteral("Form_Config"));
    setWindowTitle(QStringLiteral("設定"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    m_frmTreeView = new QTreeWidget(this);
    m_frmTreeView->setObjectName(QStringLiteral("frmTreeView"));
    m_frmTreeView->setHeaderHidden(true);
    m_frmTreeView->setRootIsDecorated(false);
    m_frmTreeView->setItemsExpandable(false);
    m_frmTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_frmTreeView->setFixedWidth(150);

    m_frmPageBase = new QWidget(this);
    m_frmPageBase->setObjectName(QStringLiteral("frmPageBase"));
    m_pPageStack = new QStackedLayout(m_frmPageBase);
    m_pPageStack->setContentsMargins(0, 0, 0, 0);

    // The page forms stay, hidden, to serve the controls of the boxes taken from them.
    m_pfrmGeneral = new Form_Config_Page_General(this);
    m_pfrmGeneral->hide();
    m_pfrmViewer = new Form_Config_Page_Viewer(this);
    m_pfrmViewer->hide();

    connect(m_frmTreeView, &QTreeWidget::currentItemChanged, this,
            &Form_Config::frmTreeView_AfterSelect);
    QTreeWidgetItem* pGeneralNode =
        AddConfigPage(nullptr, m_pfrmGeneral, QStringLiteral("General"));
    AddConfigPage(nullptr, m_pfrmViewer, QStringLiteral("Viewer"));
    m_frmTreeView->expandAll();

    // Made after the pages so that Tab runs tree, page, OK, キャンセル.
    m_frmButton_OK = new QPushButton(QStringLiteral("OK"), this);
    m_frmButton_OK->setObjectName(QStringLiteral("frmButton_OK"));
    m_frmButton_OK->setDefault(true);
    m_frmButton_Cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_frmButton_Cancel->setObjectName(QStringLiteral("frmButton_Cancel"));
    m_frmButton_Cancel->setAutoDefault(false);

    auto* pBody = new QHBoxLayout;
    pBody->addWidget(m_frmTreeView);
    pBody->addWidget(m_frmPageBase, 1);
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(m_frmButton_OK);
    pButtons->addWidget(m_frmButton_Cancel);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pBody, 1);
    pLayout->addLayout(pButtons);
    pLayout->setSizeConstraint(QLayout::SetFixedSize);

    m_pfrmGeneral->Load_Settings(*m_pstConfig);
    m_pfrmViewer->Load_Settings(*m_pstConfig);

    m_frmTreeView->setCurrentItem(pGeneralNode);
    m_frmTreeView->setFocus();

    connect(m_frmButton_OK, &QPushButton::clicked, this, &Form_Config::frmButton_OK_Click);
    connect(m_frmButton_Cancel, &QPushButton::clicked, this, &Form_Config::frmButton_Cancel_Click);
}

QTreeWidgetItem* Form_Config::AddConfigPage(QTreeWidgetItem* pParentNode, QWidget* pPageForm,
                                            const QString& c_strPageKey) {
    auto* pPage = pPageForm->findChild<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly);
    auto* pNode =
        pParentNode ? new QTreeWidgetItem(pParentNode) : new QTreeWidgetItem(m_frmTreeView);
    pNode->setText(0, pPage->title());
    pNode->setData(0, Qt::UserRole, c_strPageKey);
    m_mapPages.insert(pNode, pPage);
    m_pPageStack->addWidget(pPage);
    return pNode;
}

void Form_Config::frmTreeView_AfterSelect(QTreeWidgetItem* pNode) {
    if (QWidget* pPage = m_mapPages.value(pNode)) m_pPageStack->setCurrentWidget(pPage);
}

void Form_Config::frmButton_OK_Click() {
    m_pfrmGeneral->Store_Settings(*m_pstConfig);
    m_pfrmViewer->Store_Settings(*m_pstConfig);
    accept();
}

void Form_Config::frmButton_Cancel_Click() {
    reject();
}

bool ShowDialog_Config(QWidget* pOwner, CConfig* pcConfig) {
    STConfig stCopy = pcConfig->pstConfig();
    QPointer<Form_Config> pfrmConfig = new Form_Config(&stCopy, pOwner);
    const int c_nResult = pfrmConfig->exec();
    // The owner may have gone while the dialog ran; the dialog went with it then.
    if (!pfrmConfig) return false;
    delete pfrmConfig;
    if (c_nResult != QDialog::Accepted) return false;
    pcConfig->Update(stCopy);
    pcConfig->Save();
    return true;
}

}  // namespace kestrel
