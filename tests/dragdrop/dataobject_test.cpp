// The drag data object: when it renders (the state of the five mouse buttons at each request)
// and what it hands out; the drag helper under the offscreen platform.
#include <gtest/gtest.h>

#include <QDrag>
#include <QDropEvent>
#include <QFile>
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
#include "DragDropTestSupport.h"

using shelf_cli::DataObject_DelayRender;

namespace {

// The user's hand: which buttons are down, changed by the test between requests.
class FakeButtons : public shelf_cli::IMouseButtonState {
public:
    Qt::MouseButtons Buttons() const override { return eHeld; }
    Qt::MouseButtons eHeld = Qt::NoButton;
};

// Renders by writing the announced files, so that a request can see whether they exist yet.
class FileRenderer : public DataObject_DelayRender {
public:
    explicit FileRenderer(const QStringList& c_lstPaths)
        : DataObject_DelayRender(c_lstPaths), m_lstPaths(c_lstPaths) {
        Set_MouseButtonState(pcButtons);
    }

    std::shared_ptr<FakeButtons> pcButtons = std::make_shared<FakeButtons>();
    int nRenders = 0;
    bool bCompleteWhileRendering = false;
    int nNestedUrls = -1;

protected:
    void OnRender() override {
        ++nRenders;
        bCompleteWhileRendering = Is_Complete();
        // A request made while rendering hands out the data and must not render again.
        nNestedUrls = int(urls().size());
        for (const QString& c_strPath : m_lstPaths) {
            QFile file(c_strPath);
            if (file.open(QIODevice::WriteOnly)) file.write("rendered");
        }
    }

private:
    QStringList m_lstPaths;
};

class DelayRenderTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_lstPaths = {m_dir.filePath(QStringLiteral("a.txt")),
                      m_dir.filePath(QStringLiteral("資料 フォルダ"))};
    }
    QList<QUrl> ExpectedUrls() const {
        return {QUrl::fromLocalFile(m_lstPaths[0]), QUrl::fromLocalFile(m_lstPaths[1])};
    }
    bool AnyExists() const {
        return QFileInfo::exists(m_lstPaths[0]) || QFileInfo::exists(m_lstPaths[1]);
    }

    QTemporaryDir m_dir;
    QStringList m_lstPaths;
};

TEST_F(DelayRenderTest, OffersThePathsAsAUriListOnly) {
    FileRenderer data(m_lstPaths);
    EXPECT_EQ(data.formats(), QStringList{QStringLiteral("text/uri-list")});
    EXPECT_EQ(data.urls(), ExpectedUrls());
    EXPECT_EQ(data.data(QStringLiteral("text/uri-list")),
              ExpectedUrls()[0].toEncoded() + "\r\n" + ExpectedUrls()[1].toEncoded() + "\r\n");
}

TEST_F(DelayRenderTest, RequestsWhileTheLeftButtonIsHeldDoNotRenderTheFirstAfterReleaseDoes) {
    FileRenderer data(m_lstPaths);
    data.pcButtons->eHeld = Qt::LeftButton;
    EXPECT_EQ(data.urls(), ExpectedUrls());
    EXPECT_EQ(data.urls(), ExpectedUrls());
    EXPECT_EQ(data.nRenders, 0);
    EXPECT_FALSE(data.Is_Complete());
    EXPECT_FALSE(AnyExists());

    data.pcButtons->eHeld = Qt::NoButton;
    EXPECT_EQ(data.urls(), ExpectedUrls());
    EXPECT_EQ(data.nRenders, 1);
    EXPECT_TRUE(data.Is_Complete());
    EXPECT_TRUE(QFileInfo::exists(m_lstPaths[0]));
    EXPECT_TRUE(QFileInfo::exists(m_lstPaths[1]));

    // Once rendered, a button held again changes nothing.
    data.pcButtons->eHeld = Qt::LeftButton;
    data.urls();
    data.pcButtons->eHeld = Qt::NoButton;
    data.urls();
    EXPECT_EQ(data.nRenders, 1);
}

TEST_F(DelayRenderTest, ThreeRequestsAfterReleaseRenderOnceAndTheFirstAlreadyFindsTheFiles) {
    FileRenderer data(m_lstPaths);
    bool bExistedAtFirstAnswer = false;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(data.urls(), ExpectedUrls());
        if (i == 0) bExistedAtFirstAnswer = QFileInfo::exists(m_lstPaths[0]);
    }
    EXPECT_EQ(data.nRenders, 1);
    EXPECT_TRUE(bExistedAtFirstAnswer);
    EXPECT_TRUE(data.bCompleteWhileRendering);
    EXPECT_EQ(data.nNestedUrls, 2);
}

