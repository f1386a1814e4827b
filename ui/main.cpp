// Program entry: one window, one archive.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("ケストレル"));
    auto* label = new QLabel(app.arguments().value(1), &window);
    window.setCentralWidget(label);
    window.resize(800, 480);
    window.show();
    return app.exec();
}
