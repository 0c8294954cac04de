#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tazu"));
    QLabel label(QStringLiteral("タズ"));
    label.show();
    return app.exec();
}
