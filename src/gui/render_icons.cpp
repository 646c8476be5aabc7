// Draws the program's icon (SVG artwork) as PNG files in the sizes desktop icon themes look for:
//   folvane_render_icons ICON.svg OUTPUT_FOLDER SIZE...
// writes OUTPUT_FOLDER/<size>x<size>/apps/folvane.png for every size. Runs at build time on Qt's
// offscreen platform.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: folvane_render_icons ICON.svg OUTPUT_FOLDER SIZE...\n");
        return 2;
    }
    QGuiApplication application(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "folvane_render_icons: cannot read %s\n", argv[1]);
        return 1;
    }
    QString folder = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "folvane_render_icons: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
        }
        QString apps = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(apps) || !image.save(apps + QStringLiteral("/folvane.png"), "PNG")) {
            std::fprintf(stderr, "folvane_render_icons: cannot write into %s\n", qPrintable(apps));
            return 1;
        }
    }
    return 0;
}
