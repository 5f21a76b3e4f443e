#include "sigmf/SigmfTypes.h"

#include <array>

namespace sigmf {
namespace {

using samples::Codec;

constexpr std::array<DataType, 10> kTypes{{
    {"ci8", Codec::S8, true},
    {"cu8", Codec::U8, true},
    {"ci16_le", Codec::S16, true},
    {"ci32_le", Codec::S32, true},
    {"cf32_le", Codec::F32, true},
    {"ri8", Codec::S8, false},
    {"ru8", Codec::U8, false},
    {"ri16_le", Codec::S16, false},
    {"ri32_le", Codec::S32, false},
    {"rf32_le", Codec::F32, false},
}};

// One-byte types carry no byte order; the grammar still allows the suffix.
std::string_view WithoutByteOrderOfOneByte(std::string_view name)
{
    const bool oneByte = name.size() == 6 && (name.substr(1, 2) == "i8" || name.substr(1, 2) == "u8");
    return oneByte && name.substr(3) == "_le" ? name.substr(0, 3) : name;
}

// Whether name is a type the SigMF grammar allows: (c|r)(f32|f64|i32|i16|u32|u16|i8|u8)(_le|_be)?
bool InGrammar(std::string_view name)
{
    if (name.empty() || (name[0] != 'c' && name[0] != 'r'))
        return false;
    std::string_view rest = name.substr(1);
    if (rest.ends_with("_le") || rest.ends_with("_be"))
        rest.remove_suffix(3);
    for (const char* body : {"f32", "f64", "i32", "i16", "u32", "u16", "i8", "u8"})
        if (rest == body)
            return true;
    return false;
}

} // namespace

const DataType* FindDataType(std::string_view name, std::string* pWhy)
{
    const std::string_view key = WithoutByteOrderOfOneByte(name);
    for (const DataType& t : kTypes)
        if (key == t.name)
            return &t;
    if (pWhy) {
        const std::string n(name);
        if (!InGrammar(name))
            *pWhy = "\"" + n + "\" is not a SigMF data type";
        else if (name.ends_with("_be") && key == name)
            *pWhy = "big-endian samples (\"" + n + "\") are not supported";
        else
            *pWhy = "samples of type \"" + n + "\" are not supported (64-bit and unsigned 16/32-bit types are not read)";
    }
    return nullptr;
}

const DataType* TypeFor(samples::Codec codec, bool complex)
{
    const Codec stored = codec == Codec::S24 ? Codec::S32 : codec;
    for (const DataType& t : kTypes)
        if (t.codec == stored && t.complex == complex)
            return &t;
    return nullptr;
}

} // namespace sigmf
