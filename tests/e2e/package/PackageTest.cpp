// The release package as a Windows user gets it: the zip and SHA256SUMS downloaded into a fresh
// folder, checked, unpacked; the guide inside is the README's user section in Windows text. The
// program unpacked as shipped finds no firmware to send; with the sample copied beside it on purpose
// it updates the (simulated) device. The signed package, which the signing test makes, runs too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <utility>
#include <string>
#include <vector>

#include "PeFile.h"
#include "ProgramTest.h"
#include "tools/bootsim/Simulator.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

const std::string kRelease = TLYN_RELEASE_NAME;
const std::string kSampleFolder = TLYN_SAMPLE_FOLDER;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The zip and SHA256SUMS copied into a fresh folder as a download, the zip unpacked beside them.
// By default the package of the release target in the win build.
class Download {
public:
    explicit Download(const std::string& name, std::string from = WinBuildDir())
        : root_(name, false), from_(std::move(from)) {}

    ::testing::AssertionResult Unpack() {
        for (const std::string& file : {kRelease + ".zip", std::string("SHA256SUMS")}) {
            std::error_code ec;
            fs::copy_file(from_ + "/" + file, root_.Path(file), ec);
            if (ec) {
                return ::testing::AssertionFailure()
                       << "no " << file << " in " << from_ << " (the release target, or the signing test, makes it)";
            }
        }
        std::string command = "cd " + Quoted(root_.Dir()) + " && cmake -E tar xf " + Quoted(kRelease + ".zip");
        if (std::system(command.c_str()) != 0) return ::testing::AssertionFailure() << command;
        return ::testing::AssertionSuccess();
    }
    const std::string& Root() const { return root_.Dir(); }
    std::string Folder() const { return root_.Path(kRelease); }

private:
    ProgramFolder root_;
    std::string from_;
};

// Words of a text (letters and digits), so that markup, wrapping and line ends don't count.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text + " ") {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

bool HoldsInOrder(const std::vector<std::string>& text, const std::vector<std::string>& part) {
    if (part.empty()) return true;
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (std::equal(part.begin(), part.end(), text.begin() + static_cast<std::ptrdiff_t>(at))) return true;
    }
    return false;
}

// The pieces of the README's marked user sections that the guide must hold word for word:
// paragraphs, list runs, headings and every table cell; pictures and marks left out.
std::vector<std::string> GuidePieces(const std::string& markdown) {
    static const std::regex picture(R"(!\[[^\]]*\]\([^)]*\))");
    std::vector<std::string> pieces;
    std::istringstream in(markdown);
    std::string line, piece;
    bool inside = false;
    auto flush = [&] {
        if (!Words(piece).empty()) pieces.push_back(piece);
        piece.clear();
    };
    while (std::getline(in, line)) {
        if (line == "<!-- guide -->" || line == "<!-- /guide -->") {
            flush();
            inside = line == "<!-- guide -->";
            continue;
        }
        if (!inside) continue;
        line = std::regex_replace(line, picture, "");
        if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#') {
            flush();
            piece = line;
            flush();
        } else if (line[0] == '|') {
            flush();
            std::istringstream row(line);
            std::string cell;
            while (std::getline(row, cell, '|')) {
                piece = cell;
                flush();
            }
        } else {
            piece += " " + line;
        }
    }
    flush();
    return pieces;
}

TEST(Package, ChecksumsCoverTheZipAndEveryFileInIt) {
    Download download("package-sums");
    ASSERT_TRUE(download.Unpack());

    std::set<std::string> listed;
    std::istringstream sums(ReadFile(download.Root() + "/SHA256SUMS"));
    static const std::regex lineForm("([0-9a-f]{64})  (.+)");
    std::smatch match;
    for (std::string line; std::getline(sums, line);) {
        ASSERT_TRUE(std::regex_match(line, match, lineForm)) << "not a checksum line: " << line;
        EXPECT_TRUE(listed.insert(match[2]).second) << "listed twice: " << match[2];
    }
    std::set<std::string> present = {kRelease + ".zip"};
    for (const auto& entry : fs::recursive_directory_iterator(download.Folder())) {
        if (entry.is_regular_file()) present.insert(fs::relative(entry.path(), download.Root()).generic_string());
    }
    EXPECT_EQ(listed, present);
    // Beside the program nothing it could send: the sample and its description file lie apart.
    const std::string sample = kRelease + "/" + kSampleFolder + "/";
    EXPECT_EQ(present,
              (std::set<std::string>{kRelease + ".zip", kRelease + "/TLYN_Update.exe", kRelease + "/README.txt",
                                     sample + "Gathrix_Remote.txt", sample + "GX-REM2-Sample.hex"}));

    std::string check = "cd " + Quoted(download.Root()) + " && sha256sum --check --strict --quiet SHA256SUMS";
    EXPECT_EQ(std::system(check.c_str()), 0) << check;
}

