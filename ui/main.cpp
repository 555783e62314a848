#include "frmMain.h"
#include "version.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(twinframe::kProductName);
    QApplication::setApplicationVersion(twinframe::kVersionText);
    QApplication::setOrganizationName(twinframe::kProductName);
    QApplication::setDesktopFileName(QStringLiteral("org.example.Twinframe"));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/twinframe-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    frmMain window;
    window.show();
    return app.exec();
}
