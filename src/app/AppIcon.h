// The program's icon, drawn in code: a small spectrogram above the position
// bar's three colours.
#pragma once

#include <QIcon>
#include <QPixmap>

QPixmap TavirelIconPixmap(int sizePx);
QIcon TavirelIcon();
