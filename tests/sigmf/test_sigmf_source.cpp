// SigMF recordings opened through the program's reader: samples against
// numpy's reading of the same bytes, refusals, annotations.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "sigmf/SigmfSource.h"
#include "wave/wave_test_util.h"

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string Meta(const std::string& global, const std::string& captures = "[]", const std::string& annotations = "[]")
{
    return "{\"global\":{\"core:version\":\"1.2.5\"," + global + "},\"captures\":" + captures +
           ",\"annotations\":" + annotations + "}";
}

// Opens a recording, SigMF ones included, and reads every value of it.
ReadBack ReadAll(const std::string& path)
{
    sigmf::InstallSourceResolver();
    return ReadValues(path);
}

// Writes NAME.sigmf-data for each type (3 header bytes, 5 trailing) and
// NAME.expect: numpy's values in the reader's 32-bit representation.
const char* kNumpy = R"(
import numpy as np, sys
folder = sys.argv[1]
rng = np.random.default_rng(7)
for name in sys.argv[2:]:
    dt = np.dtype({'i8':'i1','u8':'u1','i16':'<i2','i32':'<i4','f32':'<f4'}[name[1:].split('_')[0]])
    n = 3000 * (2 if name[0] == 'c' else 1) * (2 if name.endswith('2ch') else 1)
    if dt.kind == 'f':
        v = rng.uniform(-1.5, 1.5, n).astype(dt)
        e = np.trunc(np.clip(v.astype(np.float64) * 2147480000.0, -2147483648.0, 2147483647.0))
    else: # unsigned values centred on 0, then scaled to 32 bits
        v = rng.integers(np.iinfo(dt).min, np.iinfo(dt).max, n, endpoint=True).astype(dt)
        e = (v.astype(np.int64) - (128 if dt.kind == 'u' else 0)) * 2 ** (32 - 8 * dt.itemsize)
    open(folder + '/' + name + '.sigmf-data', 'wb').write(b'hdr' + v.tobytes() + b'trail')
    e.astype('<i4').tofile(folder + '/' + name + '.expect')
)";

} // namespace

TEST(SigmfSource, EveryTypeReadsAsNumpyDoes)
{
    TempFolder dir;
    const std::vector<std::pair<std::string, int>> types{
        {"ci8", 1}, {"cu8", 1}, {"ci16_le", 1}, {"ci32_le", 1}, {"cf32_le", 1},
        {"ri8", 1}, {"ru8", 2}, {"ri16_le", 2}, {"ri32_le", 1}, {"rf32_le", 2},
    };
    std::string names;
    for (const auto& [type, ch] : types)
        names += " " + type + (ch == 2 ? "_2ch" : "");
    const std::string cmd = "/usr/bin/python3 - " + dir.path.string() + names;
    FILE* py = popen(cmd.c_str(), "w");
    ASSERT_TRUE(py);
    std::fputs(kNumpy, py);
    ASSERT_EQ(pclose(py), 0);
    for (const auto& [type, ch] : types) {
        const std::string name = type + (ch == 2 ? "_2ch" : "");
        WriteText(dir / (name + ".sigmf-meta"),
                  Meta("\"core:datatype\":\"" + type + "\",\"core:sample_rate\":48000,\"core:num_channels\":" +
                           std::to_string(ch) + ",\"core:trailing_bytes\":5",
                       "[{\"core:sample_start\":0,\"core:header_bytes\":3}]"));
        std::ifstream in(dir / (name + ".expect"), std::ios::binary);
        std::vector<int32_t> expect(3000 * 4);
        in.read(reinterpret_cast<char*>(expect.data()), static_cast<std::streamsize>(expect.size() * 4));
        expect.resize(static_cast<size_t>(in.gcount()) / 4);
        const ReadBack got = ReadAll(dir / (name + ".sigmf-meta"));
        ASSERT_EQ(got.rc, WAVE_OK) << name << ": " << got.text;
        EXPECT_EQ(got.values.size(), size_t{3000} * static_cast<size_t>(type[0] == 'c' ? 2 : ch)) << name;
        EXPECT_EQ(got.values, expect) << name;
    }
}

TEST(SigmfSource, RefusalsNameTheFault)
{
    const std::string ok = "\"core:datatype\":\"ci16_le\",\"core:sample_rate\":48000";
    const std::string at = "[{\"core:sample_start\":0,\"core:datetime\":\"";
    struct Case {
        std::string meta;
        int dataBytes;
        const char* text;
    };
    const std::vector<Case> cases{
        {"{\"global\":", 40, "not a JSON object"},
        {Meta("\"core:sample_rate\":48000"), 40, "lacks core:datatype"},
        {Meta("\"core:datatype\":\"ci16_be\",\"core:sample_rate\":48000"), 40, "big-endian samples (\"ci16_be\")"},
        {Meta("\"core:datatype\":\"ri16_le\",\"core:num_channels\":3,\"core:sample_rate\":48000"), 42,
         "3 channels of \"ri16_le\""},
        {Meta("\"core:datatype\":\"ci16_le\",\"core:sample_rate\":0"), 40, "sample rate"},
        {Meta(ok, at + "2026-02-30T00:00:00Z\"}]"), 40, "does not parse"},
        {Meta(ok, at + "2026-01-01T00:00:00+01:00\"}]"), 40, "does not parse"},
        {Meta(ok, "[{\"core:sample_start\":5},{\"core:sample_start\":2}]"), 40, "not in sample order"},
        {Meta(ok, "[{\"core:sample_start\":-1}]"), 40, "non-negative whole number"},
        {Meta(ok), 41, "no whole number"},
        {Meta(ok), -1, "is missing"},
        {Meta(ok + ",\"core:dataset\":\"../x.sigmf-data\""), 40, "outside the metadata's folder"},
        {Meta(ok + ",\"core:dataset\":\"/etc/passwd\""), 40, "outside the metadata's folder"},
        {Meta(ok, "[]", "[{\"core:sample_count\":4}]"), 40, "lacks core:sample_start"},
        {"{\"pad\":\"" + std::string(sigmf::kMaxMetaBytes, 'x') + "\"}", 40, "larger than"},
    };
    int n = 0;
    for (const Case& c : cases) {
        TempFolder dir;
        const std::string base = dir / ("r" + std::to_string(++n));
        WriteText(base + ".sigmf-meta", c.meta);
        if (c.dataBytes >= 0)
            WriteText(base + ".sigmf-data", std::string(static_cast<size_t>(c.dataBytes), '\1'));
        const ReadBack got = ReadAll(base + ".sigmf-meta");
        EXPECT_EQ(got.rc, WAVE_ERR_DESCRIPTION) << n;
        EXPECT_NE(got.text.find(c.text), std::string::npos) << n << ": " << got.text;
    }
}

