#include "CTreeWalk.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <utility>
#include <vector>

#include "CErrorText.h"
#include "FileOps.h"

namespace kestrel::safefs {

namespace {

using EStep = CTreeWalk::EStep;
using ENTRY = CTreeWalk::ENTRY;

QByteArray Join(const QByteArray& c_baPath, const QByteArray& c_baName) {
    return c_baPath.isEmpty() ? c_baName : c_baPath + '/' + c_baName;
}

bool SameFile(const struct stat& c_a, const struct stat& c_b) {
    return c_a.st_dev == c_b.st_dev && c_a.st_ino == c_b.st_ino;
}

// A path split into the folder that holds its last part and that part; false for "/", "." and
// "..", which name no entry of a folder.
bool SplitLast(QByteArray baPath, QByteArray* pbaFolder, QByteArray* pbaLeaf) {
    while (baPath.size() > 1 && baPath.endsWith('/')) baPath.chop(1);
    const qsizetype nSlash = baPath.lastIndexOf('/');
    *pbaLeaf = baPath.mid(nSlash + 1);
    *pbaFolder = nSlash < 0 ? QByteArray(".") : nSlash == 0 ? QByteArray("/") : baPath.left(nSlash);
    return !pbaLeaf->isEmpty() && *pbaLeaf != "." && *pbaLeaf != "..";
}

}  // namespace

EStep CTreeWalk::Fail(IVisitor& visitor, const ENTRY& c_entry, int nErrno) {
    if (m_nErrno == 0) m_nErrno = nErrno;
    return visitor.Failed(c_entry, nErrno);
}

bool CTreeWalk::Walk(const QByteArray& c_baRoot, IVisitor& visitor) {
    m_nErrno = 0;
    QByteArray baTop, baLeaf;
    if (!SplitLast(c_baRoot, &baTop, &baLeaf)) {
        m_nErrno = EINVAL;
        return false;
    }
    const UniqueFd fdTop(::open(baTop.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fdTop.Valid()) {
        m_nErrno = errno;
        return false;
    }

    struct FRAME {
        QByteArray baName;
        struct stat st;
        QByteArray baPath;
        std::vector<QByteArray> vNames;
        size_t nNext = 0;
    };
    std::vector<FRAME> vStack;
    UniqueFd fdCurrent;  // the folder of vStack.back()

    // Opens a folder that has been visited and makes it the current one.
    auto descend = [&](int nAt, const QByteArray& c_baName, const struct stat& c_st,
                       const QByteArray& c_baPath) {
        const ENTRY c_entry{nAt, c_baName, c_st, c_baPath, vStack.size()};
        UniqueFd fd = OpenFolder(nAt, c_baName.constData());
        if (!fd.Valid()) return Fail(visitor, c_entry, errno);
        struct stat stSelf {};
        if (::fstat(fd.Get(), &stSelf) != 0) return Fail(visitor, c_entry, errno);
        // Replaced by another folder since it was looked at: not the one that was visited.
        if (!SameFile(stSelf, c_st)) return Fail(visitor, c_entry, ESTALE);
        const EStep eStep = visitor.Opened(c_entry, fd.Get());
        if (eStep != EStep::Continue) return eStep;
        FRAME frame{c_baName, stSelf, c_baPath, {}, 0};
        int nErrno = 0;
        // What could be read is walked even when the rest could not.
        if (!ReadNames(fd.Get(), &frame.vNames, &nErrno) &&
            Fail(visitor, c_entry, nErrno) == EStep::Stop)
            return EStep::Stop;
        vStack.push_back(std::move(frame));
        fdCurrent = std::move(fd);
        return EStep::Continue;
    };

    struct stat stRoot {};
    const QByteArray baRootPath;
    const ENTRY c_root{fdTop.Get(), baLeaf, stRoot, baRootPath, 0};
    if (::fstatat(fdTop.Get(), baLeaf.constData(), &stRoot, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(visitor, c_root, errno) != EStep::Stop;
    const EStep eRoot = visitor.Visit(c_root);
    if (eRoot == EStep::Stop) return false;
    if (eRoot == EStep::Continue && S_ISDIR(stRoot.st_mode) &&
        descend(fdTop.Get(), baLeaf, stRoot, baRootPath) == EStep::Stop)
        return false;

    while (!vStack.empty()) {
        FRAME& top = vStack.back();
        if (top.nNext < top.vNames.size()) {
            // Copies: the stack may grow and move the frame.
            const QByteArray baName = top.vNames[top.nNext++];
            const QByteArray baPath = Join(top.baPath, baName);
            struct stat st {};
            const ENTRY c_entry{fdCurrent.Get(), baName, st, baPath, vStack.size()};
            if (::fstatat(fdCurrent.Get(), baName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (Fail(visitor, c_entry, errno) == EStep::Stop) return false;
                continue;
            }
            const EStep eStep = visitor.Visit(c_entry);
            if (eStep == EStep::Stop) return false;
            if (eStep == EStep::Continue && S_ISDIR(st.st_mode) &&
                descend(fdCurrent.Get(), baName, st, baPath) == EStep::Stop)
                return false;
            continue;
        }
        // The folder is done: back to the folder that holds it, which must be the one left.
        const FRAME c_done = std::move(vStack.back());
        vStack.pop_back();
        if (vStack.empty()) {
            fdCurrent.Reset();
        } else {
            UniqueFd fdParent(::openat(fdCurrent.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            struct stat stParent {};
            if (!fdParent.Valid() || ::fstat(fdParent.Get(), &stParent) != 0 ||
                !SameFile(stParent, vStack.back().st)) {
                if (m_nErrno == 0) m_nErrno = ESTALE;
                return false;
            }
            fdCurrent = std::move(fdParent);
        }
        const ENTRY c_entry{vStack.empty() ? fdTop.Get() : fdCurrent.Get(), c_done.baName,
                            c_done.st, c_done.baPath, vStack.size()};
        if (visitor.Leave(c_entry) == EStep::Stop) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Removal

namespace {

class CRemover : public CTreeWalk::IVisitor {
public:
    explicit CRemover(bool bMakeWritable) : m_bMakeWritable(bMakeWritable) {}

    EStep Visit(const ENTRY& c_entry) override {
        if (!S_ISDIR(c_entry.st.st_mode) &&
            ::unlinkat(c_entry.nFolder, c_entry.baName.constData(), 0) != 0)
            Note(errno);
        return EStep::Continue;
    }
    EStep Opened(const ENTRY&, int nSelf) override {
        if (m_bMakeWritable) ::fchmod(nSelf, S_IRWXU);
        return EStep::Continue;
    }
    EStep Leave(const ENTRY& c_entry) override {
        if (::unlinkat(c_entry.nFolder, c_entry.baName.constData(), AT_REMOVEDIR) != 0) Note(errno);
        return EStep::Continue;
    }
    EStep Failed(const ENTRY&, int nErrno) override {
        Note(nErrno);
        return EStep::Continue;
    }

    int m_nErrno = 0;

private:
    // What is gone already counts as removed.
    void Note(int nErrno) {
        if (m_nErrno == 0 && nErrno != ENOENT) m_nErrno = nErrno;
    }
    bool m_bMakeWritable;
};

}  // namespace

bool RemoveTree(const QByteArray& c_baRoot, bool bMakeWritable, int* pnErrno) {
    CRemover remover(bMakeWritable);
    CTreeWalk walk;
    if (!walk.Walk(c_baRoot, remover) && remover.m_nErrno == 0 && walk.nErrno() != ENOENT)
        remover.m_nErrno = walk.nErrno();
    if (pnErrno) *pnErrno = remover.m_nErrno;
    return remover.m_nErrno == 0;
}

// ---------------------------------------------------------------------------------------------
// Size

bool HoldsAnyFile(const QByteArray& c_baRoot) {
    class CFinder : public CTreeWalk::IVisitor {
    public:
        EStep Visit(const ENTRY& c_entry) override {
            if (S_ISDIR(c_entry.st.st_mode)) return EStep::Continue;
            m_bFound = true;
            return EStep::Stop;
        }
        bool m_bFound = false;
    } finder;
    CTreeWalk().Walk(c_baRoot, finder);
    return finder.m_bFound;
}

qint64 TreeSize(const QByteArray& c_baRoot) {
    class CSize : public CTreeWalk::IVisitor {
    public:
        EStep Visit(const ENTRY& c_entry) override {
            if (S_ISREG(c_entry.st.st_mode)) m_llSize += c_entry.st.st_size;
            return EStep::Continue;
        }
        qint64 m_llSize = 0;
    } size;
    CTreeWalk().Walk(c_baRoot, size);
    return size.m_llSize;
}

// ---------------------------------------------------------------------------------------------
// Copy

namespace {

// Mirrors the walk in the target: m_fdTarget is the target folder of the folder being walked.
class CCopier : public CTreeWalk::IVisitor {
public:
    CCopier(const QByteArray& c_baSource, const QByteArray& c_baTarget,
            const std::function<bool(qint64)>& fnProgress, QString* pstrError)
        : m_baSource(c_baSource),
          m_baTarget(c_baTarget),
          m_fnProgress(fnProgress),
          m_pstrError(pstrError) {
        while (m_baSource.size() > 1 && m_baSource.endsWith('/')) m_baSource.chop(1);
        while (m_baTarget.size() > 1 && m_baTarget.endsWith('/')) m_baTarget.chop(1);
    }

    // Opens the folder the copy goes into; false (with the reason) when it cannot.
    bool Start() {
        QByteArray baFolder;
        if (!SplitLast(m_baTarget, &baFolder, &m_baTargetLeaf)) return Fail(EINVAL, m_baTarget);
        m_fdTarget = UniqueFd(::open(baFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!m_fdTarget.Valid()) return Fail(errno, baFolder);
        struct stat st {};
        ::fstat(m_fdTarget.Get(), &st);
        m_vTargetFolders.push_back(st);
        return true;
    }

    EStep Visit(const ENTRY& c_entry) override {
        const char* pszTarget = TargetName(c_entry);
        const timespec c_times[2] = {c_entry.st.st_atim, c_entry.st.st_mtim};
        if (S_ISLNK(c_entry.st.st_mode)) {
            QByteArray baLink;
            if (!ReadLink(c_entry.nFolder, c_entry.baName.constData(), &baLink))
                return Stop(errno, SourcePath(c_entry));
            if (::symlinkat(baLink.constData(), m_fdTarget.Get(), pszTarget) != 0)
                return Stop(errno, TargetPath(c_entry));
            ::utimensat(m_fdTarget.Get(), pszTarget, c_times, AT_SYMLINK_NOFOLLOW);
            return EStep::Continue;
        }
        if (S_ISREG(c_entry.st.st_mode)) return CopyFile(c_entry) ? EStep::Continue : EStep::Stop;
        if (!S_ISDIR(c_entry.st.st_mode)) {
            *m_pstrError = QStringLiteral("特殊なファイルは別のドライブへ移動できません。\n") +
                           QFile::decodeName(SourcePath(c_entry));
            return EStep::Stop;
        }
        // Owner-only while it fills, so that a read-only source folder can still be copied.
        if (::mkdirat(m_fdTarget.Get(), pszTarget, 0700) != 0)
            return Stop(errno, TargetPath(c_entry));
        UniqueFd fd = OpenFolder(m_fdTarget.Get(), pszTarget);
        struct stat st {};
        if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return Stop(errno, TargetPath(c_entry));
        m_fdTarget = std::move(fd);
        m_vTargetFolders.push_back(st);
        return EStep::Continue;
    }

    EStep Leave(const ENTRY& c_entry) override {
        UniqueFd fdDone = std::move(m_fdTarget);
        m_vTargetFolders.pop_back();
        m_fdTarget = UniqueFd(::openat(fdDone.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (!m_fdTarget.Valid() || ::fstat(m_fdTarget.Get(), &st) != 0 ||
            !SameFile(st, m_vTargetFolders.back()))
            return Stop(m_fdTarget.Valid() ? ESTALE : errno, TargetPath(c_entry));
        // Last, now that nothing more is written into it.
        const timespec c_times[2] = {c_entry.st.st_atim, c_entry.st.st_mtim};
        ::fchmod(fdDone.Get(), c_entry.st.st_mode & 07777);
        ::futimens(fdDone.Get(), c_times);
        return EStep::Continue;
    }

    EStep Failed(const ENTRY& c_entry, int nErrno) override {
        return Stop(nErrno, SourcePath(c_entry));
    }

private:
    const char* TargetName(const ENTRY& c_entry) const {
        return (c_entry.nDepth == 0 ? m_baTargetLeaf : c_entry.baName).constData();
    }
    QByteArray SourcePath(const ENTRY& c_entry) const {
        return c_entry.baPath.isEmpty() ? m_baSource : m_baSource + '/' + c_entry.baPath;
    }
    QByteArray TargetPath(const ENTRY& c_entry) const {
        return c_entry.baPath.isEmpty() ? m_baTarget : m_baTarget + '/' + c_entry.baPath;
    }
    bool Fail(int nErrno, const QByteArray& c_baPath) {
        if (m_pstrError->isEmpty()) *m_pstrError = ErrnoText(nErrno, QFile::decodeName(c_baPath));
        return false;
    }
    EStep Stop(int nErrno, const QByteArray& c_baPath) {
        Fail(nErrno, c_baPath);
        return EStep::Stop;
    }

    bool CopyFile(const ENTRY& c_entry) {
        const UniqueFd fdIn(::openat(c_entry.nFolder, c_entry.baName.constData(),
                                     O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fdIn.Valid()) return Fail(errno, SourcePath(c_entry));
        UniqueFd fdOut(::openat(m_fdTarget.Get(), TargetName(c_entry),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fdOut.Valid()) return Fail(errno, TargetPath(c_entry));
        if (m_vBuffer.empty()) m_vBuffer.resize(1 << 20);

        bool bOk = m_fnProgress(0);
        while (bOk) {
            const ssize_t nRead = ::read(fdIn.Get(), m_vBuffer.data(), m_vBuffer.size());
            if (nRead == 0) break;
            if (nRead < 0) {
                if (errno == EINTR) continue;
                return Fail(errno, SourcePath(c_entry));
            }
            for (ssize_t nWritten = 0; nWritten < nRead;) {
                const ssize_t n = ::write(fdOut.Get(), m_vBuffer.data() + nWritten,
                                          static_cast<size_t>(nRead - nWritten));
                if (n < 0 && errno != EINTR) return Fail(errno, TargetPath(c_entry));
                if (n > 0) nWritten += n;
            }
            bOk = m_fnProgress(nRead);
        }
        if (!bOk) return false;  // cancelled: the caller has the reason
        const timespec c_times[2] = {c_entry.st.st_atim, c_entry.st.st_mtim};
        ::fchmod(fdOut.Get(), c_entry.st.st_mode & 07777);
        ::futimens(fdOut.Get(), c_times);
        // Some file systems report a failed write only when the file is closed.
        if (const int nErrno = fdOut.Close()) return Fail(nErrno, TargetPath(c_entry));
        return true;
    }

    QByteArray m_baSource;
    QByteArray m_baTarget;
    QByteArray m_baTargetLeaf;
    const std::function<bool(qint64)>& m_fnProgress;
    QString* m_pstrError;
    UniqueFd m_fdTarget;
    std::vector<struct stat> m_vTargetFolders;  // the target folders open in turn, outermost first
    std::vector<char> m_vBuffer;
};

}  // namespace

bool CopyTree(const QByteArray& c_baSource, const QByteArray& c_baTarget,
              const std::function<bool(qint64)>& fnProgress, QString* pstrError) {
    pstrError->clear();
    CCopier copier(c_baSource, c_baTarget, fnProgress, pstrError);
    if (!copier.Start()) return false;
    CTreeWalk walk;
    if (walk.Walk(c_baSource, copier)) return true;
    // A walk that could not start or go on has said nothing to the copier.
    if (pstrError->isEmpty() && walk.nErrno() != 0)
        *pstrError = ErrnoText(walk.nErrno(), QFile::decodeName(c_baSource));
    return false;
}

}  // namespace kestrel::safefs
