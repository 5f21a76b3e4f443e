// The built tavirel-cli refusing what cannot give a sound result, in every
// command: the exit status (2 usage, 1 fault), the words that name the fault,
// and nothing written; option spellings and the version.
#include "TavirelVersion.h"
#include "cli/CliRun.h"

namespace {

class CliArgs : public CliTest {
protected:
    void SetUp() override
    {
        // 10 s of I/Q at 48000 frames/s tuned to 7.1 MHz.
        ASSERT_EQ(RunCli({"demo", Path("src.wav"), "--seconds", "10"}).status, 0);
        ASSERT_TRUE(riff::WriteFile(Path("list.csv"), riff::Bytes::Text("from_s,to_s,label\n1,2,good\n5,x,bad\n")));
        FreshOut();
    }
    std::vector<std::string> Args(const std::string& text) const { return Words(text, m_tmp.path.string()); }
};

} // namespace

TEST_F(CliArgs, RefusalsNameTheFaultAndWriteNothing)
{
    const std::string render = "render SRC --width 8 --height 8 --out OUT/p.png ", cut = "cut SRC --dest OUT/c.wav ",
                      extract = "extract SRC --from 1 --to 2 --dest OUT/b.wav ";
    const struct {
        std::string args;
        int status;
        std::string says;
    } rows[] = {
        // Negative seconds, in every command and either spelling; a later good value excuses nothing.
        {render + "--start -5", 2, "--start"},
        {cut + "--from 0 --to=-2", 2, "--to"},
        {cut + "--from=-1 --from 0 --to 2", 2, "--from"},
        {"demo OUT/d.wav --seconds -5", 2, "--seconds"},
        // A window at or after the end shows nothing: a failure, not a black picture.
        {render + "--start 10", 1, "past the end of " + Path("src.wav") + ", which is 10 seconds long"},
        // The parser's own complaints.
        {cut + "--to 2 --from", 2, "missing value after --from"},
        {render + "--start 0 --agc", 2, "unknown option --agc"},
        {cut + "--from 0 --to 2 --agc=yes", 2, "--agc"},
        {"info --jason SRC", 2, "unknown option '--jason'"},
        {"demo OUT/d.wav --seconds", 2, "--seconds"},
        {"frobnicate", 2, "unknown command"},
        {render + "--start 0 --ref -30", 2, "-100, -80, -60"}, // the window's 20 dB steps
        // Ends of a cut that give no sound segment.
        {cut + "--from 1.5 --to 1.5", 2, "--to must come after --from"},
        {cut + "--from 1 --to 10.5", 2, "past the end of the source, which is 10 seconds long (480000 frames)"},
        {cut + "--from 1 --from-frame 5 --to 2", 2, "both give the start"},
        {cut + "--from-frame 1.5 --to 2", 2, "--from-frame needs whole frames"},
        {cut + "--segments LIST --from 1", 2, "give no --from"},
        {cut + "--segments LIST", 2, "Line 3"},
        {cut + "--from 1", 2, "--to is missing"},
        // Bands that cannot be extracted, and a span that cannot (its other faults: CliAudio).
        {extract + "--low 7.1M --high 7.1M", 2, "must lie above its lower edge"},
        {extract + "--low 7.12M --high 7.13M", 2, "reaches outside the source's spectrum"},
        {extract + "--centre 7.1M --bandwidth 60k", 2, "wider than the source's"},
        {extract + "--low 7.1M --high 7.101M --decimation 0", 2, "must be 1 or more"},
        {extract + "--low 7.1M --high 7.1001M --decimation 64", 2, "below the lowest output rate"},
        {extract + "--low 7.1M --high 7.101M --rate 5000", 2, "the nearest rates are 4800 Hz (D 10) and 6000 Hz (D 8)"},
        {extract + "--from 2 --to 2 --low 7.1M --high 7.101M", 2, "--to must come after --from"},
        {extract + "--low 7.1M --high 7.101M --bandwidth 1k", 2, "not both"},
        {extract + "--low 7.1e6 --high 7.101M", 2, "needs a frequency"},
        {extract + "--from +1 --low 7.1M --high 7.101M", 2, "--from needs seconds"},
        {"extract OUT/none.wav --from 1 --to 2 --low 7.1M --high 7.101M --dest OUT/b.wav", 1,
         "cannot be read as a source"},
        // The usage names every render option; every command tells the version.
        {"--help", 0, "[--rows first|strongest]"},
    };
    for (const auto& r : rows) {
        const CliRun run = RunCli(Args(r.args));
        EXPECT_EQ(run.status, r.status) << r.args << "\n" << run.err;
        EXPECT_NE((run.out + run.err).find(r.says), std::string::npos) << r.args << "\n" << run.err;
        ExpectOutEmpty(r.args);
    }
    for (const char* command : {"", "info", "render", "cut", "demo", "extract"}) {
        const CliRun run = RunCli(Words(std::string(command) + " --version", ""));
        EXPECT_EQ(run.out, std::string("tavirel-cli ") + TAVIREL_VERSION + "\n") << command;
    }
}
