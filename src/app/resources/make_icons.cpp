// Draws the application icon of escape-setup, an emergency-exit sign (a
// figure running towards an open door), into icon-32.png and icon-16.png.
// The PNGs are checked in; this program is only needed to change them:
//   cmake --build build --target escape-setup-icons
//   ./build/bin/escape-setup-icons src/app/resources

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

const QColor kGreen(0x17, 0x89, 0x3c);
const QColor kDarkGreen(0x0b, 0x5a, 0x24);
const QColor kDoorway(0x0e, 0x6a, 0x2c);
const QColor kWhite(0xff, 0xff, 0xff);

QImage drawLarge() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kDarkGreen, 1.0));
    p.setBrush(kGreen);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 4, 4);
    // The door: a white frame around a dark doorway.
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    p.drawRect(QRectF(20, 4, 9, 24));
    p.setBrush(kDoorway);
    p.drawRect(QRectF(22, 6, 5, 20));
    // The running figure.
    QPen limb(kWhite, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(limb);
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(13.5, 11), QPointF(10.5, 18.5));  // torso
    QPainterPath arms;
    arms.moveTo(19, 12);
    arms.lineTo(16.5, 14);
    arms.lineTo(13, 12);
    arms.lineTo(8.5, 13);
    arms.lineTo(6.5, 16);
    p.drawPath(arms);
    QPainterPath front;
    front.moveTo(10.5, 18.5);
    front.lineTo(14.5, 21.5);
    front.lineTo(14, 26.5);
    p.drawPath(front);
    QPainterPath back;
    back.moveTo(10.5, 18.5);
    back.lineTo(8, 23);
    back.lineTo(4, 24);
    p.drawPath(back);
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(15.5, 7), 2.6, 2.6);
    return image;
}

// The small icon is drawn pixel by pixel: at 16 x 16 a scaled drawing blurs.
QImage drawSmall() {
    static const char* const rows[16] = {
        ".gggggggggggggg.",  //
        "gggggggggggggggg",  //
        "gggggggwwgwwwwwg",  //
        "gggggggwwgwdddwg",  //
        "ggggggggggwdddwg",  //
        "ggggggwwggwdddwg",  //
        "ggggwwwwwgwdddwg",  //
        "gggwgwwgggwdddwg",  //
        "gggwgwwgggwdddwg",  //
        "gggggwwwggwdddwg",  //
        "ggggwggwggwdddwg",  //
        "ggggwggwggwdddwg",  //
        "ggwwgggwggwdddwg",  //
        "gggggggwwgwwwwwg",  //
        "gggggggggggggggg",  //
        ".gggggggggggggg.",  //
    };
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            QColor c;
            switch (rows[y][x]) {
                case 'g':
                    c = kGreen;
                    break;
                case 'w':
                    c = kWhite;
                    break;
                case 'd':
                    c = kDoorway;
                    break;
                default:
                    c = Qt::transparent;
                    break;
            }
            image.setPixelColor(x, y, c);
        }
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const bool ok = drawLarge().save(folder + QStringLiteral("/icon-32.png")) &&
                    drawSmall().save(folder + QStringLiteral("/icon-16.png"));
    if (!ok) std::fprintf(stderr, "could not write the icons into %s\n", qPrintable(folder));
    return ok ? 0 : 1;
}
