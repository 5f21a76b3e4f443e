// tavirel: the window. A file named on the command line opens as the source
// (`tavirel FILE.wav`, as a desktop entry's "%f" gives it); Qt's own options
// (such as -platform) are Qt's.
#include "app/TavirelApp.h"

#include <QApplication>

#include "sigmf/SigmfSource.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    sigmf::InstallSourceResolver();
    QStringList ignored;
    CTavirelApp app;
    // Qt has taken its own options out of the arguments by now.
    app.m_strCommandLineFile = CTavirelApp::SourceFromArguments(QCoreApplication::arguments(), &ignored);
    for (const QString& arg : ignored)
        std::fprintf(stderr, "tavirel: ignoring \"%s\" (usage: tavirel [Qt options] [FILE.wav])\n",
                     arg.toLocal8Bit().constData());
    // The first run's source, handed over by scripts/run; used only while the
    // store names no source path.
    if (const char* firstSource = std::getenv("TAVIREL_FIRST_SOURCE"))
        app.m_strFirstSource = QString::fromLocal8Bit(firstSource);
    if (!app.InitInstance())
        return 1;
    return application.exec();
}