TEST_F(DelayRenderTest, NoRequestRendersNothingAndAskingForFormatsIsNoRequest) {
    {
        FileRenderer data(m_lstPaths);
        EXPECT_TRUE(data.hasUrls());
        EXPECT_TRUE(data.hasFormat(QStringLiteral("text/uri-list")));
        EXPECT_FALSE(data.formats().isEmpty());
        EXPECT_EQ(data.nRenders, 0);
        EXPECT_FALSE(data.Is_Complete());
    }
    EXPECT_FALSE(AnyExists());
}

TEST_F(DelayRenderTest, AnyOneOfTheOtherButtonsHeldAloneHoldsTheRender) {
    for (Qt::MouseButton eButton :
         {Qt::RightButton, Qt::MiddleButton, Qt::ExtraButton1, Qt::ExtraButton2}) {
        SCOPED_TRACE(int(eButton));
        FileRenderer data(m_lstPaths);
        data.pcButtons->eHeld = eButton;
        EXPECT_EQ(data.urls(), ExpectedUrls());
        data.data(QStringLiteral("text/uri-list"));
        EXPECT_EQ(data.nRenders, 0);
        data.pcButtons->eHeld = Qt::NoButton;
        data.urls();
        EXPECT_EQ(data.nRenders, 1);
    }
    // Buttons beyond the five (a sixth button, say) are no drag.
    FileRenderer data(m_lstPaths);
    data.pcButtons->eHeld = Qt::ExtraButton3;
    data.urls();
    EXPECT_EQ(data.nRenders, 1);
}

TEST_F(DelayRenderTest, TheBaseClassShowsItsMessageOnTheFirstRequestAfterRelease) {
    kestrel::test::MessageRecorder messages;
    auto pcButtons = std::make_shared<FakeButtons>();
    DataObject_DelayRender data(m_lstPaths);
    data.Set_MouseButtonState(pcButtons);

    pcButtons->eHeld = Qt::LeftButton | Qt::RightButton;
    data.urls();
    EXPECT_TRUE(messages.lstTexts.isEmpty());

    pcButtons->eHeld = Qt::NoButton;
    EXPECT_EQ(data.urls(), ExpectedUrls());
    data.urls();
    ASSERT_EQ(messages.lstTexts.size(), 1);
    EXPECT_EQ(messages.lstTexts[0], QStringLiteral("On Drop : DataObject_DelayRender"));
    EXPECT_EQ(messages.lstCaptions[0], QStringLiteral("エラー"));
}

TEST(DelayRenderSystemButtons, OffscreenFallsBackToQtsRecord) {
    // No window system to ask: the reader must still answer, and nothing is held in a test.
    EXPECT_EQ(shelf_cli::SystemMouseButtonState()->Buttons(), Qt::NoButton);
}

// A window that takes drops and reads the paths the moment the drop arrives.
class DropTarget : public QWidget {
public:
    DropTarget() { setAcceptDrops(true); }
    QList<QUrl> lstReceived;
    QList<bool> lstExisted;
    Qt::DropActions eOffered;

protected:
    void dragEnterEvent(QDragEnterEvent* pEvent) override {
        eOffered = pEvent->possibleActions();
        pEvent->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* pEvent) override { pEvent->acceptProposedAction(); }
    void dropEvent(QDropEvent* pEvent) override {
        lstReceived = pEvent->mimeData()->urls();
        for (const QUrl& c_url : lstReceived)
            lstExisted.append(QFileInfo::exists(c_url.toLocalFile()));
        pEvent->acceptProposedAction();
    }
};

// Reads the paths while the drag moves over it and keeps them, never asking again at the drop,
// as some file managers do.
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
        if (bAccept)
            pEvent->acceptProposedAction();
        else
            pEvent->ignore();
    }
};

class DragHelperTest : public DelayRenderTest {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
            GTEST_SKIP() << "the offscreen platform refuses every drag; run with "
                            "QT_QPA_PLATFORM=minimal";
        }
        DelayRenderTest::SetUp();
        m_source.setGeometry(0, 0, 100, 100);
        m_target.setGeometry(300, 0, 100, 100);
        m_source.show();
        m_target.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_source));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_target));
    }

    QWidget m_source;
    DropTarget m_target;
};

