#include "CConfigFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace kestrel::CConfigFile {

namespace {

// Thrown out of the nested readers at the first thing not understood.
struct Rejected {};

QString BoolText(bool bValue) {
    return bValue ? QStringLiteral("true") : QStringLiteral("false");
}

QString WindowStateText(EWindowState eValue) {
    switch (eValue) {
        case EWindowState::Minimized:
            return QStringLiteral("Minimized");
        case EWindowState::Maximized:
            return QStringLiteral("Maximized");
        case EWindowState::Normal:
            break;
    }
    return QStringLiteral("Normal");
}

// The lexical forms of an XML Schema boolean.
bool ParseBool(QStringView svText) {
    const QStringView c_svTrimmed = svText.trimmed();
    if (c_svTrimmed == u"true" || c_svTrimmed == u"1") return true;
    if (c_svTrimmed == u"false" || c_svTrimmed == u"0") return false;
    throw Rejected{};
}

qint32 ParseInt(QStringView svText) {
    bool bOk = false;
    const int c_nValue = svText.trimmed().toInt(&bOk);
    if (!bOk) throw Rejected{};
    return c_nValue;
}

EWindowState ParseWindowState(QStringView svText) {
    const QStringView c_svTrimmed = svText.trimmed();
    if (c_svTrimmed == u"Normal") return EWindowState::Normal;
    if (c_svTrimmed == u"Minimized") return EWindowState::Minimized;
    if (c_svTrimmed == u"Maximized") return EWindowState::Maximized;
    throw Rejected{};
}

class CReader {
public:
    explicit CReader(const QByteArray& c_baXml) : m_xml(c_baXml) {}

    STConfig Read() {
        STConfig stConfig;
        if (!m_xml.readNextStartElement() || m_xml.name() != u"Config") throw Rejected{};
        const QXmlStreamAttributes c_attrs = m_xml.attributes();
        if (c_attrs.hasAttribute(QLatin1String("Version"))) {
            stConfig.strVersion = c_attrs.value(QLatin1String("Version")).toString();
        }
        while (NextChild()) {
            if (m_xml.name() == u"General") {
                ReadGeneral(stConfig.stGeneral);
            } else if (m_xml.name() == u"Extract") {
                ReadExtract(stConfig.stExtract);
            } else if (m_xml.name() == u"Open") {
                ReadOpen(stConfig.stOpen);
            } else if (m_xml.name() == u"View") {
                ReadView(stConfig.stView);
            } else {
                Skip();
            }
        }
        // Whatever follows the root must still be well-formed (comments, white space only).
        while (!m_xml.atEnd()) m_xml.readNext();
        Check();
        return stConfig;
    }

private:
    // Moves to the next child element of the current element; false at its end.
    bool NextChild() {
        const bool c_bFound = m_xml.readNextStartElement();
        Check();
        return c_bFound;
    }
    void Skip() {
        m_xml.skipCurrentElement();
        Check();
    }
    QString Text() {
        QString strText = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        Check();
        return strText;
    }
    void Check() const {
        if (m_xml.hasError()) throw Rejected{};
    }

    void ReadGeneral(STGeneral& stGeneral) {
        while (NextChild()) {
            const QStringView c_svName = m_xml.name();
            if (c_svName == u"FirstFolderOfAllFiles") {
                stGeneral.bFirstFolderOfAllFiles = ParseBool(Text());
            } else if (c_svName == u"ExpandTreeNode") {
                stGeneral.bExpandTreeNode = ParseBool(Text());
            } else if (c_svName == u"UseUserTempDirectory") {
                stGeneral.bUseUserTempDirectory = ParseBool(Text());
            } else if (c_svName == u"UserTempDirectory") {
                stGeneral.strUserTempDirectory = Text();
            } else if (c_svName == u"RecentFiles") {
                stGeneral.lstRecentFiles = ReadRecentFiles();
            } else {
                Skip();
            }
        }
    }

    QStringList ReadRecentFiles() {
        QStringList lstFiles;
        while (NextChild()) {
            if (m_xml.name() != u"File") {
                Skip();
                continue;
            }
            const QString c_strFile = Text();
            // A hand-edited list may be longer or repeat itself; the menu shows each once.
            if (!c_strFile.isEmpty() && !lstFiles.contains(c_strFile) &&
                lstFiles.size() < c_nMaxRecentFiles)
                lstFiles.append(c_strFile);
        }
        return lstFiles;
    }

    void ReadExtract(STExtract& stExtract) {
        while (NextChild()) {
            if (m_xml.name() == u"LastExtractDirectory") {
                stExtract.strLastExtractDirectory = Text();
            } else {
                Skip();
            }
        }
    }

