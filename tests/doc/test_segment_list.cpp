// The segment list: time order, default labels, refusals, label cleaning and
// a list of the largest size.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "doc/SegmentList.h"

namespace {

CSegment Span(int64_t first, int64_t end, const QString& label = QString())
{
    return CSegment{first, end, label, std::nullopt};
}

std::vector<QString> Labels(const CSegmentList& list)
{
    std::vector<QString> out;
    for (const CSegment& s : list.Segments())
        out.push_back(s.strLabel);
    return out;
}

} // namespace

// Rows stand in time order whatever the order of adding; default labels
// count on past removed ones; a rename keeps the row's place.
TEST(SegmentList, TimeOrderDefaultLabelsAndRenames)
{
    CSegmentList list(1000);
    EXPECT_EQ(list.Add(Span(500, 600)), 0);
    EXPECT_EQ(list.Add(Span(100, 200)), 0);
    EXPECT_EQ(list.Add(Span(100, 150, "short")), 0); // same start, earlier end first
    EXPECT_EQ(list.Add(Span(100, 200, "twin")), 2);  // same span: after the one already there
    EXPECT_EQ(Labels(list), (std::vector<QString>{"short", "Segment 2", "twin", "Segment 1"}));

    EXPECT_EQ(list.RemoveRows({3, 1, 3, 99, -1}), 2);
    EXPECT_EQ(list.Add(Span(0, 10)), 0);
    EXPECT_EQ(list.At(0).strLabel, "Segment 3") << "a removed segment's number is not given again";
    ASSERT_TRUE(list.Rename(2, "Segment 40"));
    EXPECT_EQ(list.NextDefaultLabel(), "Segment 41") << "a typed default-style label moves the count on";
    ASSERT_TRUE(list.Rename(0, " \t "));
    EXPECT_EQ(list.At(0).strLabel, "Segment 41") << "an empty label becomes the next default one";
    EXPECT_FALSE(list.Rename(3, "x"));
    EXPECT_EQ(Labels(list), (std::vector<QString>{"Segment 41", "short", "Segment 40"}));
}

TEST(SegmentList, UnsoundSegmentsAreRefused)
{
    const struct {
        CSegment s;
        const char* says;
    } rows[] = {
        {Span(-1, 10), "starts before the recording"},
        {Span(1000, 1001), "starts at or past the end"},
        {Span(990, 1001), "ends past the end"},
        {Span(20, 10), "ends before it starts"},
        {Span(10, 10), "holds no frames"},
        {CSegment{0, 10, "b", SegmentBand{100.0, 100.0}}, "lower edge"},
        {CSegment{0, 10, "b", SegmentBand{0.0, std::nan("")}}, "lower edge"},
    };
    CSegmentList list(1000);
    for (const auto& r : rows) {
        QString why;
        EXPECT_EQ(list.Add(r.s, &why), -1) << r.says;
        EXPECT_TRUE(why.contains(r.says)) << r.says << ": " << why.toStdString();
    }
    EXPECT_TRUE(list.IsEmpty());
    QString why;
    EXPECT_EQ(list.Add(CSegment{0, 1000, "whole", SegmentBand{-5000.0, 5000.0}}, &why), 0) << "an I/Q band below 0 Hz";
    EXPECT_TRUE(why.isEmpty());
}

TEST(SegmentList, LabelsAreCleaned)
{
    const QString pairAtCut = QString(255, 'y') + QString::fromUtf8("\xF0\x9F\x93\xA1"); // U+1F4E1 across the limit
    const struct {
        QString raw;
        QString kept;
        bool controls, shortened;
        const char* proves;
    } rows[] = {
        {"  Burst A ", "Burst A", false, false, "blanks around go quietly"},
        {"Burst\tA\nB", "Burst A B", true, false, "tabs and line breaks become spaces"},
        {QString::fromUtf8("a\x01\x1b[31mb\xC2\x9F"), "a[31mb", true, false, "C0 and C1 controls go"},
        {QString::fromUtf8("ev\xE2\x80\xAEil"), "evil", true, false, "a direction override goes"},
        {QString::fromUtf8("Funk \xC3\xA4 \xF0\x9F\x93\xA1"), QString::fromUtf8("Funk \xC3\xA4 \xF0\x9F\x93\xA1"),
         false, false, "letters and symbols of any script stay"},
        {QString(300, 'x'), QString(256, 'x'), false, true, "a long label is cut to 256"},
        {pairAtCut, QString(255, 'y'), false, true, "a surrogate pair is never split"},
        {QString(10000, 'z') + QChar(7), QString(256, 'z'), true, true, "10 000 characters and a bell"},
    };
    for (const auto& r : rows) {
        const CleanedLabel c = CSegmentList::CleanLabel(r.raw);
        EXPECT_EQ(c.strText, r.kept) << r.proves;
        EXPECT_EQ(c.bHadControls, r.controls) << r.proves;
        EXPECT_EQ(c.bShortened, r.shortened) << r.proves;
        EXPECT_EQ(CSegmentList::CleanedNote(c).isEmpty(), !r.controls && !r.shortened) << r.proves;
    }
}

// The largest list: added in random order in one go, it is sorted; one more
// is refused.
TEST(SegmentList, HundredThousandRows)
{
    const int n = CSegmentList::kMaxSegments;
    std::vector<CSegment> all;
    for (int i = 0; i < n + 1; ++i)
        all.push_back(Span(int64_t{i} * 100, int64_t{i} * 100 + 50));
    std::shuffle(all.begin(), all.end() - 1, std::mt19937(7));
    CSegmentList list(int64_t{n + 1} * 100);
    QStringList problems;
    EXPECT_EQ(list.AddAll(all, &problems), n);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains("full")) << problems[0].toStdString();
    EXPECT_TRUE(std::is_sorted(list.Segments().begin(), list.Segments().end(),
                               [](const CSegment& a, const CSegment& b) { return a.nFirstFrame < b.nFirstFrame; }));
    EXPECT_EQ(list.Add(Span(0, 1)), -1);
}
