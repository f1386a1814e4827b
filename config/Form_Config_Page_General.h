// The options dialog's "基本" page: general settings, list striping, window placement switches
// and the temporary folder. Its whole content is the group box frmGeneral, which Form_Config
// takes into its page area; this object stays behind to serve the box's controls.
#pragma once

#include <QWidget>

#include "STConfig.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kestrel {

class Form_Config_Page_General : public QWidget {
    Q_OBJECT

public:
    explicit Form_Config_Page_General(QWidget* pParent = nullptr);

    QGroupBox* frmGeneral() const { return m_frmGeneral; }

    // Fills the controls from the record.
    void Load_Settings(const STConfig& c_stConfig);
    // Copies the seven settings of the page back, the folder as typed.
    void Store_Settings(STConfig& stConfig) const;

private slots:
    void frmUseUserTempDirectory_CheckedChanged(bool bChecked);
    void frmSee_Click();

private:
    QGroupBox* m_frmGeneral;
    QCheckBox* m_frmFirstFolderOfAllFiles;
    QCheckBox* m_frmExpandTreeNode;
    QCheckBox* m_frmListViewRowsPluralColor;  // hidden: passed through unchanged
    QCheckBox* m_frmRestoreWindowPosition;    // hidden
    QCheckBox* m_frmRestoreWindowSize;        // hidden
    QGroupBox* m_frmTempDirectory;
    QCheckBox* m_frmUseUserTempDirectory;
    QLineEdit* m_frmUserTempDirectroy;
    QPushButton* m_frmSee;
};

}  // namespace kestrel
