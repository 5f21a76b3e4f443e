#include "app/AppIcon.h"

#include <QPainter>

namespace {

constexpr double kGrid = 16.0;      // the shapes' coordinate range
constexpr double kTileRadius = 2.0; // corner radius of the tile, in grid units

} // namespace

std::vector<TavirelIconShape> TavirelIconShapes()
{
    // Dark rounded tile as the spectrogram's background.
    std::vector<TavirelIconShape> shapes{{QRectF(0, 0, kGrid, kGrid), QColor(8, 8, 40), true}};

    // A few spectrogram lines: a steady carrier in the colour map's blue, cyan,
    // green and yellow, and a sweeping one in red.
    const QColor lineColours[] = {QColor(0, 0, 255), QColor(0, 255, 255), QColor(0, 255, 0), QColor(255, 255, 0)};
    for (int column = 0; column < 14; ++column) {
        const double x = 1 + column;
        shapes.push_back({QRectF(x, 4, 1, 1), lineColours[column % 4]});
        shapes.push_back({QRectF(x, 5 + (column * 7) / 13, 1, 1), QColor(255, 0, 0)});
    }

    // The position bar: whole file dark blue, window light blue, segment yellow.
    shapes.push_back({QRectF(1, 12, 14, 3), QColor(0, 0, 128)});
    shapes.push_back({QRectF(3, 12, 4, 1.5), QColor(0, 255, 255)});
    shapes.push_back({QRectF(6, 13.5, 7, 1.5), QColor(255, 255, 0)});
    return shapes;
}

QPixmap TavirelIconPixmap(int sizePx)
{
    QPixmap pixmap(sizePx, sizePx);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    const double unit = sizePx / kGrid;
    for (const TavirelIconShape& shape : TavirelIconShapes()) {
        const QRectF r(shape.rect.x() * unit, shape.rect.y() * unit, shape.rect.width() * unit,
                       shape.rect.height() * unit);
        painter.setBrush(shape.colour);
        // Only the tile's corners are smoothed; the lines stay crisp pixels.
        painter.setRenderHint(QPainter::Antialiasing, shape.rounded);
        if (shape.rounded)
            painter.drawRoundedRect(r, kTileRadius * unit, kTileRadius * unit);
        else
            painter.drawRect(r);
    }
    return pixmap;
}

QString TavirelIconSvg()
{
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                                 "viewBox=\"0 0 16 16\" shape-rendering=\"crispEdges\">\n");
    for (const TavirelIconShape& shape : TavirelIconShapes()) {
        const QRectF& r = shape.rect;
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"")
                   .arg(r.x())
                   .arg(r.y())
                   .arg(r.width())
                   .arg(r.height());
        if (shape.rounded)
            svg += QStringLiteral(" rx=\"%1\" shape-rendering=\"geometricPrecision\"").arg(kTileRadius);
        svg += QStringLiteral(" fill=\"%1\"/>\n").arg(shape.colour.name());
    }
    return svg + QStringLiteral("</svg>\n");
}

QIcon TavirelIcon()
{
    QIcon icon;
    for (int sizePx : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(TavirelIconPixmap(sizePx));
    return icon;
}
