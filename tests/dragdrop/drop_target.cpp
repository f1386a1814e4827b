// A drop target in a process of its own, for the drag tests under X11. It reads the offered paths
// as soon as a drag enters (as some file managers do), takes or refuses the drop as told, and
// prints what it saw: "ready", "entered N" (paths offered), "dropped N" (of them there then).
// usage: drop_target accept|refuse X Y
#include <QApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

class CTarget : public QWidget {
public:
    explicit CTarget(bool bAccept) : m_bAccept(bAccept) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* pEvent) override {
        m_lstUrls = pEvent->mimeData()->urls();
        std::printf("entered %lld\n", static_cast<long long>(m_lstUrls.size()));
        std::fflush(stdout);
        Answer(pEvent);
    }
    void dragMoveEvent(QDragMoveEvent* pEvent) override { Answer(pEvent); }
    void dropEvent(QDropEvent* pEvent) override {
        int nThere = 0;
        for (const QUrl& c_url : m_lstUrls) nThere += QFileInfo::exists(c_url.toLocalFile());
        std::printf("dropped %d\n", nThere);
        std::fflush(stdout);
        pEvent->acceptProposedAction();
    }

private:
    void Answer(QDragMoveEvent* pEvent) {
        m_bAccept ? pEvent->acceptProposedAction() : pEvent->ignore();
    }
    bool m_bAccept;
    QList<QUrl> m_lstUrls;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) return 2;
    CTarget target(qstrcmp(argv[1], "accept") == 0);
    target.setGeometry(atoi(argv[2]), atoi(argv[3]), 200, 200);
    target.show();
    QTimer::singleShot(300, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    QTimer::singleShot(60000, &app, &QApplication::quit);  // never outlive a test gone wrong
    return app.exec();
}