    void ReadOpen(STOpen& stOpen) {
        while (NextChild()) {
            if (m_xml.name() != u"ViewerApplications") {
                Skip();
                continue;
            }
            // Present means exactly these entries, even none.
            stOpen.stViewerApplications.clear();
            while (NextChild()) {
                if (m_xml.name() == u"ViewerApplication") {
                    stOpen.stViewerApplications.append(ReadViewer());
                } else {
                    Skip();
                }
            }
        }
    }

    VIEWERAPPLICATION ReadViewer() {
        VIEWERAPPLICATION stViewer;
        while (NextChild()) {
            const QStringView c_svName = m_xml.name();
            if (c_svName == u"Name") {
                stViewer.strName = Text();
            } else if (c_svName == u"FilePath") {
                stViewer.strFilePath = Text();
            } else if (c_svName == u"Overwrite") {
                stViewer.bOverwrite = ParseBool(Text());
            } else {
                Skip();
            }
        }
        return stViewer;
    }

    void ReadView(STView& stView) {
        while (NextChild()) {
            if (m_xml.name() == u"ListViewRowsPluralColor") {
                stView.bListViewRowsPluralColor = ParseBool(Text());
            } else if (m_xml.name() == u"Window") {
                ReadWindow(stView.stWindow);
            } else {
                Skip();
            }
        }
    }

    void ReadWindow(STWindow& stWindow) {
        const QXmlStreamAttributes c_attrs = m_xml.attributes();
        if (c_attrs.hasAttribute(QLatin1String("RestoreWindowPosition"))) {
            stWindow.bRestoreWindowPosition =
                ParseBool(c_attrs.value(QLatin1String("RestoreWindowPosition")));
        }
        if (c_attrs.hasAttribute(QLatin1String("RestoreWindowSize"))) {
            stWindow.bRestoreWindowSize =
                ParseBool(c_attrs.value(QLatin1String("RestoreWindowSize")));
        }
        while (NextChild()) {
            const QStringView c_svName = m_xml.name();
            if (c_svName == u"WindowState") {
                stWindow.eWindowState = ParseWindowState(Text());
            } else if (c_svName == u"WindowBounds") {
                ReadRectangle(stWindow.stWindowBounds);
            } else if (c_svName == u"WindowRestoreBounds") {
                ReadRectangle(stWindow.stWindowRestoreBounds);
            } else {
                Skip();
            }
        }
    }

    void ReadRectangle(STRectangle& stRectangle) {
        while (NextChild()) {
            const QStringView c_svName = m_xml.name();
            if (c_svName == u"X") {
                stRectangle.X = ParseInt(Text());
            } else if (c_svName == u"Y") {
                stRectangle.Y = ParseInt(Text());
            } else if (c_svName == u"Width") {
                stRectangle.Width = ParseInt(Text());
            } else if (c_svName == u"Height") {
                stRectangle.Height = ParseInt(Text());
            } else {
                Skip();
            }
        }
    }

    QXmlStreamReader m_xml;
};

void WriteRectangle(QXmlStreamWriter& xml, const QString& c_strName,
                    const STRectangle& c_stRectangle) {
    xml.writeStartElement(c_strName);
    xml.writeTextElement(QStringLiteral("X"), QString::number(c_stRectangle.X));
    xml.writeTextElement(QStringLiteral("Y"), QString::number(c_stRectangle.Y));
    xml.writeTextElement(QStringLiteral("Width"), QString::number(c_stRectangle.Width));
    xml.writeTextElement(QStringLiteral("Height"), QString::number(c_stRectangle.Height));
    xml.writeEndElement();
}

}  // namespace

