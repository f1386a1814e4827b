// The settings file's XML: what is written, what is read back, and what is refused.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include "CConfigFile.h"

using namespace kestrel;

namespace {

// A record that differs from the defaults in every field.
STConfig ChangedRecord() {
    STConfig st;
    st.strVersion = QStringLiteral("0.02");
    st.stGeneral = {};
    st.stGeneral.bFirstFolderOfAllFiles = true;
    st.stGeneral.bExpandTreeNode = false;
    st.stGeneral.bUseUserTempDirectory = true;
    st.stGeneral.strUserTempDirectory = QStringLiteral("/var/tmp/作業 <&> \"'/");
    st.stOpen.stViewerApplications = {
        {QStringLiteral("メモ帳"), QStringLiteral("/usr/bin/mousepad"), true},
        {QStringLiteral("関連づけ"), QStringLiteral("RELATE:"), false},
        {QStringLiteral(" a&b <c> "), QStringLiteral(""), true},
    };
    st.stView.bListViewRowsPluralColor = true;
    STWindow& stWindow = st.stView.stWindow;
    stWindow.bRestoreWindowPosition = true;
    stWindow.bRestoreWindowSize = true;
    stWindow.eWindowState = EWindowState::Maximized;
    stWindow.stWindowBounds = {-8, -2147483647 - 1, 1936, 2147483647};
    stWindow.stWindowRestoreBounds = {100, 120, 640, 400};
    return st;
}

QByteArray DefaultsXml() {
    return CConfigFile::Serialize(STConfig()).value();
}

QByteArray Replaced(QByteArray baXml, const char* szFrom, const char* szTo) {
    EXPECT_TRUE(baXml.contains(szFrom)) << szFrom;
    return baXml.replace(szFrom, szTo);
}

}  // namespace

TEST(ConfigFile, RoundTripOfDefaultsAndOfAChangedRecord) {
    EXPECT_EQ(CConfigFile::Parse(DefaultsXml()), STConfig());
    const STConfig c_stChanged = ChangedRecord();
    EXPECT_EQ(CConfigFile::Parse(CConfigFile::Serialize(c_stChanged).value()), c_stChanged);
}

TEST(ConfigFile, WritesTheNodesInTheirFixedOrder) {
    QXmlStreamReader xml(CConfigFile::Serialize(ChangedRecord()).value());
    QStringList lstNodes;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        QString strNode = xml.name().toString();
        for (const QXmlStreamAttribute& c_attr : xml.attributes()) {
            strNode += u'@' + c_attr.name().toString() + u'=' + c_attr.value().toString();
        }
        lstNodes.append(strNode);
    }
    ASSERT_FALSE(xml.hasError());
    const QStringList c_lstRectangle = {"X", "Y", "Width", "Height"};
    QStringList lstExpected = {"Config@Version=0.02",
                               "General",
                               "FirstFolderOfAllFiles",
                               "ExpandTreeNode",
                               "UseUserTempDirectory",
                               "UserTempDirectory",
                               "Extract",
                               "Open",
                               "ViewerApplications"};
    for (int n = 0; n < 3; ++n)
        lstExpected << "ViewerApplication"
                    << "Name"
                    << "FilePath"
                    << "Overwrite";
    lstExpected << "View"
                << "ListViewRowsPluralColor"
                << "Window@RestoreWindowPosition=true@RestoreWindowSize=true"
                << "WindowState"
                << "WindowBounds" << c_lstRectangle << "WindowRestoreBounds" << c_lstRectangle;
    EXPECT_EQ(lstNodes, lstExpected);
}

