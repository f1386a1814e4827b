// Moves extracted files and folders from a staging folder to where the user wants them, with the
// choices a desktop file manager gives: confirm before replacing, cancel, progress for long moves.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace kestrel {

// One mover serves one command; "all" answers hold for every later Move on the same mover.
//
// Moving within a file system renames. Across file systems the item is copied beside its
// destination under a hidden temporary name, renamed into place and only then is the source
// deleted; a failed or cancelled copy removes what it wrote, so neither the source nor a file
// being replaced is lost. Symbolic links are moved as links, never followed.
//
// A folder onto an existing folder is asked once; "yes" merges into it, asking again for each
// file or folder inside that already exists, unless an "all" answer is in force. A file never
// replaces a folder, nor a folder a file: that is a failure.
//
// A failure (cancel included) is shown by Move itself in the error box as
// "ファイルの移動中にエラーが発生しました\n\n■原因\n" + reason, and Move returns Failed.
class CFileMover {
public:
    enum class EAnswer { Yes, No, Cancel, YesToAll, NoToAll };
    enum class EResult {
        Moved,    // moved; inside a merged folder, items the user chose to keep stay behind
        Skipped,  // the user chose to keep the existing item; the source stays where it was
        Failed,   // failed or cancelled; what was not moved is still at the source
    };

    struct Question {
        QString strSource;
        QString strTarget;  // the existing item that would be replaced
        bool bFolder;       // a folder to merge into, else a file to replace
        bool bOfferAll;     // the "all" answers are offered
    };
    using QuestionHook = std::function<EAnswer(const Question&)>;

    // Progress of copies across file systems, in bytes of the whole item being moved.
    class IProgress {
    public:
        virtual ~IProgress() = default;
        virtual void Start(const QString& c_strName, qint64 llTotal) = 0;
        virtual bool Update(qint64 llDone) = 0;  // false: the user cancelled
        virtual void Finish() = 0;
    };

    // nItems > 1 offers the "all" answers; so does any folder move, which may ask several times.
    explicit CFileMover(QWidget* pParent = nullptr, int nItems = 1);
    ~CFileMover();
    CFileMover(const CFileMover&) = delete;
    CFileMover& operator=(const CFileMover&) = delete;

    // Empty hook or null progress: the real dialogs.
    void Set_QuestionHook(QuestionHook hook);
    void Set_Progress(std::unique_ptr<IProgress> pcProgress);

    // c_strDestination is the full path the item will have, not the folder it goes into.
    EResult Move(const QString& c_strSource, const QString& c_strDestination);

    // Reason of the last failure; empty after a Move that did not fail.
    const QString& Get_LastError() const { return m_strError; }
    // True once the user has cancelled during this mover's life.
    bool Is_Cancelled() const { return m_bCancelled; }

    static QString CancelledReason();

private:
    EResult MoveItem(const QByteArray& c_baSource, const QByteArray& c_baTarget);
    EResult MoveNew(const QByteArray& c_baSource, const QByteArray& c_baTarget);
    EResult MergeFolder(const QByteArray& c_baSource, const QByteArray& c_baTarget);
    EResult CopyAcross(const QByteArray& c_baSource, const QByteArray& c_baTarget, bool bReplace);
    bool Progress(qint64 llBytes);
    EAnswer Ask(const QByteArray& c_baSource, const QByteArray& c_baTarget, bool bFolder);
    EResult Fail(const QString& c_strReason);
    EResult FailErrno(int nErrno, const QByteArray& c_baPath);

    QWidget* m_pParent;
    bool m_bOfferAll;
    EAnswer m_eAll = EAnswer::Yes;  // Yes: nothing chosen for all yet
    bool m_bCancelled = false;
    QString m_strError;
    QuestionHook m_hookQuestion;
    std::unique_ptr<IProgress> m_pcProgress;

    // The item of the running Move, for the progress.
    QByteArray m_baTop;
    bool m_bProgressStarted = false;
    qint64 m_llDone = 0;
};

}  // namespace kestrel
