// What the package test reads from the shipped program file without Windows: the header's link
// time, the debug directory, the resources with their directory time stamps, and the version block.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pefile {

struct Resource {
    unsigned type = 0;
    unsigned id = 0;
    std::string data;
};

struct PeFile {
    std::uint32_t linkTime = 0;
    std::uint32_t debugDirectorySize = 0;
    std::vector<std::uint32_t> resourceTimes;  // one for each resource directory
    std::vector<Resource> resources;
};

// Nothing when the bytes are no 64-bit PE file or a structure runs past the end.
std::optional<PeFile> Read(const std::string& bytes);

struct VersionInfo {
    std::uint16_t fileVersion[4] = {};
    std::uint16_t productVersion[4] = {};
    std::map<std::string, std::string> strings;  // StringFileInfo, ASCII keys and values
};

// Nothing when the block is not a well-formed version resource.
std::optional<VersionInfo> ReadVersion(const std::string& block);

}  // namespace pefile
