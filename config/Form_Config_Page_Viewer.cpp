#include "Form_Config_Page_Viewer.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "CFileDialogs.h"

namespace kestrel {

namespace {

const QString c_strRelateText = QStringLiteral("<関連づけられたアプリケーション>");
constexpr int c_nRecordRole = Qt::UserRole;

QString PathText(const QString& c_strFilePath) {
    return c_strFilePath == QLatin1String(c_szRelateViewer) ? c_strRelateText : c_strFilePath;
}

QLabel* NewLabel(QWidget* pParent, const char* szName, const QString& c_strText) {
    auto* pLabel = new QLabel(c_strText, pParent);
    pLabel->setObjectName(QString::fromLatin1(szName));
    return pLabel;
}

QPushButton* NewButton(QWidget* pParent, const char* szName, const QString& c_strText) {
    auto* pButton = new QPushButton(c_strText, pParent);
    pButton->setObjectName(QString::fromLatin1(szName));
    pButton->setAutoDefault(false);
    return pButton;
}

}  // namespace

Form_Config_Page_Viewer::Form_Config_Page_Viewer(QWidget* pParent) : QWidget(pParent) {
    setObjectName(QStringLiteral("Form_Config_Page_Viewer"));

    m_frmViewer = new QGroupBox(QStringLiteral("開く(閲覧用ビューワ)"), this);
    m_frmViewer->setObjectName(QStringLiteral("frmViewer"));

    QLabel* pLabel1 =
        NewLabel(m_frmViewer, "label1",
                 QStringLiteral("書庫内のファイルを開くために使用するアプリケーションの設定"));

    m_frmViewerApplications = new QTableWidget(0, 2, m_frmViewer);
    m_frmViewerApplications->setObjectName(QStringLiteral("frmViewerApplications"));
    m_frmViewerApplications->setHorizontalHeaderLabels(
        {QStringLiteral("名前"), QStringLiteral("実行ファイル")});
    m_frmViewerApplications->horizontalHeaderItem(0)->setData(Qt::UserRole,
                                                              QStringLiteral("columnName"));
    m_frmViewerApplications->horizontalHeaderItem(1)->setData(Qt::UserRole,
                                                              QStringLiteral("columnExecute"));
    m_frmViewerApplications->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_frmViewerApplications->setSelectionMode(QAbstractItemView::SingleSelection);
    m_frmViewerApplications->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_frmViewerApplications->setShowGrid(true);
    m_frmViewerApplications->setWordWrap(false);
    m_frmViewerApplications->verticalHeader()->setVisible(false);
    m_frmViewerApplications->verticalHeader()->setDefaultSectionSize(
        m_frmViewerApplications->fontMetrics().height() + 6);
    QHeaderView* pHeader = m_frmViewerApplications->horizontalHeader();
    pHeader->setSectionsClickable(false);
    pHeader->setHighlightSections(false);
    pHeader->setStretchLastSection(true);
    pHeader->resizeSection(0, 130);

    m_frmAdd = NewButton(m_frmViewer, "frmAdd", QStringLiteral("追加(&A)"));
    m_frmRemove = NewButton(m_frmViewer, "frmRemove", QStringLiteral("削除(&R)"));
    m_frmUp = NewButton(m_frmViewer, "frmUp", QStringLiteral("上へ(&U)"));
    m_frmDown = NewButton(m_frmViewer, "frmDown", QStringLiteral("下へ(&D)"));
    QLabel* pLabel5 = NewLabel(m_frmViewer, "label5",
                               QStringLiteral("※上に位置するアプリケーションが優先されます"));

    m_frmEditGroup = new QGroupBox(QStringLiteral("編集"), m_frmViewer);
    m_frmEditGroup->setObjectName(QStringLiteral("frmEditGroup"));
    QLabel* pLabel2 = NewLabel(m_frmEditGroup, "label2", QStringLiteral("名前"));
    m_frmName = new QLineEdit(m_frmEditGroup);
    m_frmName->setObjectName(QStringLiteral("frmName"));
    QLabel* pLabel3 = NewLabel(m_frmEditGroup, "label3", QStringLiteral("実行ファイル"));
    m_frmFilePath = new QLineEdit(m_frmEditGroup);
    m_frmFilePath->setObjectName(QStringLiteral("frmFilePath"));
    m_frmSee = NewButton(m_frmEditGroup, "frmSee", QStringLiteral("参照(&C)"));
    m_frmUpdate = NewButton(m_frmEditGroup, "frmUpdate", QStringLiteral("更新(&P)"));
    QLabel* pLabel4 =
        NewLabel(m_frmEditGroup, "label4", QStringLiteral("設定後に「更新」を押してください"));

    auto* pEditLayout = new QGridLayout(m_frmEditGroup);
    pEditLayout->addWidget(pLabel2, 0, 0);
    pEditLayout->addWidget(m_frmName, 0, 1, 1, 2);
    pEditLayout->addWidget(pLabel3, 1, 0);
    pEditLayout->addWidget(m_frmFilePath, 1, 1);
    pEditLayout->addWidget(m_frmSee, 1, 2);
    pEditLayout->addWidget(pLabel4, 2, 1, Qt::AlignRight);
    pEditLayout->addWidget(m_frmUpdate, 2, 2);
    pEditLayout->setColumnStretch(1, 1);

    auto* pButtons = new QVBoxLayout;
    for (QPushButton* pButton : {m_frmAdd, m_frmRemove, m_frmUp, m_frmDown}) {
        pButtons->addWidget(pButton);
    }
    pButtons->addStretch(1);
    auto* pListRow = new QHBoxLayout;
    pListRow->addWidget(m_frmViewerApplications, 1);
    pListRow->addLayout(pButtons);

    auto* pLayout = new QVBoxLayout(m_frmViewer);
    pLayout->addWidget(pLabel1);
    pLayout->addLayout(pListRow, 1);
    pLayout->addWidget(pLabel5);
    pLayout->addWidget(m_frmEditGroup);

    connect(m_frmViewerApplications, &QTableWidget::itemSelectionChanged, this,
            &Form_Config_Page_Viewer::frmViewerApplications_ItemSelectionChanged);
    connect(m_frmAdd, &QPushButton::clicked, this, &Form_Config_Page_Viewer::frmAdd_Click);
    connect(m_frmRemove, &QPushButton::clicked, this, &Form_Config_Page_Viewer::frmRemove_Click);
    connect(m_frmUp, &QPushButton::clicked, this, &Form_Config_Page_Viewer::frmUp_Click);
    connect(m_frmDown, &QPushButton::clicked, this, &Form_Config_Page_Viewer::frmDown_Click);
    connect(m_frmUpdate, &QPushButton::clicked, this, &Form_Config_Page_Viewer::frmUpdate_Click);
    connect(m_frmSee, &QPushButton::clicked, this, &Form_Config_Page_Viewer::frmSee_Click);

    EnableEditForm(false);
}

void Form_Config_Page_Viewer::Load_Settings(const STConfig& c_stConfig) {
    m_frmViewerApplications->clearSelection();
    m_frmViewerApplications->setRowCount(0);
    for (const VIEWERAPPLICATION& c_stViewer : c_stConfig.stOpen.stViewerApplications) {
        AppendRow(c_stViewer);
    }
    if (m_frmViewerApplications->rowCount() > 0) m_frmViewerApplications->selectRow(0);
}

void Form_Config_Page_Viewer::Store_Settings(STConfig& stConfig) const {
    QList<VIEWERAPPLICATION> lstViewers;
    for (int nRow = 0; nRow < m_frmViewerApplications->rowCount(); ++nRow) {
        lstViewers.append(RowRecord(nRow));
    }
    stConfig.stOpen.stViewerApplications = lstViewers;
}

void Form_Config_Page_Viewer::EnableEditForm(bool bEnable) {
    for (QWidget* pControl : std::initializer_list<QWidget*>{m_frmName, m_frmFilePath, m_frmUpdate,
                                                             m_frmSee, m_frmRemove}) {
        pControl->setEnabled(bEnable);
    }
}

int Form_Config_Page_Viewer::SelectedRow() const {
    const QModelIndexList c_lstRows = m_frmViewerApplications->selectionModel()->selectedRows();
    return c_lstRows.size() == 1 ? c_lstRows.first().row() : -1;
}

VIEWERAPPLICATION Form_Config_Page_Viewer::RowRecord(int nRow) const {
    return m_frmViewerApplications->item(nRow, 0)->data(c_nRecordRole).value<VIEWERAPPLICATION>();
}

void Form_Config_Page_Viewer::SetRow(int nRow, const VIEWERAPPLICATION& c_stViewer) {
    auto* pName = new QTableWidgetItem(c_stViewer.strName);
    pName->setData(c_nRecordRole, QVariant::fromValue(c_stViewer));
    m_frmViewerApplications->setItem(nRow, 0, pName);
    m_frmViewerApplications->setItem(nRow, 1,
                                     new QTableWidgetItem(PathText(c_stViewer.strFilePath)));
}

void Form_Config_Page_Viewer::AppendRow(const VIEWERAPPLICATION& c_stViewer) {
    const int c_nRow = m_frmViewerApplications->rowCount();
    m_frmViewerApplications->insertRow(c_nRow);
    SetRow(c_nRow, c_stViewer);
}

void Form_Config_Page_Viewer::frmViewerApplications_ItemSelectionChanged() {
    if (m_bMovingRow) return;
    const int c_nRow = SelectedRow();
    if (c_nRow < 0) {
        m_frmName->clear();
        m_frmFilePath->clear();
        EnableEditForm(false);
        return;
    }
    const VIEWERAPPLICATION c_stViewer = RowRecord(c_nRow);
    EnableEditForm(c_stViewer.bOverwrite);
    m_frmName->setText(c_stViewer.strName);
    m_frmFilePath->setText(PathText(c_stViewer.strFilePath));
}

void Form_Config_Page_Viewer::frmAdd_Click() {
    AppendRow(
        {QStringLiteral("<アプリケーション名>"), QStringLiteral("<実行ファイルのパス>"), true});
    const int c_nRow = m_frmViewerApplications->rowCount() - 1;
    m_frmViewerApplications->selectRow(c_nRow);
    m_frmViewerApplications->scrollToItem(m_frmViewerApplications->item(c_nRow, 0));
}

void Form_Config_Page_Viewer::frmRemove_Click() {
    const int c_nRow = SelectedRow();
    if (c_nRow < 0 || !RowRecord(c_nRow).bOverwrite) return;
    m_frmViewerApplications->removeRow(c_nRow);
    // Nothing is selected afterwards, whatever row the view makes current.
    m_frmViewerApplications->clearSelection();
    frmViewerApplications_ItemSelectionChanged();
}

void Form_Config_Page_Viewer::SwapRows(int nSelected, int nOther) {
    const VIEWERAPPLICATION c_stSelected = RowRecord(nSelected);
    const VIEWERAPPLICATION c_stOther = RowRecord(nOther);
    m_bMovingRow = true;
    SetRow(nSelected, c_stOther);
    SetRow(nOther, c_stSelected);
    m_frmViewerApplications->selectRow(nOther);
    m_bMovingRow = false;
}

void Form_Config_Page_Viewer::frmUp_Click() {
    const int c_nRow = SelectedRow();
    if (c_nRow <= 0) return;
    SwapRows(c_nRow, c_nRow - 1);
}

void Form_Config_Page_Viewer::frmDown_Click() {
    const int c_nRow = SelectedRow();
    if (c_nRow < 0 || c_nRow >= m_frmViewerApplications->rowCount() - 1) return;
    SwapRows(c_nRow, c_nRow + 1);
}

void Form_Config_Page_Viewer::frmUpdate_Click() {
    const int c_nRow = SelectedRow();
    if (c_nRow < 0) return;
    VIEWERAPPLICATION stViewer = RowRecord(c_nRow);
    if (!stViewer.bOverwrite) return;
    stViewer.strName = m_frmName->text();
    // The box shows the association as a description; writing that back would break the entry.
    const QString c_strPath = m_frmFilePath->text();
    if (!(c_strPath == c_strRelateText &&
          stViewer.strFilePath == QLatin1String(c_szRelateViewer))) {
        stViewer.strFilePath = c_strPath;
    }
    m_bMovingRow = true;
    SetRow(c_nRow, stViewer);
    m_frmViewerApplications->selectRow(c_nRow);
    m_bMovingRow = false;
}

void Form_Config_Page_Viewer::frmSee_Click() {
    const QString c_strChosen =
        CFileDialogs::ChooseOpenFile(window(), QStringLiteral("開く"), QStringLiteral("/usr/bin"),
                                     QStringLiteral("全てのファイル(*)"));
    if (!c_strChosen.isEmpty()) m_frmFilePath->setText(c_strChosen);
}

}  // namespace kestrel
