// SigMF descriptions from the command line: beside each cut and band with
// --sigmf, and of a recording in place with `sigmf`; each carries the output's
// own start, centre and annotation, none replaces a file, all validate; and
// SigMF recordings written instead of waves with --format sigmf.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/CliRun.h"
#include "sigmf/SigmfSource.h"
#include "sigmf/SigmfWrite.h"
#include "support/SigmfSchema.h"
#include "wave/wave_test_util.h"

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
    const std::string c24 = out + "/c24_001";
    const struct {
        std::string args, meta, warning;
        // capture datetime and frequency, annotation count ("-": not looked at) and lower edge
        std::string time = {}, centre = {}, count = {}, low = {};
    } rows[] = {
        {"cut SRC --from 1.5 --to 2 --sigmf --dest OUT/cut.wav", out + "/cut_001.sigmf-meta", "",
         "2026-06-21T09:07:01.750Z", "7074000", "24000", "-"},
        {"extract SRC --from 1 --to 2 --low 7070000 --high 7072000 --sigmf --dest OUT/band.wav",
         out + "/band_001.sigmf-meta", "", "2026-06-21T09:07:01.250Z", "7071000", "-", "7070000"},
        {"sigmf SRC", Path("src.sigmf-meta"), "", "2026-06-21T09:07:00.250Z", "7074000", "-", "-"},
        {"sigmf SRC", Path("src.sigmf-meta"),
         "tavirel-cli sigmf: no SigMF metadata was written for " + src + ": " + Path("src.sigmf-meta") +
             " already exists.\n"},
        {"cut " + s24 + " --from 0 --to 0.5 --sigmf --dest OUT/c24.wav", c24 + ".sigmf-meta",
         "tavirel-cli cut: No SigMF metadata was written for " + c24 +
             ".wav: 24-bit samples have no SigMF type (save them as a SigMF recording with --format sigmf).\n"},
    };
    std::vector<std::string> metas;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.args);
        const bool described = r.args.starts_with("sigmf");
        const CliRun run = RunCli(Words(r.args, m_tmp.path.string()));
        EXPECT_EQ(run.err, r.warning);
        EXPECT_EQ(run.status, described && !r.warning.empty() ? 1 : 0);
        if (!r.warning.empty())
            continue;
        EXPECT_EQ(Field(r.meta, "captures", "core:datetime"), r.time);
        EXPECT_EQ(Field(r.meta, "captures", "core:frequency"), r.centre);
        if (!described) {
            if (r.count != "-") {
                EXPECT_EQ(Field(r.meta, "annotations", "core:sample_count"), r.count);
            }
            EXPECT_EQ(Field(r.meta, "annotations", "core:freq_lower_edge"), r.low);
        }
        metas.push_back(r.meta);
    }
    EXPECT_FALSE(std::filesystem::exists(c24 + ".sigmf-meta"));
    EXPECT_TRUE(std::filesystem::exists(c24 + ".wav"));
    EXPECT_EQ(SigmfSchemaErrors(metas), "");
}

TEST_F(CliTest, SigmfRecordingsHoldTheSamplesLosslesslyNumberOnAndValidate)
{
    sigmf::InstallSourceResolver();
    const std::string out = Out();
    FreshOut();
    riff::WaveShape iq(2, 48000);
    iq.auxi = riff::AuxiPayload(SYSTEMTIME{2026, 6, 0, 21, 9, 7, 0, 250}, SYSTEMTIME{2026, 6, 0, 21, 9, 7, 4, 250},
                                {7074000});
    const struct {
        const char* name;
        riff::WaveShape shape;
        std::string command; // with its options; the source goes after its first word, --dest last
        std::string type, centre;
        int64_t nFrom, nFrames; // the output's span of the source (in its frames), frames held; -1: not compared
    } rows[] = {
        {"iq16", iq, "cut --from 1 --to 1.5", "ci16_le", "7074000", 48000, 24576},
        {"u8", {1, 48000, 8}, "cut --from-frame 100 --to-frame 5000", "ru8", "-", 100, 6144},
        {"iq24", {2, 48000, 24}, "cut --from 0 --to 0.5", "ci32_le", "-", 0, 24576},
        {"band", iq, "extract --from 1 --to 2 --low 7070000 --high 7072000 --bits float", "cf32_le", "7071000", -1, 0},
        {"band16", iq, "extract --from 1 --to 2 --low 7070000 --high 7072000", "ci16_le", "7071000", -1, 0},
    };
    std::vector<std::string> metas;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string src = Path(std::string(r.name) + ".wav"), dest = out + "/" + r.name + ".wav";
        ASSERT_TRUE(riff::WriteFile(src, riff::WaveFile(r.shape, riff::Ramp16(2 * 48000 * 4, -30000))));
        std::vector<std::string> args = Words(r.command + " --format sigmf --dest " + dest);
        args.insert(args.begin() + 1, src);
        for (int k = 1; k <= 2; ++k) { // the second run numbers on
            const std::string data = out + "/" + r.name + "_00" + std::to_string(k) + ".sigmf-data";
            const std::string meta = sigmf::MetaPathBeside(data);
            const CliRun run = RunCli(args);
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.out, data + "\n");
            EXPECT_EQ(Field(meta, "global", "core:datatype"), r.type);
            EXPECT_EQ(Field(meta, "captures", "core:frequency"), r.centre);
            EXPECT_EQ(Field(meta, "global", "core:dataset"), "-");
            metas.push_back(meta);
        }
        EXPECT_FALSE(std::filesystem::exists(out + "/" + r.name + "_001.wav"));
        if (r.nFrom < 0)
            continue;
        const ReadBack from = ReadValues(src), got = ReadValues(out + "/" + r.name + "_001.sigmf-meta");
        const auto at = [&](int64_t frame) { return from.values.begin() + frame * from.wf.nChannels; };
        EXPECT_EQ(got.values, std::vector<int32_t>(at(r.nFrom), at(r.nFrom + r.nFrames)));
        EXPECT_EQ(got.wf.nSamplesPerSec, from.wf.nSamplesPerSec);
    }
    EXPECT_EQ(Field(out + "/iq16_001.sigmf-meta", "captures", "core:datetime"), "2026-06-21T09:07:01.250Z");
    EXPECT_EQ(SigmfSchemaErrors(metas), "");
}
