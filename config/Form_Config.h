// The options dialog "設定": a tree of pages on the left, the selected page on the right, OK
// and キャンセル. It edits only the record it is given, and only on OK; it validates nothing
// (CConfig::Update does).
#pragma once

#include <QDialog>
#include <QHash>

#include "STConfig.h"

class QPushButton;
class QStackedLayout;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrel {

class CConfig;
class Form_Config_Page_General;
class Form_Config_Page_Viewer;

class Form_Config : public QDialog {
    Q_OBJECT

public:
    // pstConfig is the copy to edit; not owned, it must outlive the dialog.
    explicit Form_Config(STConfig* pstConfig, QWidget* pParent = nullptr);

    // Takes the page form's group box into the page area and adds a node for it below
    // pParentNode (top level when null): the node's text is the box's title, c_strPageKey its
    // name (Qt::UserRole). Returns the node.
    QTreeWidgetItem* AddConfigPage(QTreeWidgetItem* pParentNode, QWidget* pPageForm,
                                   const QString& c_strPageKey);

private slots:
    void frmTreeView_AfterSelect(QTreeWidgetItem* pNode);
    void frmButton_OK_Click();
    void frmButton_Cancel_Click();

private:
    STConfig* m_pstConfig;
    QTreeWidget* m_frmTreeView;
    QWidget* m_frmPageBase;
    QStackedLayout* m_pPageStack;
    QPushButton* m_frmButton_OK;
    QPushButton* m_frmButton_Cancel;
    Form_Config_Page_General* m_pfrmGeneral;
    Form_Config_Page_Viewer* m_pfrmViewer;
    QHash<QTreeWidgetItem*, QWidget*> m_mapPages;  // node -> the group box it carries
};

// The exchange the main window's driver runs for "オプション設定(&O)": a copy of the current
// record is edited in a modal Form_Config owned by pOwner; on OK the copy is applied
// (CConfig::Update) and saved (CConfig::Save), each reporting its own failure. True for OK.
bool ShowDialog_Config(QWidget* pOwner, CConfig* pcConfig);

}  // namespace kestrel
