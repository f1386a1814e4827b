// A window that takes drops, for the drag-out check under X. It prints each received path with
// whether it exists at the moment of the drop, then quits. With --peek it also reads the data
// while the drag passes over it, as some file managers do, with the button still held.
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

void Say(const QString& c_strLine) {
    std::printf("%s\n", c_strLine.toUtf8().constData());
    std::fflush(stdout);
}

class CTarget : public QWidget {
public:
    explicit CTarget(bool bPeek) : m_bPeek(bPeek) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* pEvent) override {
        Say(QStringLiteral("ENTER actions=%1").arg(int(pEvent->possibleActions())));
        pEvent->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* pEvent) override {
        if (m_bPeek) Say(QStringLiteral("PEEK %1").arg(pEvent->mimeData()->urls().size()));
        pEvent->acceptProposedAction();
    }
    void dropEvent(QDropEvent* pEvent) override {
        const QList<QUrl> c_lstUrls = pEvent->mimeData()->urls();
        for (const QUrl& c_url : c_lstUrls) {
            const QFileInfo c_info(c_url.toLocalFile());
            Say(QStringLiteral("DROP %1 exists=%2 dir=%3")
                    .arg(c_url.toLocalFile())
                    .arg(c_info.exists())
                    .arg(c_info.isDir()));
        }
        Say(QStringLiteral("DROPPED %1").arg(c_lstUrls.size()));
        pEvent->acceptProposedAction();
        QTimer::singleShot(500, qApp, &QApplication::quit);
    }

private:
    bool m_bPeek;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CTarget target(argc > 1 && QByteArray(argv[1]) == "--peek");
    target.setWindowTitle(QStringLiteral("kestrel-drop-target"));
    target.setGeometry(400, 0, 200, 200);
    target.show();
    QTimer::singleShot(300, [] { Say(QStringLiteral("READY")); });
    QTimer::singleShot(60000, &app, &QApplication::quit);
    return app.exec();
}
