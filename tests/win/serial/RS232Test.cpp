#include "serial/RS232.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "PairPorts.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kBaud = 38400;
constexpr int kNoParity = 'N';
constexpr int kMissingPort = 99;  // no device of that number in the bed

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Polls until the port object reports `count` queued bytes (up to two seconds).
bool WaitForQueued(CRS232& port, unsigned long count) {
    const ULONGLONG start = GetTickCount64();
    while (port.BytesAvailable() < count) {
        if (GetTickCount64() - start > 2000) return false;
        Sleep(1);
    }
    return true;
}

// The port object on one end of the pair, a plain peer on the other.
class PortOnPair : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(OpenPortHandles(), 0) << "a port handle is left over from an earlier case";
        ASSERT_TRUE(m_peer.Open(kPairPeerPort)) << "no pseudo-terminal behind COM" << kPairPeerPort;
        m_peerHandles = OpenPortHandles();
        ASSERT_TRUE(m_port.Open(kPairPort, kBaud, kNoParity, 8, 1));
        m_port.PurgeInput();
    }

    // Sends `bytes` from the peer and waits until the port object has them all queued.
    void PeerSends(const Bytes& bytes) {
        ASSERT_TRUE(m_peer.Write(bytes));
        ASSERT_TRUE(WaitForQueued(m_port, static_cast<unsigned long>(bytes.size())));
    }

    // Reads until `count` bytes arrived or the port object had nothing more for two seconds.
    Bytes ReadAll(std::size_t count) {
        Bytes bytes;
        const ULONGLONG start = GetTickCount64();
        while (bytes.size() < count && GetTickCount64() - start < 2000) {
            unsigned char chunk[64];
            const unsigned got = m_port.Read(chunk, sizeof chunk);
            bytes.insert(bytes.end(), chunk, chunk + got);
            if (got == 0) Sleep(1);
        }
        return bytes;
    }

    int m_peerHandles = 0;
    PeerPort m_peer;
    CRS232 m_port;
};

TEST_F(PortOnPair, OpenReportsItsPort) {
    EXPECT_EQ(m_port.GetPort(), kPairPort);
    EXPECT_EQ(OpenPortHandles(), m_peerHandles + 1);
}

TEST_F(PortOnPair, AllByteValuesTravelToThePeer) {
    const Bytes all = AllByteValues();
    ASSERT_TRUE(m_port.WriteBytes(all.data(), static_cast<int>(all.size())));
    EXPECT_EQ(m_peer.ReadExactly(all.size()), all);
}

TEST_F(PortOnPair, AllByteValuesArriveFromThePeer) {
    const Bytes all = AllByteValues();
    ASSERT_TRUE(m_peer.Write(all));
    EXPECT_EQ(ReadAll(all.size()), all);
}

// --- Writes -------------------------------------------------------------------------------------

struct ByteCase {
    const char* behaviour;
    int value;
    unsigned char sent;
};

std::ostream& operator<<(std::ostream& out, const ByteCase& c) { return out << c.behaviour; }

class WriteByteOnPair : public PortOnPair, public testing::WithParamInterface<ByteCase> {};

// A marker byte after the write shows that exactly one byte went out before it.
TEST_P(WriteByteOnPair, SendsTheLowEightBitsOnly) {
    ASSERT_TRUE(m_port.WriteByte(GetParam().value));
    ASSERT_TRUE(m_port.WriteByte('!'));
    EXPECT_EQ(m_peer.ReadExactly(2), (Bytes{GetParam().sent, '!'}));
}

const ByteCase kByteCases[] = {
    {"AttentionByte", 0xC0, 0xC0},
    {"Value448IsAttentionByte", 448, 0xC0},
    {"Zero", 0, 0x00},
    {"Value256IsZero", 256, 0x00},
    {"MinusOneIs0xFF", -1, 0xFF},
    {"XoffCharacterPassesRaw", 0x13, 0x13},
    {"CarriageReturnPassesRaw", 0x0D, 0x0D},
};

INSTANTIATE_TEST_SUITE_P(Table, WriteByteOnPair, testing::ValuesIn(kByteCases),
                         [](const testing::TestParamInfo<ByteCase>& info) { return info.param.behaviour; });

