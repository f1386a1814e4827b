// The one rule for what stays inside a folder, links included, and the checks built on it for
// the staging folders that extracted entries pass through on their way to the user.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace kestrel::safefs {

// Whether a relative path, read in a folder that lies nDepth folders below the one it must
// stay in, stays inside that one: it is not absolute, and its ".." steps, taken before any
// name, climb nDepth folders at the most. A ".." after a name counts as leaving: the name may
// be a link.
bool StaysInside(QByteArrayView c_baPath, size_t nDepth);

// Whether every folder between c_strFolder and c_strPath (a path below it) is a real folder: a
// link or a file on the way would lead elsewhere. The parts followed by "/" are checked, so a
// final "/" checks the last part too. Looked at through descriptors, however deep; a part that
// is missing or cannot be looked at fails just the same where the path is used, and counts as
// no link here.
bool ReachedWithoutLinks(const QString& c_strFolder, const QString& c_strPath);

// The place of an archive path ("/" first, a folder's "/" last) in a staging folder (ending in
// "/"): the root "/" is the folder itself. Empty when the path has an empty, "." or ".." part:
// the archivers never extract such a name, and the path would name something outside.
QString StagedPath(const QString& c_strStaging, const QString& c_strArchivePath);

// Deletes the links in c_strRoot (a path in the staging folder), or c_strRoot itself when it is
// a link, whose target does not stay inside c_strRoot: moved or dropped elsewhere, they would
// point out of the folder they land in. Returns their paths below the staging folder ("/a/l").
QStringList DropLinksLeaving(const QString& c_strStaging, const QString& c_strRoot);

// Whether c_baPath lies below c_baFolder (not at it), by the names alone.
bool IsBelow(const QByteArray& c_baPath, const QByteArray& c_baFolder);

}  // namespace kestrel::safefs
