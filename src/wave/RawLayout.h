// Sources that are not RIFF files: a headerless run of samples in some file,
// described elsewhere (a SigMF meta, say). A resolver registered by a higher
// layer turns such a path into this layout; CRiffWaveFile::Open then reads
// the samples with the same block reader and time base as wave data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "wave/RiffWaveFile.h"
#include "wave/SampleFormats.h"

struct RawLayout {
    std::string samplesPath; // the file holding the samples
    int64_t lOffset = 0;     // byte offset of the first sample in it
    int64_t lBytes = 0;      // sample bytes from there on (whole frames)
    samples::Codec codec = samples::Codec::None;
    int nChannels = 0;        // values per frame
    uint32_t nSampleRate = 0; // frames per second
    // Start time (stop time equal to it), centre frequency; a start year of 0: no time.
    AUXIINFO auxi;
};

// Given a path Open was asked for: false when it is not the resolver's kind
// of source (Open reads it as RIFF); true when it is, with layout filled, or
// with error saying in words why the source is refused.
using SourceResolver = std::function<bool(const std::string& path, RawLayout& layout, std::string& error)>;

// Registers the resolver every CRiffWaveFile::Open(path, ...) consults first;
// an empty function removes it. Called once at start-up, before any Open.
void SetSourceResolver(SourceResolver fn);
// The registered resolver (empty when none).
const SourceResolver& CurrentSourceResolver();
