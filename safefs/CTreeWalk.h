// The one walk over a tree of files that removal, copying and the checks of this module share.
//
// It works from descriptors, not paths, so a tree deeper than any path can name is walked
// whole, and it never follows a link: a link is visited as a link. It holds one folder of the
// tree open at a time (plus the folder that holds the root), however deep the tree: it goes
// down with openat and back up through "..", and stops when ".." is not the folder it came
// from (the tree was moved while it was walked).
#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <functional>

namespace kestrel::safefs {

class CTreeWalk {
public:
    struct ENTRY {
        int nFolder;               // the open folder that holds the entry
        const QByteArray& baName;  // its name in that folder
        const struct stat& st;     // the entry itself, not what a link points to
        const QByteArray& baPath;  // below the root: "" for the root, then "a", "a/b", ...
        size_t nDepth;             // 0 for the root, 1 for the entries of the root folder, ...
    };
    enum class EStep {
        Continue,  // go on; into the entry when it is a folder
        Skip,      // go on, but not into this folder (no Opened, no Leave for it)
        Stop,      // end the walk now; Walk returns false
    };

    class IVisitor {
    public:
        virtual ~IVisitor() = default;
        // Every entry, the root first, a folder before what it holds.
        virtual EStep Visit(const ENTRY& c_entry) = 0;
        // A folder has been opened (nSelf) and is about to be read.
        virtual EStep Opened(const ENTRY&, int /*nSelf*/) { return EStep::Continue; }
        // Everything in a folder has been visited; c_entry.nFolder holds the folder again.
        virtual EStep Leave(const ENTRY&) { return EStep::Continue; }
        // An entry could not be looked at, opened or read; Continue passes over it.
        virtual EStep Failed(const ENTRY&, int /*nErrno*/) { return EStep::Continue; }
    };

    // Walks c_baRoot (a file, a link or a folder; the folders above it are taken as the path
    // names them). Paths here are the file system's bytes (QFile::encodeName). False when a visitor
    // stopped it or the walk could not go on; the first error number met is in nErrno() either way
    // (0 when there was none).
    bool Walk(const QByteArray& c_baRoot, IVisitor& visitor);
    int nErrno() const { return m_nErrno; }

private:
    EStep Fail(IVisitor& visitor, const ENTRY& c_entry, int nErrno);
    int m_nErrno = 0;
};

// Deletes c_baRoot: a file, a link (never what it points to) or a folder with everything in it,
// however deep. bMakeWritable first gives the user write access to each folder (for our own
// staging trees, which may hold read-only folders). Goes on past what cannot be deleted; false
// with the first error number. Nothing there is success.
bool RemoveTree(const QByteArray& c_baRoot, bool bMakeWritable, int* pnErrno = nullptr);

// Whether the tree holds anything but folders (a file, a link, ...); false when it is not there.
bool HoldsAnyFile(const QByteArray& c_baRoot);

// The bytes in the regular files of a tree (links and special files count nothing).
qint64 TreeSize(const QByteArray& c_baRoot);

// Copies c_baSource (file, link as a link, or folder with everything in it) to c_baTarget,
// which must not exist yet, keeping modes and times; special files are refused. fnProgress gets
// the bytes copied since its last call (0 at the start of each file) and returns false to
// cancel. False on failure or cancel, with the reason in *pstrError (empty after a cancel); the
// partial copy is left for the caller to remove.
bool CopyTree(const QByteArray& c_baSource, const QByteArray& c_baTarget,
              const std::function<bool(qint64)>& fnProgress, QString* pstrError);

}  // namespace kestrel::safefs
