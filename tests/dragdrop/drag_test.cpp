// Dragged entries are extracted when the mouse is let go, once, and only where the drop is
// taken: also for targets that read the paths while the drag moves over them.
#include <gtest/gtest.h>

#include <QDrag>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
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

protected:
    void OnRender() override {
        ++nRenders;
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
