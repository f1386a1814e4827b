// The options dialog's "開く(閲覧用ビューワ)" page: the ordered list of viewer programs. Its
// whole content is the group box frmViewer, which Form_Config takes into its page area; this
// object stays behind to serve the box's controls. Each row of the list carries its record;
// the edit boxes change a row only through "更新(&P)".
#pragma once

#include <QWidget>

#include "STConfig.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kestrel {

class Form_Config_Page_Viewer : public QWidget {
    Q_OBJECT

public:
    explicit Form_Config_Page_Viewer(QWidget* pParent = nullptr);

    QGroupBox* frmViewer() const { return m_frmViewer; }

    // Replaces the rows with the record's viewers and selects the first row.
    void Load_Settings(const STConfig& c_stConfig);
    // The rows' records, in the rows' order, become the record's viewer list.
    void Store_Settings(STConfig& stConfig) const;

private slots:
    void frmViewerApplications_ItemSelectionChanged();
    void frmAdd_Click();
    void frmRemove_Click();
    void frmUp_Click();
    void frmDown_Click();
    void frmUpdate_Click();
    void frmSee_Click();

private:
    void EnableEditForm(bool bEnable);
    int SelectedRow() const;  // -1 unless exactly one row is selected
    VIEWERAPPLICATION RowRecord(int nRow) const;
    void SetRow(int nRow, const VIEWERAPPLICATION& c_stViewer);
    void AppendRow(const VIEWERAPPLICATION& c_stViewer);
    void SwapRows(int nSelected, int nOther);

    QGroupBox* m_frmViewer;
    QTableWidget* m_frmViewerApplications;
    QPushButton* m_frmAdd;
    QPushButton* m_frmRemove;
    QPushButton* m_frmUp;
    QPushButton* m_frmDown;
    QGroupBox* m_frmEditGroup;
    QLineEdit* m_frmName;
    QLineEdit* m_frmFilePath;
    QPushButton* m_frmSee;
    QPushButton* m_frmUpdate;
    bool m_bMovingRow = false;  // a swap keeps the selection and what is typed in the boxes
};

}  // namespace kestrel
