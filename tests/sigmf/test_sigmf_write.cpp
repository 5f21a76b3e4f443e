// The metadata the program writes: each wave described in place finds its
// samples through header and trailing bytes, carries its type, centre and
// start, never replaces a file, and every meta validates against the SigMF
// schema (python3-jsonschema). 24-bit samples are refused as tavirel-cli cut
// --sigmf says (CliTest).
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>
#include <vector>

#include "sigmf/SigmfSource.h"
#include "sigmf/SigmfWrite.h"
#include "support/SigmfSchema.h"
#include "wave/wave_test_util.h"

TEST(SigmfWrite, WavesDescribedInPlaceFindTheirSamplesAndValidate)
{
    const SYSTEMTIME start{2026, 6, 0, 21, 9, 7, 56, 250};
    const std::vector<Bytes> withAuxi{riff::Chunk("auxi", riff::AuxiPayload(start, start, {7074000}))}, none;
    const Bytes tail = riff::Chunk("LIST", Bytes().Id("INFO").Id("ISFT").U32(3).U8('x').U8('y').U8(0));
    const std::vector<Bytes> withTail{tail};
    const Bytes ramp = riff::Ramp16(96);
    const char* kStart = "2026-06-21T09:07:56.250Z";
    struct Row {
        const char* name;
        Bytes fmt;
        std::vector<Bytes> before, after;
        const char* type;
        const char* time;
        double centre; // 0: none written
    };
    const std::vector<Row> rows{
        {"iq16.wav", riff::FmtPayload(1, 2, 48000, 16), withAuxi, withTail, "ci16_le", kStart, 7074000},
        {"real16.wav", riff::FmtPayload(1, 1, 48000, 16), withAuxi, none, "ri16_le", kStart, 0},
        {"u8.wav", riff::FmtPayload(1, 1, 8000, 8), none, none, "ru8", nullptr, 0},
        {"f32.wav", riff::FmtPayload(3, 2, 8000, 32), none, withTail, "cf32_le", nullptr, 0},
        {"ext32.wav", riff::ExtensibleFmtPayload(1, 2, 8000, 32), none, none, "ci32_le", nullptr, 0},
    };
    TempFolder dir;
    std::vector<std::string> metas;
    sigmf::InstallSourceResolver();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string wave = dir / r.name;
        const Bytes file = riff::Wave(r.fmt, ramp, r.before, r.after);
        ASSERT_TRUE(riff::WriteFile(wave, file));
        std::string metaPath;
        ASSERT_EQ(sigmf::WriteMetaBesideWave(wave, {{0, 4, 100.0, 200.0, "burst \xc3\xa9"}}, &metaPath), "");
        QFile f(QString::fromStdString(metaPath));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QJsonObject meta = QJsonDocument::fromJson(f.readAll()).object();
        const QJsonObject g = meta["global"].toObject();
        const QJsonObject c = meta["captures"].toArray()[0].toObject();
        EXPECT_EQ(g["core:datatype"].toString().toStdString(), r.type);
        EXPECT_EQ(g["core:dataset"].toString().toStdString(), r.name);
        // The bytes between header and trailing bytes are the samples exactly.
        const int64_t header = c["core:header_bytes"].toInteger(), trailing = g["core:trailing_bytes"].toInteger();
        ASSERT_EQ(static_cast<int64_t>(file.size()) - header - trailing, static_cast<int64_t>(ramp.size()));
        EXPECT_TRUE(std::equal(ramp.v.begin(), ramp.v.end(), file.v.begin() + header));
        EXPECT_EQ(trailing, static_cast<int64_t>(r.after.empty() ? 0 : tail.size()));
        EXPECT_EQ(c["core:datetime"].toString().toStdString(), r.time ? r.time : "");
        EXPECT_EQ(c["core:frequency"].toDouble(), r.centre);
        const QJsonObject a = meta["annotations"].toArray()[0].toObject();
        EXPECT_EQ(a["core:label"].toString(), QString::fromUtf8("burst \xc3\xa9"));
        EXPECT_EQ(a["core:freq_upper_edge"].toDouble(), 200.0);
        // A second description finds the name taken: the first stays as it was.
        const std::vector<uint8_t> before = riff::ReadFile(metaPath);
        EXPECT_NE(sigmf::WriteMetaBesideWave(wave, {}).find("already exists"), std::string::npos);
        EXPECT_EQ(riff::ReadFile(metaPath), before);
        metas.push_back(metaPath);
        // The meta opens through the program's reader with the wave's rate and start (the centre and the
        // samples' bytes are the meta's fields above).
        CRiffWaveFile in;
        const OpenResult o = OpenFrom(in, metaPath, 0);
        ASSERT_EQ(o.rc, WAVE_OK) << in.ErrorText();
        EXPECT_EQ(o.wf.nSamplesPerSec, riff::Le32(r.fmt.v, 4));
        if (r.time) {
            EXPECT_EQ(o.auxi.stStartTime, start);
        }
    }
    EXPECT_EQ(SigmfSchemaErrors(metas), "");
    for (const auto& [path, beside] :
         {std::pair{"a/b.wav", "a/b.sigmf-meta"}, {"a.b/c", "a.b/c.sigmf-meta"}, {"x.y.wav", "x.y.sigmf-meta"}})
        EXPECT_EQ(sigmf::MetaPathBeside(path), beside);
}
