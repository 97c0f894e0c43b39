// The description file on any bytes: line 1 and line 2 exactly as a plain split of the file at its
// line feeds gives them, one carriage return before a line feed dropped and nothing else, each cut
// at the longest line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/FirmwareDescription.h"
#include "tests/fuzz/FuzzRule.h"

namespace {

// Every line of the file; a line feed at the very end opens no further line.
std::vector<std::string> Lines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string Cut(const std::string& line) { return line.substr(0, firmware::kLongestDescriptionLine); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzzrule::Require;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const firmware::FirmwareDescription d = firmware::ParseFirmwareDescription(bytes);
    const std::vector<std::string> lines = Lines(bytes);

    Require(d.hasVersion == !bytes.empty(), "a file has a line 1 exactly when it is not empty");
    Require(!d.hasFileName || d.hasVersion, "no line 2 without a line 1");
    Require(d.hasVersion == (lines.size() >= 1) && d.hasFileName == (lines.size() >= 2), "the lines counted");
    Require(d.version == (lines.size() >= 1 ? Cut(lines[0]) : ""), "line 1 verbatim, cut at the longest");
    Require(d.fileName == (lines.size() >= 2 ? Cut(lines[1]) : ""), "line 2 verbatim, cut at the longest");
    Require(d.fileNameTooLong == (lines.size() >= 2 && lines[1].size() > firmware::kLongestDescriptionLine),
            "a line 2 longer than the longest is marked");
    Require(d.version.find('\n') == std::string::npos && d.fileName.find('\n') == std::string::npos,
            "no line feed kept");
    return 0;
}
