// Arbitrary bytes as the settings file: either no record, or one that is written back and read
// again unchanged (a setting the program accepted is never lost at the next save).
#include <QString>

#include "CConfigFile.h"
#include "FuzzTargets.h"

namespace kestrel_fuzz {

int ConfigFile(const uint8_t* pData, size_t nSize) {
    Scratch& s = Scratch::Get();
    const QString c_strIn = QString::fromStdString(s / "kestrel.config.xml");
    const QString c_strOut = QString::fromStdString(s / "saved/kestrel.config.xml");
    WriteBytes(c_strIn.toStdString(), pData, nSize);

    const QByteArray c_baBytes(reinterpret_cast<const char*>(pData), static_cast<qsizetype>(nSize));
    std::optional<kestrel::STConfig> read = kestrel::CConfigFile::Read(c_strIn);
    std::optional<kestrel::STConfig> parsed = kestrel::CConfigFile::Parse(c_baBytes);
    if (nSize <= static_cast<size_t>(kestrel::CConfigFile::c_llMaxFileSize)) {
        FUZZ_CHECK(read.has_value() == parsed.has_value() && (!read || *read == *parsed),
                   "reading the file and parsing its bytes disagree");
    } else {
        FUZZ_CHECK(!read, "a file over the size limit was read");
    }
    if (!read) return 0;

    QString error;
    FUZZ_CHECK(kestrel::CConfigFile::Write(c_strOut, *read, &error),
               "a record read from a file cannot be saved: " + error.toStdString());
    std::optional<kestrel::STConfig> again = kestrel::CConfigFile::Read(c_strOut);
    FUZZ_CHECK(again.has_value(), "a saved file cannot be read back");
    FUZZ_CHECK(*again == *read, "a saved file reads back differently");
    // Saving what was read back gives the same bytes.
    std::optional<QByteArray> first = kestrel::CConfigFile::Serialize(*read);
    std::optional<QByteArray> second = kestrel::CConfigFile::Serialize(*again);
    FUZZ_CHECK(first && second && *first == *second, "saving is not stable");
    return 0;
}

}  // namespace kestrel_fuzz
