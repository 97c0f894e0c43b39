#include "serial/PortNames.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>

namespace {

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
    return info.param.behaviour;
}

// --- Registry data as text ----------------------------------------------------------------------

struct DataCase {
    const char* behaviour;
    std::string bytes;  // the whole buffer, NULs included
    std::size_t size;   // what the registry call said it wrote
    std::string_view text;
};

std::ostream& operator<<(std::ostream& out, const DataCase& c) { return out << c.behaviour; }

class RegistryDataTextTest : public testing::TestWithParam<DataCase> {};

TEST_P(RegistryDataTextTest, StopsAtNulOrSize) {
    const DataCase& c = GetParam();
    EXPECT_EQ(RegistryDataText(c.bytes.data(), c.size), c.text);
}

using namespace std::string_literals;

const DataCase kDataCases[] = {
    {"TerminatedString", "COM4\0"s, 5, "COM4"},
    {"UnterminatedStringEndsAtSize", "COM4XYZ"s, 4, "COM4"},
    {"NulInsideEndsText", "COM1\0COM2"s, 9, "COM1"},
    {"EmptyData", "\0"s, 1, ""},
    {"ZeroSize", "COM4"s, 0, ""},
    {"StringPaddedWithNuls", "COM7\0\0\0\0"s, 8, "COM7"},
};

INSTANTIATE_TEST_SUITE_P(Table, RegistryDataTextTest, testing::ValuesIn(kDataCases), CaseName<DataCase>);

TEST(RegistryDataTextTest, NullDataIsEmpty) { EXPECT_EQ(RegistryDataText(nullptr, 10), ""); }

// --- Port names ---------------------------------------------------------------------------------

struct NameCase {
    const char* behaviour;
    std::string_view data;
    int port;
};

std::ostream& operator<<(std::ostream& out, const NameCase& c) { return out << c.behaviour; }

class PortNumberFromNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(PortNumberFromNameTest, MatchesWholeNameIgnoringCase) {
    EXPECT_EQ(PortNumberFromName(GetParam().data), GetParam().port);
}

const NameCase kNameCases[] = {
    {"Com1", "COM1", 1},
    {"Com3", "COM3", 3},
    {"Com9", "COM9", 9},
    {"Com10", "COM10", 10},
    {"Com22", "COM22", 22},
    {"LowerCase", "com4", 4},
    {"MixedCase", "cOm12", 12},
    {"Com23IsBeyondTheButtons", "COM23", 0},
    {"Com0", "COM0", 0},
    {"TrailingBlank", "COM4 ", 0},
    {"LeadingBlank", " COM4", 0},
    {"LeadingZero", "COM04", 0},
    {"DevicePath", "\\Device\\Serial3", 0},
    {"NamespacePath", "\\\\.\\COM4", 0},
    {"PrefixOnly", "COM", 0},
    {"Empty", "", 0},
    {"Com2Of22IsNotCom2", "COM2 2", 0},
    {"Com222", "COM222", 0},
    {"NegativeNumber", "COM-1", 0},
    {"OtherName", "LPT1", 0},
    {"EmbeddedNul", std::string_view("COM4\0", 5), 0},
    {"HighByteIsNoLetter", "\xC3OM4", 0},
};

INSTANTIATE_TEST_SUITE_P(Table, PortNumberFromNameTest, testing::ValuesIn(kNameCases), CaseName<NameCase>);

// --- Checked port -------------------------------------------------------------------------------

PortFlags Installed(std::initializer_list<int> ports) {
    PortFlags present{};
    for (int port : ports) present[static_cast<std::size_t>(port - 1)] = 1;
    return present;
}

struct ChoiceCase {
    const char* behaviour;
    int stored;
    PortFlags present;
    int checked;
};

std::ostream& operator<<(std::ostream& out, const ChoiceCase& c) { return out << c.behaviour; }

class ChooseCheckedPortTest : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseCheckedPortTest, PrefersStoredThenLowest) {
    EXPECT_EQ(ChooseCheckedPort(GetParam().stored, GetParam().present), GetParam().checked);
}

const ChoiceCase kChoiceCases[] = {
    {"NothingStoredTakesLowest", -1, Installed({3, 7}), 3},
    {"StoredInstalledPortWins", 7, Installed({3, 7}), 7},
    {"StoredPortNotInstalled", 5, Installed({3, 7}), 3},
    {"StoredZero", 0, Installed({3, 7}), 3},
    {"Stored23", 23, Installed({3, 7}), 3},
    {"StoredNegative", -5, Installed({3, 7}), 3},
    {"StoredHugeNumber", 2147483647, Installed({3, 7}), 3},
    {"StoredVeryNegative", -2147483647 - 1, Installed({3, 7}), 3},
    {"StoredFirstPort", 1, Installed({1, 22}), 1},
    {"StoredLastPort", 22, Installed({1, 22}), 22},
    {"OnlyLastPortInstalled", -1, Installed({22}), 22},
    {"NothingInstalledIsNone", -1, Installed({}), 0},
    {"NothingInstalledIgnoresStored", 7, Installed({}), 0},
    {"NonZeroFlagCountsAsInstalled", -1, PortFlags{0, 0, 0, 5}, 4},
};

INSTANTIATE_TEST_SUITE_P(Table, ChooseCheckedPortTest, testing::ValuesIn(kChoiceCases), CaseName<ChoiceCase>);

// --- Companion titles ---------------------------------------------------------------------------

struct TitleCase {
    const char* behaviour;
    std::string_view title;
    bool companion;
};

std::ostream& operator<<(std::ostream& out, const TitleCase& c) { return out << c.behaviour; }

class IsCompanionTitleTest : public testing::TestWithParam<TitleCase> {};

TEST_P(IsCompanionTitleTest, ComparesPrefixIgnoringCase) {
    EXPECT_EQ(IsCompanionTitle(GetParam().title), GetParam().companion);
}

const TitleCase kTitleCases[] = {
    {"FirstPrefixExactly", "Vostrel Serivane", true},
    {"SecondPrefixExactly", "Vostrel Serial Test Program", true},
    {"FirstPrefixLowerCaseWithMore", "vostrel serivane - COM5", true},
    {"SecondPrefixUpperCaseWithMore", "VOSTREL SERIAL TEST PROGRAM v2", true},
    {"FirstPrefixOneLetterShort", "Vostrel Serivan", false},
    {"SecondPrefixOneLetterShort", "Vostrel Serial Test Progra", false},
    {"FirstPrefixOneLetterShortThenMore", "Vostrel Serivan 2", false},
    {"PrefixNotAtStart", " Vostrel Serivane", false},
    {"OtherProgram", "Notepad", false},
    {"CommonStartOnly", "Vostrel Serial", false},
    {"Empty", "", false},
    {"EmbeddedNulAfterPrefixStillMatches", std::string_view("Vostrel Serivane\0x", 18), true},
    {"HighByteIsNoLetter", "Vostrel Seriv\xC1ne", false},
};

INSTANTIATE_TEST_SUITE_P(Table, IsCompanionTitleTest, testing::ValuesIn(kTitleCases), CaseName<TitleCase>);

}  // namespace
