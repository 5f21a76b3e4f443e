// Segment lists as CSV: every row taken or refused with its line named, the
// file's forms, a round trip that keeps every frame and the largest file.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

#include "doc/SegmentCsv.h"

namespace {

// A source of 380 s at 2 MS/s.
constexpr int64_t kFrames = 760000000;
const CTimeBase kTwoMega(2000000, 1);
const SegmentClock kClock = ClockOf(kTwoMega);

QByteArray WithHeader(const QString& row)
{
    return QByteArray(kSegmentCsvHeader) + '\n' + row.toUtf8() + '\n';
}

} // namespace

TEST(SegmentCsv, EachRowTakenOrRefusedNamingItsLine)
{
    const struct {
        QString row;
        std::optional<CSegment> taken;
        const char* says; // in the problem line of a refused or cleaned row
    } rows[] = {
        {"176.25,176.45,Burst A,,", CSegment{352500000, 352900000, "Burst A", {}}, nullptr},
        {"189.3,189.5,\"Burst, strong\",7095000,7100000.5",
         CSegment{378600000, 379000000, "Burst, strong", SegmentBand{7095000, 7100000.5}}, nullptr},
        {"1, 2 ,\"say \"\"hi\"\"\" ,,", CSegment{2000000, 4000000, "say \"hi\"", {}}, nullptr},
        {"0,380", CSegment{0, kFrames, "", {}}, nullptr},
        {"0.0000004,0.0000006", {}, "holds no frames"},
        {"abc,2,x,,", {}, "from_s \"abc\" is not a number"},
        {"nan,2", {}, "is not a number"},
        {"1,,x", {}, "to_s is missing"},
        {"5,2,x", {}, "from_s 5 comes after to_s 2"},
        {"-1,2", {}, "outside the recording (0 to 380.000 s)"},
        {"379,380.0000005", {}, "to_s 380.0000005 lies outside"},
        {"1e300,2", {}, "outside the recording"},
        {"1,2,x,100,", {}, "a band needs both"},
        {"1,2,Burst,strong,5,", {}, "must be numbers of Hz"},
        {"1,2,a,1,2,extra", {}, "more columns"},
        {"1,2,\"open", {}, "not closed"},
        {"1,2,\"a\"b", {}, "text follows a closing double quote"},
        {QString::fromUtf8("1,2,a\x01"
                           "b\tc"),
         CSegment{2000000, 4000000, "ab c", {}}, "control characters"},
        {"1,2," + QString(10000, 'L'), CSegment{2000000, 4000000, QString(256, 'L'), {}}, "cut to 256"},
    };
    for (const auto& r : rows) {
        const SegmentCsvRead read = ParseSegmentsCsv(WithHeader(r.row), kClock, kFrames);
        const std::string name = r.row.left(60).toStdString();
        ASSERT_TRUE(read.bRead) << name;
        if (r.taken) {
            ASSERT_EQ(read.segments.size(), 1u) << name << ": " << read.problems.join('|').toStdString();
            EXPECT_EQ(read.segments[0], *r.taken) << name;
        } else {
            EXPECT_TRUE(read.segments.empty()) << name;
        }
        if (r.says) {
            ASSERT_EQ(read.problems.size(), 1) << name;
            EXPECT_TRUE(read.problems[0].startsWith("Line 2: ")) << read.problems[0].toStdString();
            EXPECT_TRUE(read.problems[0].contains(r.says)) << name << ": " << read.problems[0].toStdString();
        } else {
            EXPECT_TRUE(read.problems.isEmpty()) << name << ": " << read.problems.join('|').toStdString();
        }
    }
}