TEST_F(PortOnPair, NegativeCountSendsNothingAndFails) {
    const Bytes data = Text("ABCD");
    EXPECT_FALSE(m_port.WriteBytes(data.data(), -1));
    EXPECT_FALSE(m_port.WriteBytes(data.data(), INT_MIN));
    ASSERT_TRUE(m_port.WriteByte('!'));
    EXPECT_EQ(m_peer.ReadExactly(1), Text("!"));
    EXPECT_EQ(m_peer.Queued(), 0u);
}

TEST_F(PortOnPair, ZeroCountAndEmptyStringSendNothing) {
    const Bytes data = Text("ABCD");
    EXPECT_TRUE(m_port.WriteBytes(data.data(), 0));
    EXPECT_TRUE(m_port.WriteString(""));
    ASSERT_TRUE(m_port.WriteByte('!'));
    EXPECT_EQ(m_peer.ReadExactly(1), Text("!"));
    EXPECT_EQ(m_peer.Queued(), 0u);
}

TEST_F(PortOnPair, StringGoesWithoutItsTerminator) {
    ASSERT_TRUE(m_port.WriteString("&%*-GX"));
    ASSERT_TRUE(m_port.WriteByte('!'));
    EXPECT_EQ(m_peer.ReadExactly(7), Text("&%*-GX!"));
}

TEST_F(PortOnPair, WriteBytesSendsExactlyCount) {
    const Bytes data = Text("ABCD");
    ASSERT_TRUE(m_port.WriteBytes(data.data(), 3));
    ASSERT_TRUE(m_port.WriteByte('!'));
    EXPECT_EQ(m_peer.ReadExactly(4), Text("ABC!"));
}

// --- Reads --------------------------------------------------------------------------------------

TEST_F(PortOnPair, ReadOfNothingQueuedReturnsZeroAtOnce) {
    unsigned char buffer[10] = {};
    EXPECT_EQ(m_port.BytesAvailable(), 0u);
    EXPECT_EQ(m_port.Read(buffer, sizeof buffer), 0u);
}

TEST_F(PortOnPair, ReadOfZeroLeavesTheQueueAlone) {
    PeerSends(Text("xyz"));
    unsigned char buffer[10] = {};
    EXPECT_EQ(m_port.Read(buffer, 0), 0u);
    EXPECT_EQ(m_port.BytesAvailable(), 3u);
}

TEST_F(PortOnPair, ReadTakesOnlyWhatIsQueued) {
    PeerSends(Text("xyz"));
    unsigned char buffer[10];
    std::fill(std::begin(buffer), std::end(buffer), 0xAA);
    ASSERT_EQ(m_port.Read(buffer, 10), 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), Text("xyz"));
    EXPECT_EQ(Bytes(buffer + 3, buffer + 10), Bytes(7, 0xAA)) << "wrote past what was read";
    EXPECT_EQ(m_port.BytesAvailable(), 0u);
}

TEST_F(PortOnPair, ReadOfFewerThanQueuedLeavesTheRest) {
    PeerSends(Text("abcde"));
    unsigned char buffer[2] = {};
    ASSERT_EQ(m_port.Read(buffer, 2), 2u);
    EXPECT_EQ(Bytes(buffer, buffer + 2), Text("ab"));
    EXPECT_EQ(m_port.BytesAvailable(), 3u);
    EXPECT_EQ(ReadAll(3), Text("cde"));
}

TEST_F(PortOnPair, BytesAvailableCountsWhatThePeerSent) {
    EXPECT_EQ(m_port.BytesAvailable(), 0u);
    PeerSends(Text("12345"));
    EXPECT_EQ(m_port.BytesAvailable(), 5u);
}

TEST_F(PortOnPair, PurgeInputDiscardsTheQueue) {
    PeerSends(Text("stale"));
    EXPECT_TRUE(m_port.PurgeInput());
    EXPECT_EQ(m_port.BytesAvailable(), 0u);
    PeerSends(Text("Z"));
    EXPECT_EQ(ReadAll(5), Text("Z"));
}

TEST_F(PortOnPair, PurgeInputLeavesTheTransmitSide) {
    ASSERT_TRUE(m_port.WriteString("out"));
    EXPECT_TRUE(m_port.PurgeInput());
    EXPECT_EQ(m_peer.ReadExactly(3), Text("out"));
}

