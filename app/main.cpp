#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orvane Viewer");
    QMainWindow window;
    window.setWindowTitle("Orvane Viewer");
    window.resize(610, 445);
    window.show();
    return QApplication::exec();
}
