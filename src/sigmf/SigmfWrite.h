// SigMF metadata the program writes: a description of a recording (its
// sample type, rate, start, centre and annotations) turned into the JSON text
// of a .sigmf-meta, the description of an existing wave file read in place
// (a non-conforming dataset: the wave's header and anything after its data
// are skipped by header and trailing bytes), and the meta's atomic,
// never-replacing write.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>

#include "platform/SystemTime.h"
#include "sigmf/SigmfTypes.h"

namespace sigmf {

// The suffix of a metadata file.
inline constexpr const char* kMetaSuffix = ".sigmf-meta";

struct MetaAnnotation {
    int64_t nSampleStart = 0;
    int64_t nSampleCount = 0;
    std::optional<double> dLowHz; // the edges, both or neither, in Hz
    std::optional<double> dHighHz;
    std::string strLabel; // UTF-8; none when empty
};

struct MetaDescription {
    const DataType* pType = nullptr;
    double dSampleRate = 0.0;
    // A non-conforming dataset: the data file's name (no folder); empty for a
    // conforming .sigmf-data beside the meta.
    std::string strDataset;
    int64_t nHeaderBytes = 0;   // bytes before the first sample (the capture's)
    int64_t nTrailingBytes = 0; // bytes after the last one
    std::optional<double> dCentreHz;
    std::optional<SYSTEMTIME> start; // universal time of the first sample
    std::vector<MetaAnnotation> annotations;
};

// "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string DateTimeText(const SYSTEMTIME& st);

// The meta's JSON text (indented, keys in order, ending in a line break).
QByteArray MetaText(const MetaDescription& d);

// The meta path beside a data file: its name with the last suffix (if any)
// replaced by ".sigmf-meta".
std::string MetaPathBeside(const std::string& dataPath);

// Describes the wave file at path as a non-conforming dataset: its type,
// rate, the data chunk's offset and the bytes after it, its centre frequency
// (when its "auxi" or "rcvr" has one) and start (when it has a recording
// time). False with *pWhy set when the file cannot be read or its samples
// have no SigMF type (24-bit).
bool DescribeWave(const std::string& path, MetaDescription* pDesc, std::string* pWhy);

// Writes bytes as a new file at path: a temporary in its folder, named only
// when complete and on disk, never replacing a file. Empty on success, else
// the reason in words (a taken name: "... already exists").
std::string WriteNewFile(const std::string& path, const QByteArray& bytes);

// DescribeWave, the annotations added, and WriteNewFile beside the wave.
// Empty on success, else one sentence saying why no meta was written.
std::string WriteMetaBesideWave(const std::string& wavePath, const std::vector<MetaAnnotation>& annotations,
                                std::string* pMetaPath = nullptr);

} // namespace sigmf
