#include "AppIcon.h"

#include <QPainter>

QPixmap TavirelIconPixmap(int sizePx)
{
    QPixmap pixmap(sizePx, sizePx);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double unit = sizePx / 16.0;

    // Dark rounded tile as the spectrogram's background.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(8, 8, 40));
    painter.drawRoundedRect(QRectF(0, 0, sizePx, sizePx), 2 * unit, 2 * unit);

    // A few spectrogram lines: a steady carrier and a sweeping one, in the
    // colour map's blue, cyan, green and yellow.
    const QColor lineColours[] = {QColor(0, 0, 255), QColor(0, 255, 255), QColor(0, 255, 0),
                                  QColor(255, 255, 0)};
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int column = 0; column < 14; ++column) {
        const double x = unit * (1 + column);
        painter.setBrush(lineColours[column % 4]);
        painter.drawRect(QRectF(x, unit * 4, unit, unit));
        const double sweepY = unit * (2 + (column * 7) / 13);
        painter.setBrush(QColor(255, 0, 0));
        painter.drawRect(QRectF(x, sweepY + unit * 3, unit, unit));
    }

    // The position bar: whole file dark blue, window light blue, segment yellow.
    const QRectF bar(unit, unit * 12, unit * 14, unit * 3);
    painter.setBrush(QColor(0, 0, 128));
    painter.drawRect(bar);
    painter.setBrush(QColor(0, 255, 255));
    painter.drawRect(QRectF(unit * 3, unit * 12, unit * 4, unit * 1.5));
    painter.setBrush(QColor(255, 255, 0));
    painter.drawRect(QRectF(unit * 6, unit * 13.5, unit * 7, unit * 1.5));
    return pixmap;
}

QIcon TavirelIcon()
{
    QIcon icon;
    for (int sizePx : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(TavirelIconPixmap(sizePx));
    return icon;
}
