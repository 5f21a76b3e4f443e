// A SigMF recording (a .sigmf-meta with its .sigmf-data, or the data with its
// meta beside it) as the raw layout the block reader reads, plus its annotations.
#pragma once

#include <string>
#include <vector>

#include "sigmf/SigmfMeta.h"
#include "wave/RawLayout.h"

namespace sigmf {

// An annotation in frames of the data (counted from its first sample).
struct Span {
    int64_t nFirstFrame = 0;
    int64_t nEndFrame = 0;
    std::optional<double> lowerHz, upperHz;
    std::string label;
};

struct Recording {
    RawLayout layout;
    std::vector<Span> annotations;
    std::vector<std::string> warnings; // items skipped, one sentence each
};

// Whether path names a SigMF file by its extension.
bool IsSigmfPath(const std::string& path);

// Reads the recording path names; false with error (in words) when it is refused.
// The last result is kept by path and modification time, so repeated opens parse once.
bool ReadRecording(const std::string& path, Recording& out, std::string& error);

// Registers SigMF with CRiffWaveFile::Open; the program's mains call it once.
void InstallSourceResolver();

} // namespace sigmf
