#include <gtest/gtest.h>

#include <utility>

#include "sigmf/SigmfTypes.h"

using samples::Codec;

// Every supported type reads as numpy reads it (SigmfSource); here the
// spellings that map or are refused by name.
TEST(SigmfTypes, NamesMapToCodecsAndRefusalsNameTheType)
{
    struct Row {
        const char* name;
        Codec codec; // None: refused
        bool complex;
        const char* why;
    };
    const Row rows[] = {
        {"cu8_le", Codec::U8, true, ""},
        {"ru16_le", Codec::None, false, "\"ru16_le\" are not supported"},
        {"xi16_le", Codec::None, false, "\"xi16_le\" is not a SigMF data type"},
        {"ci24_le", Codec::None, false, "is not a SigMF data type"},
    };
    for (const Row& r : rows) {
        std::string why;
        const sigmf::DataType* t = sigmf::FindDataType(r.name, &why);
        EXPECT_EQ(t ? std::pair(t->codec, t->complex) : std::pair(Codec::None, false), std::pair(r.codec, r.complex))
            << r.name;
        EXPECT_NE(why.find(r.why), std::string::npos) << r.name << ": " << why;
    }
}
