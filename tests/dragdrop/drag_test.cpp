// Dragged entries are extracted when the mouse is let go, once, and only where the drop is
// taken: also for targets that read the paths while the drag moves over them.
#include <gtest/gtest.h>

#include <QDrag>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include "DataObject_DelayRender.h"
#include "support/Window.h"

namespace {

class FakeButtons : public shelf_cli::IMouseButtonState {
public:
    Qt::MouseButtons Buttons() const override { return eHeld; }
    Qt::MouseButtons eHeld = Qt::NoButton;
};

// Renders by writing the announced files; a request made while rendering must not render again.
class FileRenderer : public shelf_cli::DataObject_DelayRender {
public:
    explicit FileRenderer(const QStringList& c_lstPaths)
        : DataObject_DelayRender(c_lstPaths), m_lst(c_lstPaths) {
        Set_MouseButtonState(pcButtons);
    }
    std::shared_ptr<FakeButtons> pcButtons = std::make_shared<FakeButtons>();
    int nRenders = 0;
    int* pnRendersKept = nullptr;  // counted also where the data may be gone when it is read

protected:
    void OnRender() override {
        ++nRenders;
        if (pnRendersKept) ++*pnRendersKept;
        urls();
        for (const QString& c_str : m_lst) {
            QFile file(c_str);
            file.open(QIODevice::WriteOnly);
        }
    }

private:
    QStringList m_lst;
};

// Reads the paths while the drag moves over it and keeps them, as some file managers do.
class EarlyReadingTarget : public QWidget {
public:
    EarlyReadingTarget() { setAcceptDrops(true); }
    bool bAccept = true;
    QList<QUrl> lstKept;
    QList<bool> lstExistedAtDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* pEvent) override { Answer(pEvent); }
    void dragMoveEvent(QDragMoveEvent* pEvent) override { Answer(pEvent); }
    void dropEvent(QDropEvent* pEvent) override {
        for (const QUrl& c_url : lstKept)
            lstExistedAtDrop.append(QFileInfo::exists(c_url.toLocalFile()));
        pEvent->acceptProposedAction();
    }

private:
    void Answer(QDragMoveEvent* pEvent) {
        if (lstKept.isEmpty()) lstKept = pEvent->mimeData()->urls();
        bAccept ? pEvent->acceptProposedAction() : pEvent->ignore();
    }
};

}  // namespace

// Qt's own drag loop needs a platform that runs it (minimal, not offscreen).
TEST(Drag, TargetsThatReadEarlyFindTheFilesAtTheDropOnlyWhereItIsTaken) {
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        GTEST_SKIP() << "run with QT_QPA_PLATFORM=minimal";
    for (const bool c_bAccept : {true, false}) {
        QTemporaryDir dir;
        const QStringList c_lst = {dir.filePath("a.txt"), dir.filePath("b.txt")};
        QWidget source;
        source.setGeometry(0, 0, 100, 100);
        source.show();
        EarlyReadingTarget target;
        target.bAccept = c_bAccept;
        target.setGeometry(300, 200, 100, 100);
        target.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
        auto* pcData = new FileRenderer(c_lst);
        QPointer<FileRenderer> pcWatch(pcData);
        pcData->pcButtons->eHeld = Qt::LeftButton;
        int nRendersBeforeRelease = -1;
        QTimer::singleShot(50, &target, [&] {
            QTest::mouseMove(target.windowHandle(), QPoint(40, 40));
            QTest::mouseMove(target.windowHandle(), QPoint(50, 50));
            nRendersBeforeRelease = pcData->nRenders;
            pcData->pcButtons->eHeld = Qt::NoButton;
            QTest::mouseRelease(target.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
        });
        EXPECT_EQ(shelf_cli::DoDragDrop_Copy(&source, pcData),
                  c_bAccept ? Qt::CopyAction : Qt::IgnoreAction);
        EXPECT_EQ(target.lstKept.size(), 2);
        EXPECT_EQ(nRendersBeforeRelease, 0);
        ASSERT_TRUE(pcWatch);
        EXPECT_EQ(pcWatch->nRenders, c_bAccept ? 1 : 0);
        EXPECT_EQ(target.lstExistedAtDrop, c_bAccept ? (QList<bool>{true, true}) : QList<bool>{});
        EXPECT_EQ(QFileInfo::exists(c_lst[0]), c_bAccept);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(pcWatch.isNull()) << "the drag data outlives the drag";
    }
}

// Under X11 the target is another program: it answers the motion with XdndStatus, and one that
// refused must not get files extracted for nothing at the release.
TEST(DragX11, OnlyATargetThatTookTheDropGetsTheFiles) {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "run under X11 (xvfb-run, QT_QPA_PLATFORM=xcb)";
    for (const char* c_pszAnswer : {"accept", "refuse"}) {
        SCOPED_TRACE(c_pszAnswer);
        const bool c_bAccept = qstrcmp(c_pszAnswer, "accept") == 0;
        QTemporaryDir dir;
        const QStringList c_lst = {dir.filePath("a.txt"), dir.filePath("b.txt")};
        QProcess target;
        target.start(QCoreApplication::applicationDirPath() + "/drop_target",
                     {c_pszAnswer, "400", "300"});
        ASSERT_TRUE(target.waitForReadyRead(20000));
        ASSERT_EQ(target.readLine().trimmed(), "ready");
        QWidget source;
        source.setGeometry(0, 0, 100, 100);
        source.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
        auto* pcData = new FileRenderer(c_lst);
        int nRenders = 0;
        pcData->pnRendersKept = &nRenders;
        pcData->pcButtons->eHeld = Qt::LeftButton;
        QTimer::singleShot(100, &source, [&] {
            // Local to the source; the drag goes by the global position, over the target.
            for (const QPoint& c_pt : {QPoint(450, 350), QPoint(460, 360), QPoint(470, 370)}) {
                QTest::mouseMove(source.windowHandle(), c_pt);
                QTest::qWait(300);  // the target's answer comes back through the X server
            }
            pcData->pcButtons->eHeld = Qt::NoButton;
            QTest::mouseRelease(source.windowHandle(), Qt::LeftButton, {}, QPoint(470, 370));
        });
        shelf_cli::DoDragDrop_Copy(&source, pcData);
        QTest::qWait(1000);  // the target reads the paths after the drag has returned
        target.kill();
        target.waitForFinished();
        const QByteArray c_baSeen = target.readAll();
        EXPECT_TRUE(c_baSeen.contains("entered 2")) << c_baSeen.constData();
        EXPECT_EQ(c_baSeen.contains("dropped 2"), c_bAccept) << c_baSeen.constData();
        EXPECT_EQ(nRenders, c_bAccept ? 1 : 0);
        EXPECT_EQ(QFileInfo::exists(c_lst[0]), c_bAccept);
    }
}
