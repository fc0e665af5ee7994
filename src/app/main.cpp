#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorlane");
    QMainWindow window;
    window.setWindowTitle("Quorlane 1.0");
    window.resize(1000, 700);
    window.show();
    return app.exec();
}
