// Scratch folders and archives made at test time for the archive driver's tests.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>

namespace test {

inline QString DataPath(const QString& c_strName) {
    const char* pszData = std::getenv("KESTREL_TEST_DATA");
    return QString::fromLocal8Bit(pszData ? pszData : "tests/data") + QLatin1Char('/') + c_strName;
}

inline QString SamplePath() {
    return DataPath(QStringLiteral("../../samples/sample.lzh"));
}

// A ZIP with the given entries (names ending in "/" are folders), each file holding its own
// name repeated nRepeat times; made with python3's zipfile.
inline bool MakeZip(const QString& c_strPath, const QStringList& c_vstrNames, int nRepeat = 1) {
    const QString strScript = QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for n in sys.argv[3:]:\n"
        "        i = zipfile.ZipInfo(n, (2024, 5, 1, 12, 34, 56))\n"
        "        z.writestr(i, b'' if n.endswith('/') else (n.encode() * int(sys.argv[2])))\n");
    QStringList vstrArgs{QStringLiteral("-c"), strScript, c_strPath, QString::number(nRepeat)};
    vstrArgs += c_vstrNames;
    return QProcess::execute(QStringLiteral("python3"), vstrArgs) == 0;
}

inline QByteArray ReadAll(const QString& c_strPath) {
    QFile file(c_strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace test
