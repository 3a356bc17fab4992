// Writes the application icon into a hicolor icon theme tree for installing:
// <dir>/hicolor/<n>x<n>/apps/quaymark.png.
#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include "ui/artwork.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        qCritical("usage: write_icons <directory>");
        return 2;
    }
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString dir =
            QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(dir) || !quaymark::ui::IconImage(size).save(dir + "/quaymark.png")) {
            qCritical("cannot write the %dx%d icon", size, size);
            return 1;
        }
    }
    return 0;
}
