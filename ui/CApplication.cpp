#include "CApplication.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>
#include <cerrno>
#include <clocale>
#include <csignal>

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

namespace {

// Texts of Qt's file dialogs that its Japanese translation lacks.
class CFileDialogTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* pszContext, const char* pszSource, const char*,
                      int) const override {
        if (qstrcmp(pszContext, "QAbstractFileIconProvider") != 0) return QString();
        static const struct {
            const char* pszSource;
            const char16_t* pszText;
        } c_astTexts[] = {{"Folder", u"フォルダー"},
                          {"Drive", u"ドライブ"},
                          {"File", u"ファイル"},
                          {"%1 File", u"%1 ファイル"}};
        for (const auto& c_st : c_astTexts)
            if (qstrcmp(pszSource, c_st.pszSource) == 0) return QString::fromUtf16(c_st.pszText);
        return QString();
    }
};

int s_afdSignalPipe[2] = {-1, -1};

// All a handler may do safely: the event loop reads the pipe.
void OnTerminationSignal(int nSignal) {
    const int c_nSavedErrno = errno;
    const char c_ch = static_cast<char>(nSignal);
    [[maybe_unused]] const ssize_t c_n = ::write(s_afdSignalPipe[1], &c_ch, 1);
    errno = c_nSavedErrno;
}

}  // namespace

void Quit_OnTerminationSignals(QApplication& app) {
    if (s_afdSignalPipe[0] >= 0 || ::pipe2(s_afdSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* pNotifier = new QSocketNotifier(s_afdSignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(pNotifier, &QSocketNotifier::activated, &app, [] {
        char ach[16];
        while (::read(s_afdSignalPipe[0], ach, sizeof ach) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction stAction {};
    stAction.sa_handler = &OnTerminationSignal;
    sigemptyset(&stAction.sa_mask);
    stAction.sa_flags = SA_RESTART;
    for (const int c_nSignal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(c_nSignal, &stAction, nullptr);
}

CJapaneseSystemLocale::CJapaneseSystemLocale() {
    if (qEnvironmentVariableIsSet("LC_ALL")) m_baOldAll = qgetenv("LC_ALL");
    qputenv("LC_ALL", "ja_JP.UTF-8");
}

CJapaneseSystemLocale::~CJapaneseSystemLocale() {
    if (m_baOldAll)
        qputenv("LC_ALL", *m_baOldAll);
    else
        qunsetenv("LC_ALL");
    // The C library may lack the Japanese locale and have fallen back to "C" for everything.
    std::setlocale(LC_ALL, "");
}

void Setup_Application(QApplication& app) {
    QApplication::installTranslator(new CFileDialogTexts(&app));
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