TEST(SigmfSource, AnnotationsBecomeSpansOfTheData)
{
    TempFolder dir;
    WriteText(dir / "a.sigmf-data", std::string(400, '\0')); // 100 ci16 samples
    const std::string annotations =
        "[{\"core:sample_start\":1010,\"core:sample_count\":20,\"core:label\":\"L\",\"core:comment\":\"C\","
        "\"core:freq_lower_edge\":1e6,\"core:freq_upper_edge\":2e6},"
        "{\"core:sample_start\":1050,\"core:comment\":\"only comment\"},"
        "{\"core:sample_start\":1090,\"core:sample_count\":20},"
        "{\"core:sample_start\":1000,\"core:sample_count\":5,\"core:freq_lower_edge\":3,\"core:freq_upper_edge\":2}]";
    WriteText(dir / "a.sigmf-meta",
              Meta("\"core:datatype\":\"ci16_le\",\"core:sample_rate\":48000,\"core:offset\":1000", "[]", annotations));
    sigmf::Recording r;
    std::string error;
    ASSERT_TRUE(sigmf::ReadRecording(dir / "a.sigmf-meta", r, error)) << error;
    ASSERT_EQ(r.annotations.size(), 2u);
    EXPECT_EQ(r.annotations[0].nFirstFrame, 10);
    EXPECT_EQ(r.annotations[0].nEndFrame, 30);
    EXPECT_EQ(r.annotations[0].label, "L");
    EXPECT_EQ(r.annotations[0].upperHz.value_or(0), 2e6);
    EXPECT_EQ(r.annotations[1].nEndFrame, 100);
    EXPECT_EQ(r.annotations[1].label, "only comment");
    EXPECT_EQ(r.warnings.size(), 2u);
}

TEST(SigmfSource, ArchiveMembersReadInPlaceAndHostileOnesAreRefused)
{
    TempFolder dir;
    WriteText(dir / "r.sigmf-data", std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8) + std::string(4088, '\x10'));
    WriteText(dir / "r.sigmf-meta", Meta("\"core:datatype\":\"ci16_le\",\"core:sample_rate\":48000"));
    // Archives built by Python's tarfile: a good one, then one fault each. The
    // short one ends inside its data member, whose 4096 bytes are still fewer
    // than the archive's: the index itself must find the member past the end.
    const std::string py = "cd " + dir.path.string() + R"( && /usr/bin/python3 -c "
import tarfile, io
def tar(name, members, cut=0):
    with tarfile.open(name, 'w', format=tarfile.USTAR_FORMAT) as t:
        for n, f, kind in members:
            i = t.gettarinfo(f, arcname=n)
            if kind == 'sym': i.type = tarfile.SYMTYPE; i.linkname = '/etc/passwd'; i.size = 0
            t.addfile(i, open(f, 'rb') if kind != 'sym' else None)
    if cut: open(name, 'r+b').truncate(cut)
good = [('r/r.sigmf-meta', 'r.sigmf-meta', ''), ('r/r.sigmf-data', 'r.sigmf-data', '')]
tar('good.sigmf', good)
tar('climb.sigmf', [('../../x.sigmf-meta', 'r.sigmf-meta', '')] + good)
tar('link.sigmf', good[:1] + [('r/r.sigmf-data', 'r.sigmf-data', 'sym')])
tar('short.sigmf', good, cut=5000)
")";
    ASSERT_EQ(std::system(py.c_str()), 0);
    const ReadBack plain = ReadAll(dir / "r.sigmf-meta"), packed = ReadAll(dir / "good.sigmf");
    ASSERT_EQ(plain.rc, WAVE_OK) << plain.text;
    ASSERT_EQ(packed.rc, WAVE_OK) << packed.text;
    EXPECT_EQ(packed.values, plain.values);
    for (const auto& [name, why] :
         std::vector<std::pair<std::string, std::string>>{{"climb.sigmf", "leads outside the archive"},
                                                          {"link.sigmf", "is a link"},
                                                          {"short.sigmf", "past the archive's end"}}) {
        const ReadBack got = ReadAll(dir / name);
        EXPECT_EQ(got.rc, WAVE_ERR_DESCRIPTION) << name;
        EXPECT_NE(got.text.find(why), std::string::npos) << name << ": " << got.text;
    }
}
