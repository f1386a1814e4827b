#include "Form_About.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CMessageBox.h"
#include "KestrelResources.h"

namespace kestrel {

namespace {

Form_About::UrlOpener& CurrentOpener() {
    static Form_About::UrlOpener fnOpener;
    return fnOpener;
}

QLabel* NewLabel(const QString& c_strName, const QString& c_strText, QWidget* pParent) {
    auto* pLabel = new QLabel(c_strText, pParent);
    pLabel->setObjectName(c_strName);
    return pLabel;
}

QLabel* NewLink(const QString& c_strName, const QString& c_strText, QWidget* pParent) {
    auto* pLink = NewLabel(c_strName, QString(), pParent);
    pLink->setTextFormat(Qt::RichText);
    pLink->setText(QStringLiteral("<a href=\"#\">%1</a>").arg(c_strText.toHtmlEscaped()));
    pLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    pLink->setOpenExternalLinks(false);
    pLink->setCursor(Qt::PointingHandCursor);
    return pLink;
}

}  // namespace

QString Form_About::strWebURL() {
    return QStringLiteral("https://kestrel.example.org/");
}
QString Form_About::strEMail() {
    return QStringLiteral("support@kestrel.example.org");
}

void Form_About::SetUrlOpener(UrlOpener fnOpener) {
    CurrentOpener() = std::move(fnOpener);
}

Form_About::Form_About(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto* frmIcon = NewLabel(QStringLiteral("frmIcon"), QString(), this);
    frmIcon->setPixmap(
        QIcon(EmbeddedImagePath(QStringLiteral("Application.ico"))).pixmap(QSize(32, 32)));
    frmIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* frmApplicationName =
        NewLabel(QStringLiteral("frmApplicationName"), QStringLiteral("ケストレル Ver.0.03"), this);
    QFont fontName = frmApplicationName->font();
    fontName.setBold(true);
    frmApplicationName->setFont(fontName);
    auto* frmCopyright = NewLabel(QStringLiteral("frmCopyright"),
                                  QStringLiteral("Copyright (C) 2026 Kestrel developers"), this);
    auto* label1 = NewLabel(QStringLiteral("label1"), QStringLiteral("最新版配布・サポート"), this);
    auto* frmWebURL = NewLink(QStringLiteral("frmWebURL"), strWebURL(), this);
    auto* label2 = NewLabel(QStringLiteral("label2"), QStringLiteral("問い合わせ"), this);
    auto* frmWebEMAIL = NewLink(QStringLiteral("frmWebEMAIL"), strEMail(), this);
    auto* frmClose = new QPushButton(QStringLiteral("閉じる"), this);
    frmClose->setObjectName(QStringLiteral("frmClose"));
    frmClose->setDefault(true);

    auto* pLinks = new QGridLayout;
    pLinks->setHorizontalSpacing(12);
    pLinks->addWidget(label1, 0, 0);
    pLinks->addWidget(frmWebURL, 0, 1);
    pLinks->addWidget(label2, 1, 0);
    pLinks->addWidget(frmWebEMAIL, 1, 1);

    auto* pTexts = new QVBoxLayout;
    pTexts->setSpacing(6);
    pTexts->addWidget(frmApplicationName);
    pTexts->addWidget(frmCopyright);
    pTexts->addSpacing(8);
    pTexts->addLayout(pLinks);

    auto* pContent = new QHBoxLayout;
    pContent->setSpacing(16);
    pContent->addWidget(frmIcon, 0, Qt::AlignTop);
    pContent->addLayout(pTexts);

    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch();
    pButtons->addWidget(frmClose);

    auto* pMain = new QVBoxLayout(this);
    pMain->setContentsMargins(16, 16, 16, 12);
    pMain->setSpacing(16);
    pMain->addLayout(pContent);
    pMain->addLayout(pButtons);
    pMain->setSizeConstraint(QLayout::SetFixedSize);

    connect(frmWebURL, &QLabel::linkActivated, this, [this] { frmWebURL_LinkClicked(); });
    connect(frmWebEMAIL, &QLabel::linkActivated, this, [this] { frmWebEMAIL_LinkClicked(); });
    connect(frmClose, &QPushButton::clicked, this, &QDialog::accept);
}

void Form_About::frmWebURL_LinkClicked() {
    OpenLink(QUrl(strWebURL()));
}

void Form_About::frmWebEMAIL_LinkClicked() {
    OpenLink(QUrl(QStringLiteral("mailto:") + strEMail()));
}

void Form_About::OpenLink(const QUrl& c_url) {
    const bool bOpened =
        CurrentOpener() ? CurrentOpener()(c_url) : QDesktopServices::openUrl(c_url);
    if (!bOpened) {
        CMessageBox::Error(this,
                           QStringLiteral("リンク先を開くことができません\n") + c_url.toString());
    }
}

}  // namespace kestrel
