// tavirel-cli render, run as a program: the PNG it writes is the plot's
// picture, it prints the window's end, and it refuses what it should.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdlib>

#include "PlotTestSupport.h"

namespace {

using plottest::NoiseFile;
using plottest::PlotTest;
using riff::IqTone;
using riff::Pcm16;
using riff::WaveFile;

struct CliRun {
    int exitCode = -1;
    QByteArray out, err;
};

class CliRenderTest : public PlotTest {
protected:
    void SetUp() override
    {
        PlotTest::SetUp();
        // The build folder from the environment, else the one this test runs from
        // (BUILD/tests/display/test_display).
        const char* build = std::getenv("TAVIREL_BUILD_DIR");
        const QString buildDir = build && *build ? QString::fromLocal8Bit(build)
                                                 : QCoreApplication::applicationDirPath() + "/../..";
        m_cli = QFileInfo(buildDir + "/src/cli/tavirel-cli").absoluteFilePath();
        if (!QFileInfo(m_cli).isExecutable())
            GTEST_SKIP() << "tavirel-cli not built: " << m_cli.toStdString();
    }

    CliRun Cli(const QStringList& args)
    {
        QProcess p;
        p.start(m_cli, QStringList{"render"} + args);
        CliRun r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "tavirel-cli did not finish";
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    QString m_cli;
};

TEST_F(CliRenderTest, WritesThePlotsPictureAndPrintsTheWindowsEnd)
{
    // A tone in noise, 3 s of I/Q at 8000 frames/s; the window from second 1 on
    // ends inside the source.
    std::vector<int16_t> s = IqTone(24000, 0.3, -300.0);
    plottest::Noise noise(3);
    for (int16_t& v : s)
        v = static_cast<int16_t>(v + 300.0 * noise.Next());
    const QString wav = Write("iq.wav", WaveFile({2}, Pcm16(s)));
    const QString png = m_dir.filePath("out.png");

    CliRun r = Cli({wav, "--start", "1", "--width", "16", "--height", "120", "--ref", "-20", "--out", png});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();

    Load(wav, -20);
    m_doc.m_nViewStart = 1;
    m_plot.Draw(QRect(0, 0, 16, 120), nullptr);
    EXPECT_EQ(r.out.toStdString(), std::to_string(m_doc.m_nViewEnd) + "\n");
    EXPECT_EQ(m_doc.m_nViewEnd, 3);

    QImage written(png, "PNG");
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), QSize(16, 120));
    EXPECT_FALSE(written.hasAlphaChannel());
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), m_plot.m_bitmap);
    EXPECT_TRUE(ColumnIsBlack(15)); // past the end of the source

    // A negative start is the start of the source.
    r = Cli({wav, "--start", "-4", "--width", "4", "--height", "50", "--out", m_dir.filePath("neg.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    Load(wav, 0);
    m_plot.Draw(QRect(0, 0, 4, 50), nullptr);
    EXPECT_EQ(QImage(m_dir.filePath("neg.png"), "PNG").convertToFormat(QImage::Format_RGB32), m_plot.m_bitmap);
    EXPECT_EQ(r.out.toStdString(), std::to_string(m_doc.m_nViewEnd) + "\n");
}

TEST_F(CliRenderTest, KeepsAnExistingPictureUnlessTold)
{
    const QString wav = Write("mono.wav", NoiseFile(1, 2, 0.5));
    const QString png = Write("keep.png", riff::Bytes::Text("precious"));
    const QStringList args = {wav, "--start", "0", "--width", "8", "--height", "8", "--out", png};

    CliRun r = Cli(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("exists")) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty());
    QFile f(png);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("precious"));
    f.close();

    r = Cli(args + QStringList{"--overwrite"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(QImage(png, "PNG").size(), QSize(8, 8));

    // Never over the source itself.
    const QByteArray before = [&] { QFile w(wav); w.open(QIODevice::ReadOnly); return w.readAll(); }();
    r = Cli({wav, "--start", "0", "--width", "8", "--height", "8", "--out", wav, "--overwrite"});
    EXPECT_EQ(r.exitCode, 2);
    QFile w(wav);
    ASSERT_TRUE(w.open(QIODevice::ReadOnly));
    EXPECT_EQ(w.readAll(), before);
}

TEST_F(CliRenderTest, BadSourcesAndBadArguments)
{
    const QString wav = Write("mono.wav", NoiseFile(1, 2, 0.5));
    const QString text = Write("text.wav", riff::Bytes::Text("not a wave file, just text of some length"));
    const QString png = m_dir.filePath("x.png");

    CliRun r = Cli({m_dir.filePath("missing.wav"), "--start", "0", "--width", "8", "--height", "8", "--out", png});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(WaveErrorText(WAVE_ERR_OPEN))) << r.err.constData();
    r = Cli({text, "--start", "0", "--width", "8", "--height", "8", "--out", png});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(WaveErrorText(WAVE_ERR_NOT_WAVE))) << r.err.constData();
    EXPECT_FALSE(QFile::exists(png));

    const QStringList usage[] = {
        {wav, "--start", "0", "--width", "8", "--height", "8"},          // no --out
        {wav, "--start", "0", "--width", "0", "--height", "8", "--out", png},
        {wav, "--start", "1.5", "--width", "8", "--height", "8", "--out", png},
        {wav, "--start", "0", "--width", "8", "--height", "8", "--ref", "-160", "--out", png},
        {wav, "--start", "0", "--width", "8", "--height", "8", "--out", png, "--colour", "red"},
        {wav, wav, "--start", "0", "--width", "8", "--height", "8", "--out", png},
    };
    for (const QStringList& args : usage) {
        r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFile::exists(png));

    r = Cli({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("--start SEC"));
}

} // namespace
