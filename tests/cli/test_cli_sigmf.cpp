// SigMF descriptions from the command line: beside each cut and band with
// --sigmf, and of a recording in place with `sigmf`; each carries the output's
// own start, centre and annotation, none replaces a file, all validate.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/CliRun.h"
#include "support/SigmfSchema.h"

namespace {

// "global/core:x", "captures/core:x" (the first) or "annotations/core:x" (the first) of a meta, as JSON text.
std::string Field(const std::string& metaPath, const std::string& where, const char* key)
{
    const std::vector<uint8_t> b = riff::ReadFile(metaPath);
    const QJsonObject root =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())))
            .object();
    const QJsonValue part = root[QString::fromStdString(where)];
    const QJsonObject o = part.isArray() ? part.toArray()[0].toObject() : part.toObject();
    const QJsonValue v = o[QString::fromLatin1(key)];
    return v.isString()      ? v.toString().toStdString()
           : v.isUndefined() ? "-"
                             : QString::number(v.toDouble(), 'g', 12).toStdString();
}

} // namespace

TEST_F(CliTest, SigmfMetaBesideCutsBandsAndRecordingsCarryTheirOwnFieldsAndValidate)
{
    const std::string src = Path("src.wav"), s24 = Path("s24.wav"), out = Out();
    riff::WaveShape shape(2, 48000);
    shape.auxi = riff::AuxiPayload(SYSTEMTIME{2026, 6, 0, 21, 9, 7, 0, 250}, SYSTEMTIME{2026, 6, 0, 21, 9, 7, 4, 250},
                                   {7074000});
    ASSERT_TRUE(riff::WriteFile(src, riff::WaveFile(shape, riff::Ramp16(2 * 48000 * 4))));
    ASSERT_TRUE(riff::WriteFile(s24, riff::WaveFile({2, 48000, 24}, riff::Ramp16(3 * 48000))));
    FreshOut();
    const struct {
        std::vector<std::string> args;
        std::string meta, warning;
        // capture datetime and frequency, annotation count ("-": not looked at) and lower edge
        std::string time = {}, centre = {}, count = {}, low = {};
    } rows[] = {
        {{"cut", src, "--from", "1.5", "--to", "2", "--sigmf", "--dest", out + "/cut.wav"},
         out + "/cut_001.sigmf-meta",
         "",
         "2026-06-21T09:07:01.750Z",
         "7074000",
         "24000",
         "-"},
        {{"extract", src, "--from", "1", "--to", "2", "--low", "7070000", "--high", "7072000", "--sigmf", "--dest",
          out + "/band.wav"},
         out + "/band_001.sigmf-meta",
         "",
         "2026-06-21T09:07:01.250Z",
         "7071000",
         "-",
         "7070000"},
        {{"sigmf", src}, Path("src.sigmf-meta"), "", "2026-06-21T09:07:00.250Z", "7074000", "-", "-"},
        {{"sigmf", src},
         Path("src.sigmf-meta"),
         "tavirel-cli sigmf: no SigMF metadata was written for " + src + ": " + Path("src.sigmf-meta") +
             " already exists.\n"},
        {{"cut", s24, "--from", "0", "--to", "0.5", "--sigmf", "--dest", out + "/c24.wav"},
         out + "/c24_001.sigmf-meta",
         "tavirel-cli cut: No SigMF metadata was written for " + out +
             "/c24_001.wav: 24-bit samples have no SigMF type.\n"},
    };
    std::vector<std::string> metas;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.args[0] + " " + r.meta);
        const CliRun run = RunCli(r.args);
        EXPECT_EQ(run.err, r.warning);
        EXPECT_EQ(run.status, r.args[0] == "sigmf" && !r.warning.empty() ? 1 : 0);
        if (!r.warning.empty())
            continue;
        EXPECT_EQ(Field(r.meta, "captures", "core:datetime"), r.time);
        EXPECT_EQ(Field(r.meta, "captures", "core:frequency"), r.centre);
        if (r.args[0] != "sigmf") {
            if (r.count != "-") {
                EXPECT_EQ(Field(r.meta, "annotations", "core:sample_count"), r.count);
            }
            EXPECT_EQ(Field(r.meta, "annotations", "core:freq_lower_edge"), r.low);
        }
        metas.push_back(r.meta);
    }
    EXPECT_FALSE(std::filesystem::exists(out + "/c24_001.sigmf-meta"));
    EXPECT_TRUE(std::filesystem::exists(out + "/c24_001.wav"));
    EXPECT_EQ(SigmfSchemaErrors(metas), "");
}
