#include "CApplication.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "KestrelResources.h"

namespace kestrel {

QFont Get_UIFont() {
    QFont font = QApplication::font();
    const QStringList lstFamilies = QFontDatabase::families();
    for (const char* pszFamily : {"IPAPGothic", "IPAGothic"}) {
        const QString strFamily = QString::fromLatin1(pszFamily);
        if (lstFamilies.contains(strFamily)) {
            font.setFamilies({strFamily});
            break;
        }
    }
    font.setPointSize(9);
    return font;
}

void Setup_Application(QApplication& app) {
    auto* pTranslator = new QTranslator(&app);
    if (pTranslator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(pTranslator);
    }
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    // Wayland compositors (and KDE on X11) find the name and the icon through the desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(KESTREL_APP_ID));
    QApplication::setWindowIcon(QIcon(EmbeddedImagePath(QStringLiteral("Application.ico"))));
    QApplication::setFont(Get_UIFont());
    // File-type icons come from the desktop's icon theme; outside a desktop session (or with a
    // theme that lacks them) Adwaita, when installed, still gives every type its picture.
    if (QIcon::fallbackThemeName().isEmpty() ||
        QIcon::fallbackThemeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

}  // namespace kestrel