TEST(Package, GuideIsTheReadmeUserSectionAsWindowsText) {
    Download download("package-guide");
    ASSERT_TRUE(download.Unpack());
    const std::string guide = ReadFile(download.Folder() + "/README.txt");
    ASSERT_FALSE(guide.empty()) << "no README.txt in the zip";

    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < guide.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(guide[i]);
        if (c == '\n') {
            ASSERT_TRUE(i > 0 && guide[i - 1] == '\r') << "a line end without CR at offset " << i;
            EXPECT_LE(i - 1 - lineStart, 80u)
                << "a line too wide for the editor: " << guide.substr(lineStart, i - lineStart);
            lineStart = i + 1;
        } else if (c == '\r') {
            ASSERT_TRUE(i + 1 < guide.size() && guide[i + 1] == '\n') << "a CR without LF at offset " << i;
        } else {
            ASSERT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << int(c) << " at offset " << i << " is no plain ASCII";
        }
    }
    EXPECT_EQ(lineStart, guide.size()) << "the last line has no line end";

    const std::vector<std::string> words = Words(guide);
    const std::vector<std::string> pieces = GuidePieces(ReadFile(std::string(TLYN_SOURCE_DIR) + "/README.md"));
    ASSERT_GT(pieces.size(), 20u) << "README.md has lost its marked user sections";
    for (const std::string& piece : pieces) {
        EXPECT_TRUE(HoldsInOrder(words, Words(piece))) << "README.txt lacks:" << piece;
    }
    // What a user who only has the zip must learn from it.
    for (const char* topic : {"Unable to open serial port COM", "Invalid ready response from the Gathrix RS-232 Remote",
                              "HKEY_CURRENT_USER\\Software\\Vostrel Systems\\TLYN_Update\\Settings",
                              "posts the message 0x8065", "is no firmware for any device", TLYN_SAMPLE_FOLDER,
                              "certutil -hashfile", "Get-FileHash", "Get-AuthenticodeSignature"}) {
        EXPECT_TRUE(HoldsInOrder(words, Words(topic))) << "README.txt says nothing of: " << topic;
    }
}

// The same sources must give the same program wherever and whenever they are built.
TEST(Package, ProgramCarriesNoLinkTimeAndNoBuildFolder) {
    Download download("package-stamps");
    ASSERT_TRUE(download.Unpack());
    const std::string exe = ReadFile(download.Folder() + "/TLYN_Update.exe");
    const std::optional<pefile::PeFile> pe = pefile::Read(exe);
    ASSERT_TRUE(pe) << "TLYN_Update.exe is no 64-bit Windows program";
    EXPECT_EQ(pe->linkTime, 0u);
    EXPECT_EQ(pe->debugDirectorySize, 0u);
    ASSERT_FALSE(pe->resourceTimes.empty());
    for (std::uint32_t time : pe->resourceTimes) EXPECT_EQ(time, 0u) << "a resource directory carries a time";
    EXPECT_EQ(exe.find(TLYN_SOURCE_DIR), std::string::npos) << "the program names the folder it was built in";
}

