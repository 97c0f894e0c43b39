#include "serial/InstalledPorts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "framework/Handles.h"

namespace {

using namespace std::string_literals;

constexpr char kListKey[] = "Hardware\\DeviceMap\\SERIALCOMM";

struct Value {
    std::string name;
    DWORD type;
    std::string data;  // raw bytes, NULs included
};

Value Sz(std::string name, std::string text) { return {std::move(name), REG_SZ, text + '\0'}; }

// The installed-port list is the machine's, shared by every process of the session: each case
// saves what is there, sets exactly its own values, and puts the saved ones back afterwards.
class InstalledPorts : public testing::Test {
protected:
    void SetUp() override {
        m_key = framework::OpenRegistryKey(HKEY_LOCAL_MACHINE, kListKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
        ASSERT_TRUE(m_key.IsValid());
        m_saved = AllValues();
        RemoveAllValues();
    }
    void TearDown() override {
        if (!m_key.IsValid()) return;
        RemoveAllValues();
        for (const Value& v : m_saved) Set(v);
    }

    void Set(const Value& v) {
        ASSERT_EQ(RegSetValueExA(m_key.Get(), v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                                 static_cast<DWORD>(v.data.size())),
                  ERROR_SUCCESS)
            << v.name;
    }

    std::vector<Value> AllValues() {
        std::vector<Value> values;
        for (DWORD index = 0;; ++index) {
            std::string name(20000, '\0');
            std::string data(4096, '\0');
            DWORD nameLength = static_cast<DWORD>(name.size());
            DWORD dataSize = static_cast<DWORD>(data.size());
            DWORD type = 0;
            if (RegEnumValueA(m_key.Get(), index, name.data(), &nameLength, nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS) {
                break;
            }
            name.resize(nameLength);
            data.resize(dataSize);
            values.push_back({name, type, data});
        }
        return values;
    }

    std::vector<std::string> EnumerationOrder() {
        std::vector<std::string> names;
        for (const Value& v : AllValues()) names.push_back(v.name);
        return names;
    }

    void RemoveAllValues() {
        for (const Value& v : AllValues()) RegDeleteValueA(m_key.Get(), v.name.c_str());
    }

    framework::RegistryKey m_key;
    std::vector<Value> m_saved;
};

std::vector<int> PresentPorts(const PortFlags& present) {
    std::vector<int> ports;
    for (int n = 1; n <= 22; ++n) {
        if (present[static_cast<std::size_t>(n - 1)] == 1)
            ports.push_back(n);
        else
            EXPECT_EQ(present[static_cast<std::size_t>(n - 1)], 0) << "COM" << n;
    }
    return ports;
}

struct ListCase {
    const char* behaviour;
    std::vector<Value> values;  // set in this order, which is also the order the list gives back
    std::vector<int> ports;
};

std::ostream& operator<<(std::ostream& out, const ListCase& c) { return out << c.behaviour; }

class InstalledPortList : public InstalledPorts, public testing::WithParamInterface<ListCase> {};

TEST_P(InstalledPortList, FlagsExactlyTheNamedPorts) {
    const ListCase& c = GetParam();
    std::vector<std::string> names;
    for (const Value& v : c.values) {
        Set(v);
        names.push_back(v.name);
    }
    // Under Wine the values come back sorted by name, whatever order they were set in; the rows
    // are written in that order, so a stopped enumeration has a known set of values behind it.
    ASSERT_EQ(EnumerationOrder(), names);

    PortFlags present;
    present.fill(7);
    EXPECT_TRUE(ReadInstalledPorts(present));
    EXPECT_EQ(PresentPorts(present), c.ports);
}

const std::string kName500 = "\\Device\\Serial5" + std::string(500 - 15, 'n');
const std::string kName501 = "\\Device\\Serial5" + std::string(501 - 15, 'n');

const ListCase kListCases[] = {
    {"NoValues", {}, {}},
    {"Com3AndCom7", {Sz("\\Device\\Serial2", "COM3"), Sz("\\Device\\Serial6", "COM7")}, {3, 7}},
    {"LowerCaseName", {Sz("\\Device\\Serial3", "com4")}, {4}},
    {"Com23Ignored", {Sz("\\Device\\Serial22", "COM23")}, {}},
    {"TrailingBlankIgnored", {Sz("\\Device\\Serial3", "COM4 ")}, {}},
    {"DevicePathIgnored", {Sz("\\Device\\Serial3", "\\Device\\Serial3")}, {}},
    {"LeadingZeroIgnored", {Sz("\\Device\\Serial3", "COM04")}, {}},
    {"IgnoredValueDoesNotStopTheList", {Sz("\\Device\\Serial1", "COM23"), Sz("\\Device\\Serial2", "COM3")}, {3}},
    {"HigherPortListedFirst", {Sz("\\Device\\Serial0", "COM7"), Sz("\\Device\\Serial1", "COM3")}, {3, 7}},
    {"ValueNameNotUsed", {Sz("COM9", "COM2")}, {2}},
    {"SamePortTwice", {Sz("\\Device\\Serial1", "COM3"), Sz("\\Device\\Serial2", "com3")}, {3}},
    {"Com1AndCom22", {Sz("\\Device\\Serial0", "COM1"), Sz("\\Device\\Serial21", "COM22")}, {1, 22}},
    {"BinaryDataComparedAsText", {{"\\Device\\Serial4", REG_BINARY, "COM5"}}, {5}},
    {"DwordDataComparedAsText", {{"\\Device\\Serial5", REG_DWORD, "COM6"}}, {6}},
    {"MultiStringTakesFirstString", {{"\\Device\\Serial7", REG_MULTI_SZ, "COM8\0COM9\0\0"s}}, {8}},
    {"DataOf51BytesFits",
     {Sz("\\Device\\Serial1", "COM2"), Sz("\\Device\\Serial5", std::string(50, 'x')), Sz("\\Device\\Serial9", "COM9")},
     {2, 9}},
    {"DataTooLongEndsTheList",
     {Sz("\\Device\\Serial1", "COM2"), Sz("\\Device\\Serial5", std::string(51, 'x')), Sz("\\Device\\Serial9", "COM9")},
     {2}},
    {"NameOf500CharactersFits",
     {Sz("\\Device\\Serial1", "COM2"), Sz(kName500, "COM5"), Sz("\\Device\\Serial9", "COM9")},
     {2, 5, 9}},
    {"NameTooLongEndsTheList",
     {Sz("\\Device\\Serial1", "COM2"), Sz(kName501, "COM5"), Sz("\\Device\\Serial9", "COM9")},
     {2}},
};

INSTANTIATE_TEST_SUITE_P(Table, InstalledPortList, testing::ValuesIn(kListCases),
                         [](const testing::TestParamInfo<ListCase>& info) { return info.param.behaviour; });

TEST_F(InstalledPorts, ReadTwiceGivesTheSameList) {
    Set(Sz("\\Device\\Serial2", "COM3"));
    PortFlags first{};
    PortFlags second{};
    ASSERT_TRUE(ReadInstalledPorts(first));
    ASSERT_TRUE(ReadInstalledPorts(second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(PresentPorts(second), std::vector<int>{3});
}

TEST_F(InstalledPorts, RemovedPortIsNoLongerFlagged) {
    Set(Sz("\\Device\\Serial2", "COM3"));
    Set(Sz("\\Device\\Serial6", "COM7"));
    PortFlags present{};
    ASSERT_TRUE(ReadInstalledPorts(present));
    ASSERT_EQ(PresentPorts(present), (std::vector<int>{3, 7}));
    ASSERT_EQ(RegDeleteValueA(m_key.Get(), "\\Device\\Serial2"), ERROR_SUCCESS);
    ASSERT_TRUE(ReadInstalledPorts(present));
    EXPECT_EQ(PresentPorts(present), std::vector<int>{7});
}

}  // namespace
