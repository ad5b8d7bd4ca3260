// Draws the window icon, a 48 x 48 pressure gauge in 16 colours, and writes it
// to the path given. Run once when the drawing changes; the PNG is checked in.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2)
        return 2;

    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Body and dial.
    p.setPen(QPen(QColor(64, 64, 64), 2));
    p.setBrush(QColor(192, 192, 192));
    p.drawEllipse(QRectF(2, 2, 44, 44));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(6, 6, 36, 36));

    // Scale from 225 degrees down to -45, the last quarter in red.
    const QPointF centre(24, 24);
    for (int i = 0; i <= 10; ++i) {
        const double a = qDegreesToRadians(225.0 - 27.0 * i);
        const QPointF dir(qCos(a), -qSin(a));
        p.setPen(QPen(i >= 8 ? QColor(192, 0, 0) : QColor(0, 0, 0), i % 5 == 0 ? 2 : 1));
        p.drawLine(centre + dir * 13.0, centre + dir * 17.0);
    }

    // Needle at about two thirds of the scale.
    const double needle = qDegreesToRadians(225.0 - 27.0 * 6.5);
    p.setPen(QPen(QColor(0, 0, 128), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(qCos(needle), -qSin(needle)) * 15.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawEllipse(centre, 3, 3);

    // Process connection at the bottom.
    p.setBrush(QColor(128, 128, 128));
    p.drawRect(QRectF(20, 42, 8, 5));
    p.end();

    // The classic 16-colour palette, with transparency kept as its own entry.
    QList<QRgb> colours{qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),
                        qRgb(128, 128, 0),   qRgb(0, 0, 128),     qRgb(128, 0, 128),
                        qRgb(0, 128, 128),   qRgb(192, 192, 192), qRgb(128, 128, 128),
                        qRgb(255, 0, 0),     qRgb(0, 255, 0),     qRgb(255, 255, 0),
                        qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),
                        qRgb(255, 255, 255), qRgba(0, 0, 0, 0)};
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, colours,
                                                 Qt::ThresholdDither | Qt::NoOpaqueDetection);
    return indexed.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
