// The program's icon, drawn in code: a small spectrogram above the position
// bar's three colours. One table of shapes gives the window's pixmaps and the
// installed scalable and bitmap icons.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>

#include <vector>

// One filled shape on a 16 x 16 grid; the first, rounded one is the tile.
struct TavirelIconShape {
    QRectF rect;
    QColor colour;
    bool rounded = false;
};

std::vector<TavirelIconShape> TavirelIconShapes();
QPixmap TavirelIconPixmap(int sizePx);
QString TavirelIconSvg();
QIcon TavirelIcon();
