// tavirel: the window. It takes no command-line options of its own; Qt's own
// (such as -platform) are Qt's.
#include "app/TavirelApp.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    for (int i = 1; i < argc; ++i)
        std::fprintf(stderr, "tavirel: ignoring \"%s\": the program takes no arguments\n", argv[i]);

    CTavirelApp app;
    // The first run's source, handed over by scripts/run; used only while the
    // store names no source path.
    if (const char* firstSource = std::getenv("TAVIREL_FIRST_SOURCE"))
        app.m_strFirstSource = QString::fromLocal8Bit(firstSource);
    if (!app.InitInstance())
        return 1;
    return application.exec();
}
