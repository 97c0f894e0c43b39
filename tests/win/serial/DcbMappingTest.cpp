#include "serial/DcbMapping.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>

#include "serial/LineSettings.h"

namespace {

std::uint32_t FlagWord(const DCB& dcb) {
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&dcb) + 8, sizeof word);
    return word;
}

// The record as the port receives it for the update's settings, byte by byte.
TEST(DcbMapping, UpdateSettingsGiveTheExactRecord) {
    const DCB dcb = ToDcb(ComposeLineSettings(38400, 'N', 8, 1));
    const unsigned char expected[28] = {
        0x1C, 0x00, 0x00, 0x00,        // DCBlength 28
        0x00, 0x96, 0x00, 0x00,        // BaudRate 38400
        0x93, 0x10, 0x00, 0x00,        // fBinary, fParity, DTR enable, fTXContinueOnXoff, RTS enable
        0x00, 0x00,                    // wReserved
        0x64, 0x00, 0x64, 0x00,        // XonLim, XoffLim 100
        0x08, 0x00, 0x00,              // 8 data bits, no parity, one stop bit
        0x11, 0x13, 0xFF, 0x0D, 0xFF,  // XonChar, XoffChar, ErrorChar, EofChar, EvtChar
        0x00, 0x00,                    // wReserved1
    };
    ASSERT_EQ(sizeof dcb, sizeof expected);
    EXPECT_EQ(std::memcmp(&dcb, expected, sizeof expected), 0);
}

TEST(DcbMapping, EmptySettingsGiveAZeroedRecord) {
    const DCB dcb = ToDcb(LineSettings{});
    const unsigned char zeros[28] = {};
    EXPECT_EQ(std::memcmp(&dcb, zeros, sizeof zeros), 0);
}

// Each flag lands on its own bits of the flag word and on no other.
struct FlagCase {
    const char* behaviour;
    std::uint32_t LineSettings::*field;
    std::uint32_t value;
    std::uint32_t word;
};

std::ostream& operator<<(std::ostream& out, const FlagCase& c) { return out << c.behaviour; }

class DcbFlagBits : public testing::TestWithParam<FlagCase> {};

TEST_P(DcbFlagBits, LandsOnItsOwnBits) {
    LineSettings settings;
    settings.*GetParam().field = GetParam().value;
    EXPECT_EQ(FlagWord(ToDcb(settings)), GetParam().word);
}

const FlagCase kFlagCases[] = {
    {"Binary", &LineSettings::fBinary, 1, 0x00000001},
    {"Parity", &LineSettings::fParity, 1, 0x00000002},
    {"OutxCtsFlow", &LineSettings::fOutxCtsFlow, 1, 0x00000004},
    {"OutxDsrFlow", &LineSettings::fOutxDsrFlow, 1, 0x00000008},
    {"DtrControlEnable", &LineSettings::fDtrControl, 1, 0x00000010},
    {"DtrControlHandshake", &LineSettings::fDtrControl, 2, 0x00000020},
    {"DsrSensitivity", &LineSettings::fDsrSensitivity, 1, 0x00000040},
    {"TXContinueOnXoff", &LineSettings::fTXContinueOnXoff, 1, 0x00000080},
    {"OutX", &LineSettings::fOutX, 1, 0x00000100},
    {"InX", &LineSettings::fInX, 1, 0x00000200},
    {"ErrorCharFlag", &LineSettings::fErrorChar, 1, 0x00000400},
    {"Null", &LineSettings::fNull, 1, 0x00000800},
    {"RtsControlEnable", &LineSettings::fRtsControl, 1, 0x00001000},
    {"RtsControlHandshake", &LineSettings::fRtsControl, 2, 0x00002000},
    {"AbortOnError", &LineSettings::fAbortOnError, 1, 0x00004000},
    {"Dummy2", &LineSettings::fDummy2, 0x1FFFF, 0xFFFF8000},
};

INSTANTIATE_TEST_SUITE_P(Table, DcbFlagBits, testing::ValuesIn(kFlagCases),
                         [](const testing::TestParamInfo<FlagCase>& info) { return info.param.behaviour; });

// Every field outside the flag word, each with a value of its own, so a swap shows.
TEST(DcbMapping, CopiesEveryOtherField) {
    LineSettings s;
    s.DCBlength = 0x01020304;
    s.BaudRate = 0x05060708;
    s.wReserved = 0x1112;
    s.XonLim = 0x1314;
    s.XoffLim = 0x1516;
    s.ByteSize = 0x21;
    s.Parity = 0x22;
    s.StopBits = 0x23;
    s.XonChar = 0x31;
    s.XoffChar = 0x32;
    s.ErrorChar = 0xF3;
    s.EofChar = 0x34;
    s.EvtChar = 0xF5;
    s.wReserved1 = 0x4142;
    const DCB dcb = ToDcb(s);
    EXPECT_EQ(dcb.DCBlength, 0x01020304u);
    EXPECT_EQ(dcb.BaudRate, 0x05060708u);
    EXPECT_EQ(FlagWord(dcb), 0u);
    EXPECT_EQ(dcb.wReserved, 0x1112);
    EXPECT_EQ(dcb.XonLim, 0x1314);
    EXPECT_EQ(dcb.XoffLim, 0x1516);
    EXPECT_EQ(dcb.ByteSize, 0x21);
    EXPECT_EQ(dcb.Parity, 0x22);
    EXPECT_EQ(dcb.StopBits, 0x23);
    EXPECT_EQ(static_cast<unsigned char>(dcb.XonChar), 0x31);
    EXPECT_EQ(static_cast<unsigned char>(dcb.XoffChar), 0x32);
    EXPECT_EQ(static_cast<unsigned char>(dcb.ErrorChar), 0xF3);
    EXPECT_EQ(static_cast<unsigned char>(dcb.EofChar), 0x34);
    EXPECT_EQ(static_cast<unsigned char>(dcb.EvtChar), 0xF5);
    EXPECT_EQ(dcb.wReserved1, 0x4142);
}

}  // namespace
