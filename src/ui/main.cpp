// Program entry: builds the application object, creates the main window, shows it and runs.
#include "common/Product.h"
#include "ui/Tevro_u.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tevro::kProductName));
    QApplication::setOrganizationName(QStringLiteral("Kaltmer"));
    QApplication::setApplicationVersion(QString::fromLatin1(tevro::kVersionText));

    TF_Tevro window;
    window.show();
    return QApplication::exec();
}
