// The window's tests: a main window with the real driver whose outside effects (new instances,
// viewers, drags, questions, messages, dialogs) are recorded or answered instead of shown.
#pragma once

#include <QApplication>
#include <QFile>
#include <QMimeData>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

#include "CFileDialogs.h"
#include "CFileMover.h"
#include "CForm_FilerMain_Driver.h"
#include "CMessageBox.h"
#include "Form_FilerMain.h"
#include "STConfig.h"

QT_BEGIN_NAMESPACE
void PrintTo(const QString& c_str, std::ostream* pOut);
QT_END_NAMESPACE

namespace kestrel::test {

// Outside a MessageRecorder a message box fails the test: offscreen, nobody would answer it.
void FailOnMessageBoxes();

// Collects every message box instead of showing it; Yes/No questions get bAnswerYes.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder() { FailOnMessageBoxes(); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    QStringList lstCaptions;
    QStringList lstTexts;
    QStringList lstDetails;
    bool bAnswerYes = true;
};

// The folder dialog answers with what fnNext gives (the file dialog with strFile).
struct DialogAnswers {
    explicit DialogAnswers(std::function<QString()> fnNext, const QString& c_strFile = QString());
    ~DialogAnswers() { CFileDialogs::SetHooks({}, {}); }
    QStringList lstStarts;  // where the folder dialog started
    QString strFilter;      // of the last file dialog
};

// Answers every password question (found by its object name) with the next of lstPasswords, then
// with キャンセル; records what each question said.
class PasswordAnswers {
public:
    explicit PasswordAnswers(QStringList lstPasswords = {});
    QStringList lstPasswords;
    QStringList lstAsked;

private:
    QTimer m_timer;
};

// Runs fnPlay on the modal dialog of type T once it is up.
template <class T>
void WhenShown(std::function<void(T*)> fnPlay) {
    QTimer::singleShot(0, [fnPlay] {
        if (T* pDialog = qobject_cast<T*>(QApplication::activeModalWidget())) fnPlay(pDialog);
    });
}

class CTestDriver : public CForm_FilerMain_Driver {
public:
    using CForm_FilerMain_Driver::CForm_FilerMain_Driver;
    struct Launch {
        QString strProgram;  // empty: the desktop's association
        QString strFile;
        QByteArray baContent;
    };
    QStringList lstArgs{QStringLiteral("kestrel")};
    QStringList lstStarted;  // new instances asked for
    QList<Launch> lstLaunched;
    CFileMover::QuestionHook hookQuestion;
    // Plays the drop of a drag (the data is deleted afterwards); none: nothing is dropped.
    std::function<Qt::DropAction(QMimeData*)> hookDrag;

    bool File_Open_StartProcess(const QString& c_strFileName) override;
    QStringList Get_CommandArgs() const override { return lstArgs; }
    std::unique_ptr<CFileMover> MakeMover(int nItems) override;
    Qt::DropAction StartDrag(QWidget*, QMimeData* pData) override;
    bool StartViewer(const VIEWERAPPLICATION* pstViewer, const QString& c_strFile,
                     QString*) override;
};

struct DriverWindow {
    std::unique_ptr<QTemporaryDir> pDir;  // settings and scratch of this window
    std::unique_ptr<Form_FilerMain> frm;
    CTestDriver* pDriver = nullptr;

    QString Path(const QString& c_strName) const { return pDir->filePath(c_strName); }
    QString Settings() const { return Path(QStringLiteral("kestrel.config.xml")); }
    // Opens in this window and waits until the open has completed.
    void Open(const QString& c_strArchive);
    void SelectFolder(const QString& c_strNode);  // "" for all files
    void SelectRows(const QList<int>& c_vnRows);
    void SelectAllRows();
    QStringList RowNames() const;
    QStringList TreeNodes() const;
};

// A shown window whose settings file starts as fnSettings leaves it (defaults otherwise), with
// the images of c_strImages (none: the embedded ones).
DriverWindow MakeDriverWindow(const std::function<void(STConfig&)>& fnSettings = {},
                              const QStringList& c_lstArgs = {QStringLiteral("kestrel")},
                              const QString& c_strImages = QStringLiteral("/nonexistent/"));

QString FixturePath(const QString& c_strName);
QString SamplePath();
// A ZIP made with python3 zipfile; names ending in "/" are folders; each file holds its name.
bool MakeZip(const QString& c_strPath, const QStringList& c_lstNames);
QByteArray ReadAll(const QString& c_strPath);

}  // namespace kestrel::test