TEST(Package, ProgramDeclaresItsVersionAndManifest) {
    Download download("package-version");
    ASSERT_TRUE(download.Unpack());
    const std::optional<pefile::PeFile> pe = pefile::Read(ReadFile(download.Folder() + "/TLYN_Update.exe"));
    ASSERT_TRUE(pe);
    std::vector<const pefile::Resource*> versions, manifests;
    for (const pefile::Resource& r : pe->resources) {
        if (r.type == 16) versions.push_back(&r);
        if (r.type == 24) manifests.push_back(&r);
    }
    ASSERT_EQ(versions.size(), 1u);
    const std::optional<pefile::VersionInfo> version = pefile::ReadVersion(versions[0]->data);
    ASSERT_TRUE(version) << "the version resource is malformed";
    const std::string dotted = TLYN_VERSION;  // the one the package is named for
    auto join = [](const std::uint16_t(&v)[4]) {
        return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
               std::to_string(v[3]);
    };
    EXPECT_EQ(join(version->fileVersion), dotted);
    EXPECT_EQ(join(version->productVersion), dotted);
    const std::map<std::string, std::string> expected = {{"FileDescription", "Firmware update utility"},
                                                         {"ProductName", "Firmware update utility"},
                                                         {"FileVersion", dotted},
                                                         {"ProductVersion", dotted},
                                                         {"OriginalFilename", "TLYN_Update.exe"}};
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(version->strings.count(key) ? version->strings.at(key) : "(none)", value) << key;
    }

    ASSERT_EQ(manifests.size(), 1u);
    ASSERT_EQ(manifests[0]->id, 1u) << "Windows reads the manifest of a program from resource 1";
    const std::string& manifest = manifests[0]->data;
    EXPECT_TRUE(
        std::regex_search(manifest, std::regex(R"(name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0")")))
        << manifest;
    EXPECT_TRUE(std::regex_search(manifest, std::regex(R"(requestedExecutionLevel\s+level="asInvoker")"))) << manifest;
}

// The image the device received against srec_cat's reading of the sample firmware: from address 0,
// filled with 0xFF up to the end of the page that holds the highest data byte.
std::vector<std::uint8_t> ReferenceImage(const std::string& hex, const std::string& work) {
    const std::string bin = work + "/reference.bin";
    const std::string command = Quoted(TLYN_SREC_CAT) + " " + Quoted(hex) + " -intel -fill 0xFF 0 -maximum-address " +
                                Quoted(hex) + " -intel -round-up 256 -o " + Quoted(bin) + " -binary";
    if (std::system(command.c_str()) != 0) return {};
    const std::string bytes = ReadFile(bin);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The package of the release target, and the same signed by the signing test.
struct Release {
    const char* name;
    bool isSigned;
};

class PackageRun : public ProgramTest, public ::testing::WithParamInterface<Release> {
protected:
    std::string From() const { return GetParam().isSigned ? TLYN_SIGNED_RELEASE_DIR : WinBuildDir(); }

    // The unpacked program is the one built, or that one signed.
    void ExpectTheProgramAsBuilt(const std::string& dir) const {
        const bool same = ReadFile(dir + "/TLYN_Update.exe") == ReadFile(WinBuildDir() + "/TLYN_Update.exe");
        EXPECT_EQ(same, !GetParam().isSigned)
            << (same ? "the program is unsigned" : "the program is not the one built");
    }
};

TEST_P(PackageRun, UnpackedAsShippedFindsNoFirmware) {
    ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial0", "COM1"}}));
    Download download(std::string("package-shipped-") + GetParam().name, From());
    ASSERT_TRUE(download.Unpack());
    const std::string dir = download.Folder();
    ExpectTheProgramAsBuilt(dir);

    ASSERT_NO_FATAL_FAILURE(StartProgramIn(dir));
    auto box = probe.WaitMessageBox(30s);
    ASSERT_TRUE(box) << "the program started without a word about its description file";
    EXPECT_EQ(box->caption, kMessageCaption);
    EXPECT_EQ(box->text, "Unable to open the firmware description file:     \n     " + WindowsPath(dir) +
                             "\\Gathrix_Remote.txt     \n\nFirmware update wil be disabled.");
    ASSERT_TRUE(probe.CloseMessageBox());
    auto begin = probe.State(kBeginUpdate);
    ASSERT_TRUE(begin);
    EXPECT_FALSE(begin->enabled) << "Begin Update can be pressed with no firmware";
}

TEST_P(PackageRun, UnpackedProgramUpdatesWithTheSampleCopiedBesideIt) {
    ASSERT_TRUE(fs::is_regular_file(TLYN_SREC_CAT)) << "srec_cat not found; install the Debian package srecord";
    ASSERT_TRUE(probe.SetInstalledPorts({{"\\Device\\Serial0", "COM1"}}));
    ASSERT_TRUE(probe.ForgetStoredPort());

    Download download(std::string("package-run-") + GetParam().name, From());
    ASSERT_TRUE(download.Unpack());
    const std::string dir = download.Folder();
    ExpectTheProgramAsBuilt(dir);
    // On purpose, for the simulated device only.
    for (const char* name : {"Gathrix_Remote.txt", "GX-REM2-Sample.hex"}) {
        std::error_code ec;
        fs::copy_file(dir + "/" + kSampleFolder + "/" + name, dir + "/" + name, ec);
        ASSERT_FALSE(ec) << name << " is not in the sample folder: " << ec.message();
    }
    const std::vector<std::uint8_t> expected = ReferenceImage(dir + "/GX-REM2-Sample.hex", download.Root());
    ASSERT_FALSE(expected.empty()) << "srec_cat made no image of the sample";
    ASSERT_EQ(expected.size() % 256, 0u);

    ASSERT_NO_FATAL_FAILURE(StartProgramIn(dir, DeviceOn{1}));
    EXPECT_EQ(probe.Text(kFirmwareVersionLine), "Firmware version  =  GX-REM2 2.32 (sample)");
    EXPECT_EQ(probe.Text(kFirmwareFileLine).rfind("Firmware file  =  GX-REM2-Sample.hex     (", 0), 0u);
    ASSERT_TRUE(probe.Click(kBeginUpdate));

    auto box = probe.WaitMessageBox(30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Firmware Update Complete");
    ASSERT_TRUE(probe.CloseMessageBox());
    EXPECT_TRUE(device->LastImage() == expected)
        << "the device got " << device->LastImage().size() << " bytes, srec_cat made " << expected.size();
    EXPECT_EQ(device->Frames().size(), expected.size() / 256);
    EXPECT_EQ(probe.StoredPort(), 1);
}

INSTANTIATE_TEST_SUITE_P(Plain, PackageRun, ::testing::Values(Release{"plain", false}),
                         [](const auto& info) { return std::string(info.param.name); });
// Made by the signing test (e2e.package.signing), which these cases require.
INSTANTIATE_TEST_SUITE_P(Signed, PackageRun, ::testing::Values(Release{"signed", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
