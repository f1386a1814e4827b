// The About dialog: the program's name and version, the copyright line and two links.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace kestrel {

class Form_About : public QDialog {
    Q_OBJECT
public:
    explicit Form_About(QWidget* pParent = nullptr);

    static QString strWebURL();
    static QString strEMail();

    // Opens a link target; false when the system could not. Tests put their own in place;
    // an empty function restores the system's.
    using UrlOpener = std::function<bool(const QUrl&)>;
    static void SetUrlOpener(UrlOpener fnOpener);

    void frmWebURL_LinkClicked();
    void frmWebEMAIL_LinkClicked();

private:
    void OpenLink(const QUrl& c_url);
};

}  // namespace kestrel
