// Typed positions: seconds, the recording's time of day and dates, against
// offsets worked out by hand.
#include <gtest/gtest.h>

#include "doc/TimeInput.h"

namespace {

const SYSTEMTIME kMorning{2026, 6, 0, 21, 9, 5, 0, 0};       // 09:05:00.000
const SYSTEMTIME kMidnight{2026, 6, 0, 21, 23, 59, 30, 500}; // 23:59:30.500, runs past midnight
const SYSTEMTIME kNoTime{};

} // namespace

TEST(TimeInput, AcceptedForms)
{
    const struct {
        SYSTEMTIME start;
        const char* text;
        double seconds;
        bool wallClock;
        const char* proves;
    } rows[] = {
        {kMorning, "176.25", 176.25, false, "seconds with decimals"},
        {kNoTime, " 42 ", 42.0, false, "whole seconds, blanks around, no recording time needed"},
        {kMorning, "09:07:56.25", 176.25, true, "a time of day"},
        {kMorning, "9:07:56.2500005", 176.2500005, true, "one-digit hour, sub-microsecond decimals kept"},
        {kMorning, "09:05", 0.0, true, "hours and minutes at the very start"},
        {kMidnight, "23:59:31", 0.5, true, "the start's milliseconds count"},
        {kMidnight, "00:00:10", 39.5, true, "past midnight: the next day's time"},
        {kMorning, "2026-06-21T09:07:56.25Z", 176.25, true, "a universal date and time"},
        {kMorning, "2026-06-21 11:07:56.25+02:00", 176.25, true, "an offset, a space for the T"},
        {kMidnight, "2026-06-22t00:00:10", 39.5, true, "the next day's date, no zone"},
        {kMorning, "2026-06-21T09:04:00Z", -60.0, true, "a date before the start is negative (the caller refuses it)"},
    };
    for (const auto& r : rows) {
        const TimeInput t = ParseTimeInput(r.text, r.start);
        ASSERT_TRUE(t.bOk) << r.proves << ": " << t.strError;
        EXPECT_NEAR(t.dSeconds, r.seconds, 1e-7) << r.proves;
        EXPECT_EQ(t.bWallClock, r.wallClock) << r.proves;
    }
}

TEST(TimeInput, RefusedWithAReason)
{
    const std::string longText(100, '1');
    const struct {
        SYSTEMTIME start;
        const char* text;
        const char* says;
    } rows[] = {
        {kNoTime, "09:07:56.25", "no recording time"},
        {kMorning, "", "no position"},
        {kMorning, "abc", "is not a position"},
        {kMorning, "1.2.3", "is not a position"},
        {kMorning, "25:00:00", "not a valid time of day"},
        {kMorning, "09:60:00", "not a valid time of day"},
        {kMorning, "09:07:56.", "is not a time of day"},
        {kMorning, "09:7:56", "is not a time of day"},
        {kMorning, "2026-02-30T00:00:00Z", "not a valid date"},
        {kMorning, "2026-06-21T09:07:56+2", "is not a date and time"},
        {kMorning, "2026-06-21T09:07:56Zulu", "is not a date and time"},
        {kMorning, longText.c_str(), "too long"},
    };
    for (const auto& r : rows) {
        const TimeInput t = ParseTimeInput(r.text, r.start);
        EXPECT_FALSE(t.bOk) << r.text;
        EXPECT_NE(t.strError.find(r.says), std::string::npos) << r.text << ": " << t.strError;
    }
}
