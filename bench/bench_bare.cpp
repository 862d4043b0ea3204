// The yardstick for start-up: a bare Qt main window with a menu bar and one text box.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    for (const char* menu : {"File", "Edit", "Speak", "Help"}) window.menuBar()->addMenu(menu);
    window.setCentralWidget(new QPlainTextEdit);
    window.resize(484, 340);
    window.show();
    return app.exec();
}
