// The settings file's XML: writing a record and reading one back. Reading is all or nothing:
// a file that is not entirely understood gives no record, and the caller keeps the defaults.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "STConfig.h"

namespace kestrel::CConfigFile {

// Larger files are refused unread: a real settings file is a few kilobytes.
inline constexpr qint64 c_llMaxFileSize = 1024 * 1024;

// Fields missing from the document keep the defaults of a new STConfig; unknown elements are
// skipped. Wrong root, malformed XML or a value that does not parse gives nothing.
std::optional<STConfig> Parse(const QByteArray& c_baXml);
// Nothing when a text holds a character XML cannot carry (a control character, a lone
// surrogate): such a file could not be read back.
std::optional<QByteArray> Serialize(const STConfig& c_stConfig);

// Whether a text holds only characters that the file can carry (XML 1.0: no control characters
// but tab, line feed and carriage return, no lone surrogates).
bool IsStorable(QStringView c_svText);

// Nothing when the file is missing, unreadable, too large or not understood.
std::optional<STConfig> Read(const QString& c_strPath);
// Writes a new file and only then replaces the old one, so a failure leaves the old file as it
// was. False with the reason in *pstrError.
bool Write(const QString& c_strPath, const STConfig& c_stConfig, QString* pstrError);

}  // namespace kestrel::CConfigFile
