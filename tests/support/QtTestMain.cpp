// main() for the tests that need a QApplication: Qt's offscreen platform, and a
// settings store and a data folder (segment lists) in temporary folders so that
// no test touches the user's own.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include <gtest/gtest.h>

#include "sigmf/SigmfSource.h"

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir configHome;
    setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    QTemporaryDir dataHome;
    setenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    sigmf::InstallSourceResolver();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
