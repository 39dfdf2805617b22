// icon_png SVG SIZE OUT.png: the program's icon as a square PNG of SIZE
// pixels, for the icon theme's fixed sizes.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    // Rendering needs no screen: the build machine may have none.
    std::vector<char *> args(argv, argv + argc);
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    args.push_back(platform);
    args.push_back(offscreen);
    int count = static_cast<int>(args.size());
    QGuiApplication app(count, args.data());
    const QStringList given = QCoreApplication::arguments();
    bool sizeOk = false;
    const int size = given.size() == 4 ? given[2].toInt(&sizeOk) : 0;
    if (!sizeOk || size <= 0) {
        std::fputs("usage: icon_png SVG SIZE OUT.png\n", stderr);
        return 2;
    }
    QSvgRenderer renderer(given[1]);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "icon_png: cannot read %s\n", qPrintable(given[1]));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    if (!image.save(given[3], "PNG")) {
        std::fprintf(stderr, "icon_png: cannot write %s\n", qPrintable(given[3]));
        return 1;
    }
    return 0;
}
