// A bare Qt Widgets window of the player's size, the yardstick for the player's start-up
// time (scripts/startup-time.sh): what any Qt program pays before its first window shows.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication application{argc, argv};
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.resize(790, 536);
    window.show();
    return QApplication::exec();
}
