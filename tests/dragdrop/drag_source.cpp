// A window to drag from, for the drag-out check under X: pressing and moving the mouse in it
// drags a.txt and the folder "folder" (with sub/b.txt) of the folder named on the command line;
// they are written only when the drop target asks for them. Every step goes to stdout.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "DataObject_DelayRender.h"

namespace {

void Say(const QString& c_strLine) {
    std::printf("%s\n", c_strLine.toUtf8().constData());
    std::fflush(stdout);
}

class CRenderToFolder : public shelf_cli::DataObject_DelayRender {
public:
    explicit CRenderToFolder(const QString& c_strFolder)
        : DataObject_DelayRender(
              {c_strFolder + QStringLiteral("/a.txt"), c_strFolder + QStringLiteral("/folder")}),
          m_strFolder(c_strFolder) {}

protected:
    void OnRender() override {
        Say(QStringLiteral("RENDER existed=%1").arg(AnyExists()));
        QDir().mkpath(m_strFolder + QStringLiteral("/folder/sub"));
        for (const char* szName : {"/a.txt", "/folder/sub/b.txt"}) {
            QFile file(m_strFolder + QLatin1String(szName));
            if (file.open(QIODevice::WriteOnly)) file.write("rendered\n");
        }
    }
    QVariant retrieveData(const QString& c_strType, QMetaType eType) const override {
        Say(QStringLiteral("REQUEST %1 buttons=%2 complete=%3")
                .arg(c_strType)
                .arg(int(shelf_cli::SystemMouseButtonState()->Buttons()))
                .arg(Is_Complete()));
        const QVariant c_value = DataObject_DelayRender::retrieveData(c_strType, eType);
        Say(QStringLiteral("ANSWER exists=%1").arg(AnyExists()));
        return c_value;
    }

private:
    bool AnyExists() const { return QFileInfo::exists(m_strFolder + QStringLiteral("/a.txt")); }
    QString m_strFolder;
};

class CSource : public QWidget {
public:
    explicit CSource(const QString& c_strFolder) : m_strFolder(c_strFolder) {}

protected:
    void mousePressEvent(QMouseEvent* pEvent) override {
        m_ptPress = pEvent->position().toPoint();
        m_bPressed = true;
    }
    void mouseMoveEvent(QMouseEvent* pEvent) override {
        if (!m_bPressed || (pEvent->position().toPoint() - m_ptPress).manhattanLength() <
                               QApplication::startDragDistance()) {
            return;
        }
        m_bPressed = false;
        Say(QStringLiteral("DRAG"));
        const Qt::DropAction c_eAction =
            shelf_cli::DoDragDrop_Copy(this, new CRenderToFolder(m_strFolder));
        Say(QStringLiteral("EXEC action=%1").arg(int(c_eAction)));
    }
    void mouseReleaseEvent(QMouseEvent*) override { m_bPressed = false; }

private:
    QString m_strFolder;
    QPoint m_ptPress;
    bool m_bPressed = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    CSource source(QString::fromLocal8Bit(argv[1]));
    source.setWindowTitle(QStringLiteral("kestrel-drag-source"));
    source.setGeometry(0, 0, 200, 200);
    source.show();
    QTimer::singleShot(300, [] { Say(QStringLiteral("READY")); });
    // The script ends it; this only guards against a script that died.
    QTimer::singleShot(60000, &app, &QApplication::quit);
    return app.exec();
}
