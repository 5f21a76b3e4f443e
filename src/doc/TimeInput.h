// Positions as the user types them (the window's fields, tavirel-cli's
// options), turned into seconds from a recording's start: seconds with
// decimals, the recording's time of day, or a date and time.
#pragma once

#include <string>

#include "platform/SystemTime.h"

// What a typed position came to.
struct TimeInput {
    bool bOk = false;
    // Seconds from the recording's start. Not checked against the
    // recording's length: a date before the start gives a negative value.
    double dSeconds = 0.0;
    bool bWallClock = false; // typed as a time of day or a date and time
    // Why the text was refused: one sentence naming the text.
    std::string strError;
};

// Parses one of these forms for a recording that starts at stStart
// (universal time, with milliseconds; HasRecordingTime false when it has
// none):
//   176.25                    seconds from the start, 0 or more
//   09:07:56.25               a time of day of the recording's clock (hours
//                             and minutes at least): the first instant at or
//                             after the start that shows it, so a recording
//                             that runs past midnight reaches the next day's
//   2026-06-21T09:07:56.25Z   a date and time: universal time with "Z" or
//                             none, or local to an offset such as "+02:00";
//                             a space may stand for the "T"
// Any number of decimals is taken. Without a recording time the wall-clock
// forms are refused, with a message saying to give seconds.
TimeInput ParseTimeInput(const std::string& text, const SYSTEMTIME& stStart);
