// Puts pictures side by side on a white strip: glimmerbox-strip OUTPUT.png PICTURE...
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: glimmerbox-strip OUTPUT.png PICTURE...\n");
        return 2;
    }
    QList<QImage> pictures;
    int height = 0;
    int width = 0;
    constexpr int gap = 8;
    for (int i = 2; i < argc; ++i) {
        QImage img(QString::fromLocal8Bit(argv[i]));
        if (img.isNull())
            continue;
        height = std::max(height, img.height());
        width += img.width() + gap;
        pictures << img;
    }
    if (pictures.isEmpty())
        return 1;
    QImage strip(width + gap, height + 2 * gap, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter painter(&strip);
    int x = gap;
    for (const QImage& img : pictures) {
        painter.drawImage(x, gap + (height - img.height()) / 2, img);
        x += img.width() + gap;
    }
    painter.end();
    return strip.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