TEST_F(DragHelperTest, ADropRendersBeforeTheTargetReadsAndQtDeletesDragAndData) {
    auto* pcData = new FileRenderer(m_lstPaths);
    QPointer<FileRenderer> pcWatch(pcData);
    QPointer<QDrag> pcDrag;
    bool bRenderedDuringMove = true;

    QTimer::singleShot(50, &m_target, [&] {
        pcDrag = m_source.findChild<QDrag*>();
        QWindow* pWindow = m_target.windowHandle();
        pcData->pcButtons->eHeld = Qt::LeftButton;
        QTest::mouseMove(pWindow, QPoint(40, 40));
        QTest::mouseMove(pWindow, QPoint(50, 50));
        bRenderedDuringMove = pcData->nRenders != 0;
        pcData->pcButtons->eHeld = Qt::NoButton;
        QTest::mouseRelease(pWindow, Qt::LeftButton, {}, QPoint(50, 50));
    });
    const Qt::DropAction c_eAction = shelf_cli::DoDragDrop_Copy(&m_source, pcData);

    EXPECT_EQ(c_eAction, Qt::CopyAction);
    EXPECT_EQ(m_target.eOffered, Qt::DropActions(Qt::CopyAction));
    EXPECT_FALSE(bRenderedDuringMove);
    EXPECT_EQ(m_target.lstReceived, ExpectedUrls());
    EXPECT_EQ(m_target.lstExisted, (QList<bool>{true, true}));
    ASSERT_TRUE(pcWatch);
    EXPECT_EQ(pcWatch->nRenders, 1);

    EXPECT_FALSE(pcDrag.isNull()) << "the drag was not found while it ran";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(pcDrag.isNull());
    EXPECT_TRUE(pcWatch.isNull());
}

class EarlyReadingDragTest : public DragHelperTest, public testing::WithParamInterface<bool> {};

TEST_P(EarlyReadingDragTest, FindsTheFilesAtTheDropOnlyWhereTheDropIsTaken) {
    const bool c_bAccept = GetParam();
    EarlyReadingTarget target;
    target.bAccept = c_bAccept;
    target.setGeometry(300, 200, 100, 100);
    target.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
    auto* pcData = new FileRenderer(m_lstPaths);
    QPointer<FileRenderer> pcWatch(pcData);
    pcData->pcButtons->eHeld = Qt::LeftButton;
    int nRendersBeforeRelease = -1;
    QTimer::singleShot(50, &target, [&] {
        QTest::mouseMove(target.windowHandle(), QPoint(40, 40));
        QTest::mouseMove(target.windowHandle(), QPoint(50, 50));
        nRendersBeforeRelease = pcData->nRenders;
        // The early read took place with the button held; no request follows the release.
        pcData->pcButtons->eHeld = Qt::NoButton;
        QTest::mouseRelease(target.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
    });
    shelf_cli::DoDragDrop_Copy(&m_source, pcData);
    EXPECT_EQ(target.lstKept, ExpectedUrls());
    EXPECT_EQ(nRendersBeforeRelease, 0);
    ASSERT_TRUE(pcWatch);
    if (c_bAccept) {
        EXPECT_EQ(pcWatch->nRenders, 1);
        EXPECT_EQ(target.lstExistedAtDrop, (QList<bool>{true, true}));
    } else {
        // Let go where nothing takes the drop: nothing is extracted.
        EXPECT_EQ(pcWatch->nRenders, 0);
        EXPECT_FALSE(AnyExists());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

INSTANTIATE_TEST_SUITE_P(Target, EarlyReadingDragTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& c_info) {
                             return std::string(c_info.param ? "Accepts" : "Refuses");
                         });

TEST_F(DragHelperTest, EscapeCancelsWithoutRendering) {
    auto* pcData = new FileRenderer(m_lstPaths);
    QPointer<FileRenderer> pcWatch(pcData);
    pcData->pcButtons->eHeld = Qt::LeftButton;

    QTimer::singleShot(50, &m_target, [&] {
        QTest::mouseMove(m_target.windowHandle(), QPoint(50, 50));
        QTest::keyClick(m_target.windowHandle(), Qt::Key_Escape);
    });
    EXPECT_EQ(shelf_cli::DoDragDrop_Copy(&m_source, pcData), Qt::IgnoreAction);

    EXPECT_TRUE(m_target.lstReceived.isEmpty());
    ASSERT_TRUE(pcWatch);
    EXPECT_EQ(pcWatch->nRenders, 0);
    EXPECT_FALSE(AnyExists());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(pcWatch.isNull());
}

}  // namespace
