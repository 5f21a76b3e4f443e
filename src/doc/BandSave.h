// The band save: a band of the source between two frames, mixed down,
// filtered and decimated into a new numbered two-channel (I/Q) wave file at
// rate / D, whose "auxi" record carries the span's own start and stop time,
// the band's middle as its centre frequency and the band's width. The window
// and `tavirel-cli extract` both run this code; it is written and named as
// segments are (a temporary file named only when complete, the next free
// number, RF64 past 4 GiB), so a failure, a kill or a cancel leaves no file.
#pragma once

#include <cstdint>
#include <string>

#include "band/BandPlan.h"
#include "doc/SegmentSave.h"

class CTavirelDoc;

// The sample depth of a band file: the source's, or one chosen.
enum class BandBits { Source, Int16, Int24, Int32, Float };

// The source's spectrum: rate, channels and (for I/Q) the centre frequency.
band::SourceSpectrum DocSpectrum(const CTavirelDoc& doc);

// The user's words for why a band cannot be planned as asked (nDecimation
// as asked, 0 for the default).
std::string BandFaultMessage(band::BandFault fault, const band::SourceSpectrum& source, double dLowHz, double dHighHz,
                             int nDecimation);

struct BandSaveResult : SegmentSaveResult {
    int64_t nFrames = 0;   // output frames written
    uint64_t nClipped = 0; // samples beyond the output depth's full scale, clipped
};

// How the save runs: workers (0: one per core) and frames read at a time.
// Neither changes a bit of the output.
struct BandSaveOptions {
    BandBits bits = BandBits::Source;
    int nWorkers = 0;
    int64_t nBlockFrames = int64_t{1} << 16;
};

// Saves plan's band of doc's source from frame nFromFrame to nToFrame (of
// the data): floor((To - From) / D) frames, output k standing at frame
// From + k D; frames on either side feed the filters where the source has
// them. Reports progress and takes a cancel as SaveSegment does. A span of no
// output frames opens nothing.
BandSaveResult SaveBand(CTavirelDoc& doc, const band::BandPlan& plan, int64_t nFromFrame, int64_t nToFrame,
                        const BandSaveOptions& options, const SegmentProgress& progress = {});
