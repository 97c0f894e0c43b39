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

TEST(DcbMapping, EmptySettingsGiveAZeroedRecordOfItsOwnLength) {
    const DCB dcb = ToDcb(LineSettings{});
    unsigned char expected[28] = {};
    expected[0] = 0x1C;
    EXPECT_EQ(std::memcmp(&dcb, expected, sizeof expected), 0);
}

// Each flag lands on its own bits of the flag word and on no other.
struct FlagCase {
    const char* behaviour;
    bool LineSettings::*field;
    std::uint32_t word;
};

std::ostream& operator<<(std::ostream& out, const FlagCase& c) { return out << c.behaviour; }

class DcbFlagBits : public testing::TestWithParam<FlagCase> {};

TEST_P(DcbFlagBits, LandsOnItsOwnBits) {
    LineSettings settings;
    settings.*GetParam().field = true;
    EXPECT_EQ(FlagWord(ToDcb(settings)), GetParam().word);
}

const FlagCase kFlagCases[] = {
    {"Binary", &LineSettings::binary, 0x00000001},
    {"CheckParity", &LineSettings::checkParity, 0x00000002},
    {"RaiseDtrIsDtrControlEnable", &LineSettings::raiseDtr, 0x00000010},
    {"SendAfterXoffIsTXContinueOnXoff", &LineSettings::sendAfterXoff, 0x00000080},
    {"RaiseRtsIsRtsControlEnable", &LineSettings::raiseRts, 0x00001000},
};

INSTANTIATE_TEST_SUITE_P(Table, DcbFlagBits, testing::ValuesIn(kFlagCases),
                         [](const testing::TestParamInfo<FlagCase>& info) { return info.param.behaviour; });

// The record's codes of parity and stop bits.
struct CodeCase {
    const char* behaviour;
    Parity parity;
    StopBits stopBits;
    BYTE parityCode;
    BYTE stopCode;
};

std::ostream& operator<<(std::ostream& out, const CodeCase& c) { return out << c.behaviour; }

class DcbCodes : public testing::TestWithParam<CodeCase> {};

TEST_P(DcbCodes, GiveTheRecordsCodes) {
    LineSettings settings;
    settings.parity = GetParam().parity;
    settings.stopBits = GetParam().stopBits;
    const DCB dcb = ToDcb(settings);
    EXPECT_EQ(dcb.Parity, GetParam().parityCode);
    EXPECT_EQ(dcb.StopBits, GetParam().stopCode);
}

const CodeCase kCodeCases[] = {
    {"NoParityOneStopBit", Parity::None, StopBits::One, 0, 0},
    {"OddParity", Parity::Odd, StopBits::One, 1, 0},
    {"EvenParity", Parity::Even, StopBits::One, 2, 0},
    {"MarkParity", Parity::Mark, StopBits::One, 3, 0},
    {"SpaceParityTwoStopBits", Parity::Space, StopBits::Two, 4, 2},
};

INSTANTIATE_TEST_SUITE_P(Table, DcbCodes, testing::ValuesIn(kCodeCases),
                         [](const testing::TestParamInfo<CodeCase>& info) { return info.param.behaviour; });

// Every field outside the flag word, each with a value of its own, so a swap shows.
TEST(DcbMapping, CopiesEveryOtherField) {
    const LineSettings s{.baud = 0x05060708,
                         .dataBits = 0x21,
                         .xonLimit = 0x1314,
                         .xoffLimit = 0x1516,
                         .xonChar = 0x31,
                         .xoffChar = 0x32,
                         .errorChar = 0xF3,
                         .eofChar = 0x34,
                         .eventChar = 0xF5};
    const DCB dcb = ToDcb(s);
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 0x05060708u);
    EXPECT_EQ(FlagWord(dcb), 0u);
    EXPECT_EQ(dcb.wReserved, 0);
    EXPECT_EQ(dcb.XonLim, 0x1314);
    EXPECT_EQ(dcb.XoffLim, 0x1516);
    EXPECT_EQ(dcb.ByteSize, 0x21);
    EXPECT_EQ(static_cast<unsigned char>(dcb.XonChar), 0x31);
    EXPECT_EQ(static_cast<unsigned char>(dcb.XoffChar), 0x32);
    EXPECT_EQ(static_cast<unsigned char>(dcb.ErrorChar), 0xF3);
    EXPECT_EQ(static_cast<unsigned char>(dcb.EofChar), 0x34);
    EXPECT_EQ(static_cast<unsigned char>(dcb.EvtChar), 0xF5);
    EXPECT_EQ(dcb.wReserved1, 0);
}

}  // namespace
