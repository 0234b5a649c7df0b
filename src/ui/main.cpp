// Program entry: builds the application object and shows the main window.
#include <QApplication>
#include <QIcon>
#include <QMainWindow>

#include "common/Product.h"
#include "common/Resources.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tevro::kProductName));
    QApplication::setOrganizationName(QStringLiteral("Kaltmer"));
    QApplication::setApplicationVersion(QString::fromLatin1(tevro::kVersionText));

    QMainWindow window;
    window.setWindowTitle(tevro::ProductLine());
    window.resize(420, 300);
    window.show();
    return QApplication::exec();
}