// --- Open and close -----------------------------------------------------------------------------

TEST_F(PortOnPair, OpenWhileOpenClosesTheFirstPort) {
    ASSERT_TRUE(m_port.Open(kPairPort, kBaud, kNoParity, 8, 1));
    EXPECT_EQ(m_port.GetPort(), kPairPort);
    EXPECT_EQ(OpenPortHandles(), m_peerHandles + 1);
    ASSERT_TRUE(m_port.WriteByte('!'));
    EXPECT_EQ(m_peer.ReadExactly(1), Text("!"));
}

TEST_F(PortOnPair, FailedOpenLeavesTheObjectClosed) {
    EXPECT_FALSE(m_port.Open(kMissingPort, kBaud, kNoParity, 8, 1));
    EXPECT_EQ(m_port.GetPort(), -1);
    EXPECT_EQ(OpenPortHandles(), m_peerHandles) << "the port open before the call is still held";
    EXPECT_FALSE(m_port.Escape(CLRBREAK));
}

TEST_F(PortOnPair, CloseTwiceIsHarmless) {
    m_port.Close();
    EXPECT_EQ(m_port.GetPort(), -1);
    EXPECT_EQ(OpenPortHandles(), m_peerHandles);
    m_port.Close();
    EXPECT_EQ(m_port.GetPort(), -1);
    EXPECT_EQ(OpenPortHandles(), m_peerHandles);
    ASSERT_TRUE(m_port.Open(kPairPort, kBaud, kNoParity, 8, 1));
    ASSERT_TRUE(m_port.WriteByte('!'));
    EXPECT_EQ(m_peer.ReadExactly(1), Text("!"));
}

TEST_F(PortOnPair, DestructionClosesThePort) {
    {
        CRS232 other;
        ASSERT_TRUE(other.Open(kPairPort, kBaud, kNoParity, 8, 1));
        EXPECT_EQ(OpenPortHandles(), m_peerHandles + 2);
    }
    EXPECT_EQ(OpenPortHandles(), m_peerHandles + 1);
}

// The escape functions a pseudo-terminal supports succeed; it has no modem lines, so DTR and RTS
// calls fail on it where a real port would accept them.
TEST_F(PortOnPair, EscapeGivesThePlatformResultWhileOpen) {
    EXPECT_TRUE(m_port.Escape(SETBREAK));
    EXPECT_TRUE(m_port.Escape(CLRBREAK));
    EXPECT_FALSE(m_port.Escape(SETDTR));  // pseudo-terminal: no DTR line
    m_port.Close();
    EXPECT_FALSE(m_port.Escape(CLRBREAK));
}

