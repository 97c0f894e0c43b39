#include "firmware/FilePathRules.h"

#include <array>

namespace firmware {
namespace {

using framework::EqualsIgnoringAsciiCase;

// The device names the platform reserves in every folder. The numbered ones take the digits 0 to 9
// and the superscripts one to three of the ANSI code page.
bool IsReservedName(std::string_view name) {
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view reserved : kPlain) {
        if (EqualsIgnoringAsciiCase(name, reserved)) {
            return true;
        }
    }
    if (name.size() != 4 ||
        !(EqualsIgnoringAsciiCase(name.substr(0, 3), "COM") || EqualsIgnoringAsciiCase(name.substr(0, 3), "LPT"))) {
        return false;
    }
    unsigned char digit = static_cast<unsigned char>(name[3]);
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// A component is a device name when the part before its first dot or colon, less trailing
// blanks, is one: "nul.txt", "COM5 .hex" and "con:" all are.
bool IsDeviceComponent(std::string_view component) {
    std::size_t end = component.find_first_of(".:");
    std::string_view stem = component.substr(0, end);
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    return IsReservedName(stem);
}

// Blanks and dots are never trail bytes, so the last byte tells; "." and ".." are the folder's own.
bool IsAlteredComponent(std::string_view component) {
    if (component.empty() || component == "." || component == "..") {
        return false;
    }
    return component.back() == ' ' || component.back() == '.';
}

}  // namespace

PathKind ClassifyPath(std::string_view path, framework::LeadByteTest isLeadByte) {
    std::string_view rest = path;
    for (;;) {
        std::size_t backslash = framework::FindAnsiChar(rest, '\\', isLeadByte);
        std::size_t slash = framework::FindAnsiChar(rest, '/', isLeadByte);
        std::size_t cut = backslash < slash ? backslash : slash;
        std::string_view component = rest.substr(0, cut);
        if (IsAlteredComponent(component)) {
            return PathKind::Altered;
        }
        if (cut == framework::kAnsiNotFound) {
            return IsDeviceComponent(component) ? PathKind::Device : PathKind::Plain;
        }
        rest.remove_prefix(cut + 1);
    }
}

}  // namespace firmware
