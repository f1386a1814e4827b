// A main window with the real driver, whose outside effects (new instances, viewers, questions
// and messages) are recorded instead of shown or started.
#pragma once

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "CFileMover.h"
#include "CForm_FilerMain_Driver.h"
#include "Form_FilerMain.h"
#include "STConfig.h"
#include "common/MessageRecorder.h"

namespace kestrel::test {

class CTestDriver : public CForm_FilerMain_Driver {
public:
    using CForm_FilerMain_Driver::CForm_FilerMain_Driver;

    struct Launch {
        QString strProgram;  // empty: the desktop's association
        QString strFile;
        QByteArray baContent;
    };

    QStringList lstArgs{QStringLiteral("kestrel")};
    QStringList lstStarted;  // new instances asked for ("" for none)
    QList<Launch> lstLaunched;
    bool bExtractSupported = true;
    CFileMover::QuestionHook hookQuestion;

    bool File_Open_StartProcess(const QString& c_strFileName) override {
        lstStarted << c_strFileName;
        return true;
    }
    QStringList Get_CommandArgs() const override { return lstArgs; }
    bool Is_ExtractSupported() const override {
        return bExtractSupported && CForm_FilerMain_Driver::Is_ExtractSupported();
    }
    std::unique_ptr<CFileMover> MakeMover(int nItems) override {
        auto pcMover = CForm_FilerMain_Driver::MakeMover(nItems);
        pcMover->Set_QuestionHook(hookQuestion);
        return pcMover;
    }
    // A drag never reaches the window system here: the hook plays the drop (the data is
    // deleted afterwards); without a hook nothing is dropped.
    std::function<Qt::DropAction(QMimeData*)> hookDrag;
    Qt::DropAction StartDrag(QWidget*, QMimeData* pData) override {
        std::unique_ptr<QMimeData> pOwned(pData);
        return hookDrag ? hookDrag(pData) : Qt::IgnoreAction;
    }
    bool StartViewer(const VIEWERAPPLICATION* pstViewer, const QString& c_strFile,
                     QString*) override {
        QFile file(c_strFile);
        file.open(QIODevice::ReadOnly);
        lstLaunched.append(
            {pstViewer ? pstViewer->strFilePath : QString(), c_strFile, file.readAll()});
        return true;
    }
};

struct DriverWindow {
    std::unique_ptr<QTemporaryDir> pDir;  // settings and scratch of this window
    std::unique_ptr<Form_FilerMain> frm;
    CTestDriver* pDriver = nullptr;

    QString Path(const QString& c_strName) const { return pDir->filePath(c_strName); }
    // Opens in this window and waits until the open has completed.
    void Open(const QString& c_strArchive);
    // Selects the tree node of that archive path ("" for all files).
    void SelectFolder(const QString& c_strName);
    void SelectRows(const QList<int>& c_vnRows);
    QStringList RowNames() const;
};

// A window whose settings file starts out as fnSettings leaves it (defaults otherwise), shown.
DriverWindow MakeDriverWindow(const std::function<void(STConfig&)>& fnSettings = {},
                              const QStringList& c_lstArgs = {QStringLiteral("kestrel")});

QString SamplePath();
QString FixturePath(const QString& c_strName);
// A ZIP made with python3 zipfile; names ending in "/" are folders; each file holds its name.
bool MakeZip(const QString& c_strPath, const QStringList& c_lstNames);
QByteArray ReadFile(const QString& c_strPath);

}  // namespace kestrel::test
