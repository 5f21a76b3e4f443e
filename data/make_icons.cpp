// Writes the installed icons from the program's own drawing:
//   make_icons FOLDER   gives FOLDER/tavirel.svg, FOLDER/tavirel-48.png, FOLDER/tavirel-256.png
#include "app/AppIcon.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_icons FOLDER\n", stderr);
        return 2;
    }
    // Drawing needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QDir folder(QFile::decodeName(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;

    QFile svg(folder.filePath(QStringLiteral("tavirel.svg")));
    if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate) || svg.write(TavirelIconSvg().toUtf8()) < 0) {
        std::fprintf(stderr, "make_icons: %s\n", qPrintable(svg.errorString()));
        return 1;
    }
    for (int sizePx : {48, 256}) {
        const QString name = folder.filePath(QStringLiteral("tavirel-%1.png").arg(sizePx));
        if (!TavirelIconPixmap(sizePx).save(name, "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
