#include "frmMain.h"
#include "version.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(twinframe::kProductName);
    QApplication::setApplicationVersion(twinframe::kVersionText);
    QApplication::setOrganizationName(twinframe::kProductName);
    QApplication::setDesktopFileName(frmMain::desktopFileName);
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/twinframe-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    frmMain window;
    window.show();
    // Files named on the command line (as a file manager passes them): QApplication has taken
    // its own options out of argv.
    QStringList files;
    for (int i = 1; i < argc; ++i)
        files << QFile::decodeName(argv[i]);
    window.openFilesWhenShown(files);
    return app.exec();
}