TEST_F(PortOnPair, SecondObjectCannotOpenAHeldPort) {
    // Wine 8 doesn't enforce the sharing mode of serial devices: a second exclusive open of a
    // held port succeeds there, so the case can only be checked where the platform refuses it.
    framework::FileHandle probe(CreateFileA(DevicePath(kPairPeerPort).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (probe.IsValid()) GTEST_SKIP() << "this platform lets a held serial port be opened again";
    CRS232 second;
    EXPECT_FALSE(second.Open(kPairPort, kBaud, kNoParity, 8, 1));
    EXPECT_EQ(second.GetPort(), -1);
    EXPECT_EQ(m_port.GetPort(), kPairPort);
}

// --- Without the fixture's open port -------------------------------------------------------------

TEST(ClosedPort, ReportsNoPortAndIgnoresClose) {
    CRS232 port;
    EXPECT_EQ(port.GetPort(), -1);
    EXPECT_FALSE(port.Escape(CLRBREAK));
    port.Close();
    EXPECT_EQ(port.GetPort(), -1);
}

struct MissingCase {
    const char* behaviour;
    int port;
};

std::ostream& operator<<(std::ostream& out, const MissingCase& c) { return out << c.behaviour; }

class OpenOfMissingPort : public testing::TestWithParam<MissingCase> {};

TEST_P(OpenOfMissingPort, FailsAndStaysClosed) {
    CRS232 port;
    EXPECT_FALSE(port.Open(GetParam().port, kBaud, kNoParity, 8, 1));
    EXPECT_EQ(port.GetPort(), -1);
    EXPECT_FALSE(port.Escape(CLRBREAK));
    EXPECT_EQ(OpenPortHandles(), 0);
}

const MissingCase kMissingCases[] = {
    {"NoSuchDevice", kMissingPort},
    {"PortThatRefusesToOpen", kRefusingPort},
    {"PortZero", 0},
    {"NegativePort", -3},
};

INSTANTIATE_TEST_SUITE_P(Table, OpenOfMissingPort, testing::ValuesIn(kMissingCases),
                         [](const testing::TestParamInfo<MissingCase>& info) { return info.param.behaviour; });

// --- Two-digit port numbers and the settings the device gets ------------------------------------

TEST(PortPath, TwoDigitPortOpensAndCarriesBytes) {
    PeerPort peer;
    ASSERT_TRUE(peer.Open(kPairPort));
    CRS232 port;
    ASSERT_TRUE(port.Open(kPairPeerPort, kBaud, kNoParity, 8, 1));
    EXPECT_EQ(port.GetPort(), kPairPeerPort);
    ASSERT_TRUE(port.WriteString("10+"));
    EXPECT_EQ(peer.ReadExactly(3), Text("10+"));
    ASSERT_TRUE(peer.Write(Text("ok")));
    ASSERT_TRUE(WaitForQueued(port, 2));
    unsigned char buffer[2] = {};
    ASSERT_EQ(port.Read(buffer, 2), 2u);
    EXPECT_EQ(Bytes(buffer, buffer + 2), Text("ok"));
}

DCB ReadDeviceSettings(int port) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    framework::FileHandle device(
        CreateFileA(DevicePath(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(device.IsValid());
    EXPECT_TRUE(GetCommState(device.Get(), &dcb));
    return dcb;
}

// A pseudo-terminal keeps its line settings after the last close, so the device is first set to
// something else, then opened and closed by the port object, then read back with plain calls.
TEST(AppliedSettings, DeviceRunsAt38400EightNOneWithoutFlowControl) {
    {
        framework::FileHandle device(CreateFileA(DevicePath(kPairPort).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(device.IsValid());
        DCB other{};
        other.DCBlength = sizeof other;
        other.BaudRate = CBR_9600;
        other.fBinary = TRUE;
        other.fOutxCtsFlow = TRUE;
        other.fRtsControl = RTS_CONTROL_HANDSHAKE;
        other.fOutX = TRUE;
        other.fInX = TRUE;
        other.ByteSize = 7;
        other.Parity = EVENPARITY;
        other.StopBits = TWOSTOPBITS;
        other.XonChar = 0x11;
        other.XoffChar = 0x13;
        ASSERT_TRUE(SetCommState(device.Get(), &other));
    }
    const DCB before = ReadDeviceSettings(kPairPort);
    ASSERT_EQ(before.BaudRate, 9600u);
    ASSERT_EQ(before.StopBits, TWOSTOPBITS);
    ASSERT_TRUE(before.fOutxCtsFlow && before.fOutX && before.fInX);

    {
        CRS232 port;
        ASSERT_TRUE(port.Open(kPairPort, kBaud, kNoParity, 8, 1));
    }
    const DCB applied = ReadDeviceSettings(kPairPort);
    EXPECT_EQ(applied.BaudRate, 38400u);
    EXPECT_EQ(applied.ByteSize, 8);  // pseudo-terminal: always 8 data bits, no parity
    EXPECT_EQ(applied.Parity, NOPARITY);
    EXPECT_EQ(applied.StopBits, ONESTOPBIT);
    EXPECT_EQ(applied.fBinary, 1u);
    EXPECT_EQ(applied.fOutxCtsFlow, 0u);
    EXPECT_EQ(applied.fOutxDsrFlow, 0u);
    EXPECT_EQ(applied.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(applied.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(applied.fOutX, 0u);
    EXPECT_EQ(applied.fInX, 0u);
}

// Wine reads the settings back from the terminal: it reports XON/XOFF limits of 10 and no event
// character whatever was set, and RTS as enabled even under handshake, so those prove nothing here.

}  // namespace
