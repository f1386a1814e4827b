#include "CCommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace kestrel {

namespace {

// Qt's own options (QGuiApplication, QApplication, the X11 platform) that QApplication takes
// out of the arguments itself; they are allowed here but not shown in the help.
struct QT_OPTION {
    const char* pszName;
    bool bValue;
};
constexpr QT_OPTION c_astQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"session", true},
    {"display", true},         {"geometry", true},
    {"style", true},           {"stylesheet", true},
    {"reverse", false},        {"widgetcount", false},
    {"nograb", false},         {"dograb", false},
    {"sync", false},
};

// The argument as the user typed it, for the message.
QString AsTyped(const QStringList& c_lstArgs, const QString& c_strName) {
    for (const QString& c_strArg : c_lstArgs.mid(1)) {
        if (c_strArg == QLatin1String("--")) break;
        QString strName = c_strArg;
        while (strName.startsWith(u'-')) strName.remove(0, 1);
        strName = strName.section(u'=', 0, 0);
        if (strName == c_strName) return c_strArg;
    }
    return QStringLiteral("--") + c_strName;
}

// The parser's own texts are English; its three kinds of mistake are told in Japanese.
QString ErrorText(const QCommandLineParser& c_parser, const QStringList& c_lstArgs) {
    const QStringList lstUnknown = c_parser.unknownOptionNames();
    if (!lstUnknown.isEmpty())
        return QStringLiteral("不明なオプションです: %1")
            .arg(AsTyped(c_lstArgs, lstUnknown.first()));
    const QString strText = c_parser.errorText();
    const QString strOption = strText.section(u'\'', 1, 1);
    if (strText.startsWith(QLatin1String("Missing value")))
        return QStringLiteral("オプションに値がありません: %1").arg(strOption);
    if (strText.startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("このオプションは値をとりません: %1").arg(strOption);
    return QStringLiteral("引数が正しくありません (%1)").arg(strText);
}

}  // namespace

CCommandLine CCommandLine::Parse(const QStringList& c_lstArgs) {
    CCommandLine st;
    QCommandLineParser parser;
    // Qt's options are spelt with one dash: -platform is one option, not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption optHelp(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption optVersion(
        QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(optHelp);
    parser.addOption(optVersion);
    for (const QT_OPTION& c_st : c_astQtOptions) {
        QCommandLineOption opt(QString::fromLatin1(c_st.pszName));
        if (c_st.bValue) opt.setValueName(QStringLiteral("value"));
        parser.addOption(opt);
    }

    if (!parser.parse(c_lstArgs)) {
        st.eAction = ACTION_ERROR;
        st.strError = ErrorText(parser, c_lstArgs);
        return st;
    }
    // A lone "-" would be read as a file named "-"; it usually means standard input, which
    // an archive browser cannot open.
    for (const QString& c_strArg : c_lstArgs.mid(1)) {
        if (c_strArg == QLatin1String("--")) break;
        if (c_strArg == QLatin1String("-")) {
            st.eAction = ACTION_ERROR;
            st.strError = QStringLiteral("不明なオプションです: -");
            return st;
        }
    }
    if (parser.isSet(optHelp)) {
        st.eAction = ACTION_HELP;
    } else if (parser.isSet(optVersion)) {
        st.eAction = ACTION_VERSION;
    }
    st.lstArchives = parser.positionalArguments();
    st.bPlatformGiven = parser.isSet(QStringLiteral("platform"));
    return st;
}

QString CCommandLine::HelpText() {
    return QStringLiteral(
        "使い方: kestrel [オプション] [書庫...]\n"
        "\n"
        "LHA (.lzh .lha)、ZIP (.zip)、7-Zip (.7z) の書庫を開き、中身を表示して解凍します。\n"
        "最初の書庫をこのウィンドウで開き、ほかの書庫はそれぞれ新しいウィンドウで開きます。\n"
        "\n"
        "オプション:\n"
        "  -h, --help     この使い方を表示して終了します\n"
        "  -v, --version  バージョンを表示して終了します\n"
        "  --             これより後の引数はすべて書庫の名前です (- で始まる名前のとき)\n"
        "\n"
        "Qt のオプション (-platform、-style など) も使えます。Wayland のデスクトップでは、\n"
        "X11 (XWayland) が使えれば X11 で動きます (ドラッグ＆ドロップでの解凍のため)。\n"
        "QT_QPA_PLATFORM または -platform を指定すると、それに従います。\n");
}

QString CCommandLine::VersionText() {
    return QStringLiteral("kestrel " KESTREL_VERSION "\n");
}

QString Choose_Platform(const CCommandLine& c_stCommandLine) {
    if (c_stCommandLine.bPlatformGiven || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return QString();
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return QString();
    return QStringLiteral("xcb");
}

}  // namespace kestrel