TEST(ConfigFile, SpellsValuesReadably) {
    const QByteArray c_baXml = CConfigFile::Serialize(ChangedRecord()).value();
    EXPECT_TRUE(c_baXml.contains("<WindowState>Maximized</WindowState>"));
    EXPECT_TRUE(c_baXml.contains("<ExpandTreeNode>false</ExpandTreeNode>"));
    EXPECT_TRUE(c_baXml.contains("<X>-8</X>"));
    EXPECT_TRUE(c_baXml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
}

TEST(ConfigFile, RefusesEveryFileItDoesNotFullyUnderstand) {
    const QByteArray c_baXml = DefaultsXml();
    const struct {
        const char* szCase;
        QByteArray baXml;
    } c_aCases[] = {
        {"wrong root",
         Replaced(Replaced(c_baXml, "<Config ", "<Settings "), "</Config>", "</Settings>")},
        {"bad window state", Replaced(c_baXml, ">Normal<", ">Fullscreen<")},
        {"window state as number", Replaced(c_baXml, ">Normal<", ">0<")},
        {"bad number", Replaced(c_baXml, "<Width>800<", "<Width>8OO<")},
        {"number beyond 32 bits", Replaced(c_baXml, "<Width>800<", "<Width>2147483648<")},
        {"empty number", Replaced(c_baXml, "<Width>800<", "<Width><")},
        {"bad boolean", Replaced(c_baXml, "<ExpandTreeNode>true<", "<ExpandTreeNode>yes<")},
        {"boolean in capitals",
         Replaced(c_baXml, "<ExpandTreeNode>true<", "<ExpandTreeNode>True<")},
        {"bad attribute boolean",
         Replaced(c_baXml, "RestoreWindowSize=\"false\"", "RestoreWindowSize=\"no\"")},
        {"element inside a value", Replaced(c_baXml, "<Name>メモ帳</Name>", "<Name><b/></Name>")},
        {"malformed XML", Replaced(c_baXml, "</General>", "</Genera>")},
        {"truncated", c_baXml.left(c_baXml.size() / 2)},
        {"truncated at the last tag", c_baXml.left(c_baXml.lastIndexOf("</Config>"))},
        {"content after the root", c_baXml + "<Config/>"},
        {"not XML", QByteArray("kestrel")},
        {"empty", QByteArray()},
    };
    for (const auto& c_case : c_aCases) {
        EXPECT_FALSE(CConfigFile::Parse(c_case.baXml).has_value()) << c_case.szCase;
    }
}

TEST(ConfigFile, MissingNodesKeepDefaultsAndUnknownOnesAreSkipped) {
    const std::optional<STConfig> c_stRead = CConfigFile::Parse(
        "<Config><Future><Deep>1</Deep></Future>"
        "<General><ExpandTreeNode> 0 </ExpandTreeNode><Color>red</Color></General>"
        "<View><Window RestoreWindowSize=\"1\"><WindowBounds><Y>7</Y></WindowBounds>"
        "</Window></View></Config>");
    ASSERT_TRUE(c_stRead.has_value());
    STConfig stExpected;
    stExpected.stGeneral.bExpandTreeNode = false;
    stExpected.stView.stWindow.bRestoreWindowSize = true;
    stExpected.stView.stWindow.stWindowBounds.Y = 7;
    EXPECT_EQ(*c_stRead, stExpected);
}

TEST(ConfigFile, MissingViewerListKeepsTheDefaultsEmptyOneMeansNone) {
    const std::optional<STConfig> c_stMissing = CConfigFile::Parse("<Config><Open/></Config>");
    ASSERT_TRUE(c_stMissing.has_value());
    ASSERT_EQ(c_stMissing->stOpen.stViewerApplications.size(), 2);
    EXPECT_EQ(c_stMissing->stOpen.stViewerApplications[0],
              (VIEWERAPPLICATION{QStringLiteral("関連づけ"), QStringLiteral("RELATE:"), false}));
    EXPECT_EQ(c_stMissing->stOpen.stViewerApplications[1].strName, QStringLiteral("メモ帳"));
    EXPECT_TRUE(c_stMissing->stOpen.stViewerApplications[1].bOverwrite);

    const std::optional<STConfig> c_stEmpty =
        CConfigFile::Parse("<Config><Open><ViewerApplications/></Open></Config>");
    ASSERT_TRUE(c_stEmpty.has_value());
    EXPECT_TRUE(c_stEmpty->stOpen.stViewerApplications.isEmpty());
}

TEST(ConfigFile, TextsXmlCannotCarryAreNotWritten) {
    STConfig st;
    st.stOpen.stViewerApplications[1].strFilePath = QStringLiteral(
        "/opt/a\x01"
        "b");
    EXPECT_FALSE(CConfigFile::Serialize(st).has_value());
    st.stOpen.stViewerApplications[1].strFilePath = QString(QChar(0xD800));
    EXPECT_FALSE(CConfigFile::Serialize(st).has_value());
}

TEST(ConfigFile, FilesOverTheSizeLimitAreRefusedUnread) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Valid XML padded with a comment to exactly the limit, and one byte more.
    QByteArray baPadded = DefaultsXml() + "<!--";
    baPadded += QByteArray(CConfigFile::c_llMaxFileSize - baPadded.size() - 3, 'x') + "-->";
    ASSERT_EQ(baPadded.size(), CConfigFile::c_llMaxFileSize);
    QFile fileAtLimit(dir.filePath("limit.xml"));
    ASSERT_TRUE(fileAtLimit.open(QIODevice::WriteOnly));
    fileAtLimit.write(baPadded);
    fileAtLimit.close();
    EXPECT_TRUE(CConfigFile::Read(fileAtLimit.fileName()).has_value());
    baPadded.insert(baPadded.size() - 3, 'x');
    ASSERT_TRUE(fileAtLimit.open(QIODevice::WriteOnly));
    fileAtLimit.write(baPadded);
    fileAtLimit.close();
    EXPECT_FALSE(CConfigFile::Read(fileAtLimit.fileName()).has_value());

    // 100 MB (sparse, so the test stays quick): refused without being read.
    QFile fileHuge(dir.filePath("huge.xml"));
    ASSERT_TRUE(fileHuge.open(QIODevice::WriteOnly));
    fileHuge.write(DefaultsXml());
    ASSERT_TRUE(fileHuge.resize(100LL * 1024 * 1024));
    fileHuge.close();
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(CConfigFile::Read(fileHuge.fileName()).has_value());
    EXPECT_LT(timer.elapsed(), 500);
}