bool IsStorable(QStringView c_svText) {
    for (qsizetype i = 0; i < c_svText.size(); ++i) {
        const char16_t c_ch = c_svText[i].unicode();
        if (QChar::isHighSurrogate(c_ch)) {
            if (i + 1 >= c_svText.size() || !QChar::isLowSurrogate(c_svText[i + 1].unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c_ch) || c_ch == 0xFFFE || c_ch == 0xFFFF ||
                   (c_ch < 0x20 && c_ch != u'\t' && c_ch != u'\n' && c_ch != u'\r')) {
            return false;
        }
    }
    return true;
}

std::optional<STConfig> Parse(const QByteArray& c_baXml) {
    try {
        return CReader(c_baXml).Read();
    } catch (const Rejected&) {
        return std::nullopt;
    }
}

// A carriage return written as it is would come back as a line feed: it goes as "&#13;".
static void WriteText(QXmlStreamWriter& xml, const QString& c_strName, const QString& c_strText) {
    xml.writeStartElement(c_strName);
    const QStringList c_lstParts = c_strText.split(QLatin1Char('\r'));
    for (qsizetype i = 0; i < c_lstParts.size(); ++i) {
        if (i > 0) xml.writeEntityReference(QStringLiteral("#13"));
        xml.writeCharacters(c_lstParts[i]);
    }
    xml.writeEndElement();
}

std::optional<QByteArray> Serialize(const STConfig& c_stConfig) {
    QByteArray baXml;
    QXmlStreamWriter xml(&baXml);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();

    xml.writeStartElement(QStringLiteral("Config"));
    xml.writeAttribute(QStringLiteral("Version"), c_stConfig.strVersion);

    const STGeneral& c_stGeneral = c_stConfig.stGeneral;
    xml.writeStartElement(QStringLiteral("General"));
    xml.writeTextElement(QStringLiteral("FirstFolderOfAllFiles"),
                         BoolText(c_stGeneral.bFirstFolderOfAllFiles));
    xml.writeTextElement(QStringLiteral("ExpandTreeNode"), BoolText(c_stGeneral.bExpandTreeNode));
    xml.writeTextElement(QStringLiteral("UseUserTempDirectory"),
                         BoolText(c_stGeneral.bUseUserTempDirectory));
    WriteText(xml, QStringLiteral("UserTempDirectory"), c_stGeneral.strUserTempDirectory);
    xml.writeStartElement(QStringLiteral("RecentFiles"));
    for (const QString& c_strFile : c_stGeneral.lstRecentFiles)
        WriteText(xml, QStringLiteral("File"), c_strFile);
    xml.writeEndElement();
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("Extract"));
    WriteText(xml, QStringLiteral("LastExtractDirectory"),
              c_stConfig.stExtract.strLastExtractDirectory);
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("Open"));
    xml.writeStartElement(QStringLiteral("ViewerApplications"));
    for (const VIEWERAPPLICATION& c_stViewer : c_stConfig.stOpen.stViewerApplications) {
        xml.writeStartElement(QStringLiteral("ViewerApplication"));
        WriteText(xml, QStringLiteral("Name"), c_stViewer.strName);
        WriteText(xml, QStringLiteral("FilePath"), c_stViewer.strFilePath);
        xml.writeTextElement(QStringLiteral("Overwrite"), BoolText(c_stViewer.bOverwrite));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();

    const STView& c_stView = c_stConfig.stView;
    const STWindow& c_stWindow = c_stView.stWindow;
    xml.writeStartElement(QStringLiteral("View"));
    xml.writeTextElement(QStringLiteral("ListViewRowsPluralColor"),
                         BoolText(c_stView.bListViewRowsPluralColor));
    xml.writeStartElement(QStringLiteral("Window"));
    xml.writeAttribute(QStringLiteral("RestoreWindowPosition"),
                       BoolText(c_stWindow.bRestoreWindowPosition));
    xml.writeAttribute(QStringLiteral("RestoreWindowSize"),
                       BoolText(c_stWindow.bRestoreWindowSize));
    xml.writeTextElement(QStringLiteral("WindowState"), WindowStateText(c_stWindow.eWindowState));
    WriteRectangle(xml, QStringLiteral("WindowBounds"), c_stWindow.stWindowBounds);
    WriteRectangle(xml, QStringLiteral("WindowRestoreBounds"), c_stWindow.stWindowRestoreBounds);
    xml.writeEndElement();
    xml.writeEndElement();

    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError()) return std::nullopt;
    return baXml;
}

std::optional<STConfig> Read(const QString& c_strPath) {
    // Opening a pipe would wait for a writer that may never come.
    if (!QFileInfo(c_strPath).isFile()) return std::nullopt;
    QFile file(c_strPath);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    if (file.size() > c_llMaxFileSize) return std::nullopt;
    // size() says nothing for special files; never read more than the limit.
    const QByteArray c_baXml = file.read(c_llMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError || c_baXml.size() > c_llMaxFileSize) {
        return std::nullopt;
    }
    return Parse(c_baXml);
}

bool Write(const QString& c_strPath, const STConfig& c_stConfig, QString* pstrError) {
    const QString c_strFolder = QFileInfo(c_strPath).absolutePath();
    if (!QDir().mkpath(c_strFolder)) {
        if (pstrError) *pstrError = QStringLiteral("フォルダを作成できません: ") + c_strFolder;
        return false;
    }
    const std::optional<QByteArray> c_baXml = Serialize(c_stConfig);
    if (!c_baXml) {
        if (pstrError)
            *pstrError = QStringLiteral("設定に保存できない文字 (制御文字など) が含まれています");
        return false;
    }
    // Unbuffered, and every write checked: a buffered QSaveFile commits a file cut short by a
    // full disk as if it were whole.
    QSaveFile file(c_strPath);
    bool bWritten = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qint64 llDone = 0; bWritten && llDone < c_baXml->size();) {
        // After a short write the next one fails and names the reason.
        const qint64 c_llWritten =
            file.write(c_baXml->constData() + llDone, c_baXml->size() - llDone);
        if (c_llWritten <= 0) bWritten = false;
        llDone += c_llWritten;
    }
    if (!bWritten || !file.commit()) {
        if (pstrError) *pstrError = c_strPath + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

}  // namespace kestrel::CConfigFile
