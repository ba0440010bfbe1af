// The yardstick for the station's start-up and memory figures: a Qt Widgets window of the station's
// size with nothing in it.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare Qt Widgets window");
    window.resize(700, 350);
    window.show();
    return QApplication::exec();
}
