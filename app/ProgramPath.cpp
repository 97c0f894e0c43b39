#include "app/ProgramPath.h"

namespace app {
namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

// Positions of an ASCII character at character boundaries, stepping over double-byte pairs: the
// first one, or the last one.
std::size_t Find(std::string_view text, char wanted, LeadByteTest isLeadByte, bool last) {
    std::size_t found = kNotFound;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (isLeadByte(c) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (text[i] == wanted) {
            found = i;
            if (!last) {
                break;
            }
        }
    }
    return found;
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
        std::size_t close = Find(rest, '"', isLeadByte, false);
        return close == kNotFound ? std::string() : std::string(rest.substr(0, close));
    }
    std::size_t blank = Find(commandLine, ' ', isLeadByte, false);
    return std::string(blank == kNotFound ? commandLine : commandLine.substr(0, blank));
}

std::string ProgramDirectory(std::string_view programPath, LeadByteTest isLeadByte) {
    std::size_t slash = Find(programPath, '\\', isLeadByte, true);
    return slash == kNotFound ? std::string() : std::string(programPath.substr(0, slash + 1));
}

}  // namespace app
