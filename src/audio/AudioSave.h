// Saving what the player plays: a span of the document's source as the
// listener hears it, written as a one-channel 16-bit wave file at a chosen
// rate under the destination's next numbered name (as segments are: written
// whole or not at all, no file ever replaced), with the span's own times in
// its "auxi" record and the source's other values kept. `tavirel-cli audio`
// runs it.
#pragma once

#include <cstdint>
#include <string>

#include "audio/PlaySource.h"

class CTavirelDoc;

struct AudioSaveResult {
    std::string strPath;    // the file written
    int64_t nFrames = 0;    // its frames
    std::string strMessage; // after a failure, one sentence for the user; empty on success
    bool bRefused = false;  // the failure: the choice does not fit the source (nothing was opened)
};

// The audio of choice (its frames of doc's source) at nRateHz into doc.m_strDestPath.
AudioSaveResult SaveAudio(CTavirelDoc& doc, const PlayChoice& choice, int nRateHz);
