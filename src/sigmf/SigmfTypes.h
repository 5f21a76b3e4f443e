// The SigMF sample types the program reads and writes, and the codec of the
// block reader each one maps to.
#pragma once

#include <string>
#include <string_view>

#include "wave/SampleFormats.h"

namespace sigmf {

// The metadata version the program writes.
inline constexpr const char* kVersion = "1.2.5";

struct DataType {
    const char* name;     // the core:datatype text, e.g. "ci16_le"
    samples::Codec codec; // how one value is stored
    bool complex;         // "c": each sample is an I/Q pair, shown as two channels
};

// The type a core:datatype text names; nullptr when the program does not
// read it, with *pWhy (if given) saying why in words that name the type.
const DataType* FindDataType(std::string_view name, std::string* pWhy = nullptr);

// The type that holds values of codec losslessly: 24-bit widens to 32-bit;
// nullptr for Codec::None.
const DataType* TypeFor(samples::Codec codec, bool complex);

// Values per sample of a type with nChannels channels (a complex sample is two).
inline int ValuesPerSample(const DataType& t, int nChannels)
{
    return t.complex ? 2 * nChannels : nChannels;
}

} // namespace sigmf