TEST(SegmentCsv, FileForms)
{
    const struct {
        QByteArray text;
        bool read;
        std::vector<int64_t> firstFrames;
        const char* says; // in the error or the first problem
        const char* proves;
    } rows[] = {
        {"1,2,a\n3,4,b\n", true, {2000000, 6000000}, nullptr, "no header: the columns in their order"},
        {"\xEF\xBB\xBF# made by hand\r\n\r\nlabel, TO_S ,from_s,notes\r\nx,4,3,seen\r\n",
         true,
         {6000000},
         nullptr,
         "BOM, CRLF, comments, another order, an unknown column"},
        {"from_s,to_s\n# a comment\n\n1,2,x\n", true, {}, "Line 4: ", "lines are counted as in the file"},
        {"start,end,label\n1,2,x\n", false, {}, "Line 1 is neither a header", "a header without from_s and to_s"},
        {"", true, {}, nullptr, "an empty file has no segments"},
        {QByteArray("from_s,to_s\n1,2\n\0\x1b[2J\xff,3\n", 25),
         true,
         {2000000},
         "Line 3: ",
         "binary junk and terminal escapes are refused, and not echoed"},
    };
    for (const auto& r : rows) {
        const SegmentCsvRead read = ParseSegmentsCsv(r.text, kClock, kFrames);
        EXPECT_EQ(read.bRead, r.read) << r.proves;
        std::vector<int64_t> firsts;
        for (const CSegment& s : read.segments)
            firsts.push_back(s.nFirstFrame);
        EXPECT_EQ(firsts, r.firstFrames) << r.proves;
        const QString said = read.bRead ? read.problems.value(0) : read.strError;
        EXPECT_EQ(said.isEmpty(), r.says == nullptr) << r.proves << ": " << said.toStdString();
        if (r.says) {
            EXPECT_TRUE(said.contains(r.says)) << r.proves << ": " << said.toStdString();
        }
        EXPECT_FALSE(said.contains(QChar(0x1b)) || said.contains(QChar(0))) << r.proves;
    }
}

// Written and read again, every segment comes back to the frame, at rates
// whose frames are not whole microseconds.
TEST(SegmentCsv, RoundTripKeepsEveryFrame)
{
    QTemporaryDir dir;
    for (const int64_t rate : {2000000, 44100, 100000000}) {
        const CTimeBase timeBase(rate, 1);
        const SegmentClock clock = ClockOf(timeBase);
        const int64_t frames = rate * 3600;
        CSegmentList list(frames);
        const QString labels[] = {"plain", "with, comma", "a \"quoted\" word", " padded ",
                                  QString::fromUtf8("\xC3\xA4")};
        for (int i = 0; i < 5; ++i)
            list.Add(CSegment{frames / 7 * i + 1, frames / 7 * i + 12345 + i, labels[i],
                              i % 2 ? std::optional(SegmentBand{-1e3 * i, 0.1 + i}) : std::nullopt});
        const QString path = dir.filePath("list.csv");
        QString error;
        ASSERT_TRUE(WriteSegmentsCsv(path, list, clock, &error)) << error.toStdString();
        const SegmentCsvRead read = ReadSegmentsCsv(path, clock, frames);
        ASSERT_TRUE(read.bRead && read.problems.isEmpty()) << read.Summary("list.csv").toStdString();
        EXPECT_EQ(read.segments, list.Segments()) << rate;
    }
}

// 100 000 rows are all taken; the row after them, and a file full of bad
// rows, give a short report rather than one line per row.
TEST(SegmentCsv, LargestFiles)
{
    QByteArray good = QByteArray(kSegmentCsvHeader) + '\n';
    QByteArray bad = good;
    for (int i = 0; i <= CSegmentList::kMaxSegments; ++i) {
        good += QByteArray::number(i * 0.003, 'f', 3) + ',' + QByteArray::number(i * 0.003 + 0.002, 'f', 3) + ",x\n";
        bad += "zz,1\n";
    }
    const SegmentCsvRead read = ParseSegmentsCsv(good, kClock, kFrames);
    EXPECT_EQ(read.segments.size(), static_cast<size_t>(CSegmentList::kMaxSegments));
    EXPECT_EQ(read.nRefused, 1);
    ASSERT_EQ(read.problems.size(), 1);
    EXPECT_TRUE(read.problems[0].startsWith("Line 100002 and the lines after it")) << read.problems[0].toStdString();

    const SegmentCsvRead junk = ParseSegmentsCsv(bad, kClock, kFrames);
    EXPECT_EQ(junk.nRefused, CSegmentList::kMaxSegments + 1);
    ASSERT_EQ(junk.problems.size(), kMaxListedProblems + 1);
    EXPECT_TRUE(junk.problems.back().contains("and 99951 more lines")) << junk.problems.back().toStdString();
    EXPECT_TRUE(junk.Summary("junk.csv").startsWith("0 segments read from junk.csv; 100001 lines refused:"));
}
