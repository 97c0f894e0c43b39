#include "app/ProgramPath.h"

namespace app {
namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

// First position of an ASCII character at a character boundary, stepping over double-byte pairs.
std::size_t FindFirst(std::string_view text, char wanted, LeadByteTest isLeadByte) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (isLeadByte(c) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (text[i] == wanted) {
            return i;
        }
    }
    return kNotFound;
}

std::size_t FindLast(std::string_view text, char wanted, LeadByteTest isLeadByte) {
    std::size_t last = kNotFound;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (isLeadByte(c) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (text[i] == wanted) {
            last = i;
        }
    }
    return last;
}

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::string ProgramPathFromCommandLine(std::string_view commandLine, LeadByteTest isLeadByte) {
    if (!commandLine.empty() && commandLine.front() == '"') {
        // The opening quote counts as a blank, so it goes with the leading white space.
        std::string_view rest = commandLine.substr(1);
        while (!rest.empty() && IsWhiteSpace(rest.front())) {
            rest.remove_prefix(1);
        }
        std::size_t close = FindFirst(rest, '"', isLeadByte);
        return close == kNotFound ? std::string() : std::string(rest.substr(0, close));
    }
    std::size_t blank = FindFirst(commandLine, ' ', isLeadByte);
    return std::string(blank == kNotFound ? commandLine : commandLine.substr(0, blank));
}

std::string ProgramDirectory(std::string_view programPath, LeadByteTest isLeadByte) {
    std::size_t slash = FindLast(programPath, '\\', isLeadByte);
    return slash == kNotFound ? std::string() : std::string(programPath.substr(0, slash + 1));
}

}  // namespace app
