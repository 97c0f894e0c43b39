#include "app/ProgramPath.h"

namespace app {
namespace {

using framework::FindAnsiChar;
using framework::FindLastAnsiChar;
using framework::kAnsiNotFound;

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::string ProgramPathFromCommandLine(std::string_view commandLine, LeadByteTest isLeadByte) {
    if (!commandLine.empty() && commandLine.front() == '"') {
        // The opening quote counts as a blank, so it goes with the leading white space.
        std::string_view rest = commandLine.substr(1);
        while (!rest.empty() && IsWhiteSpace(rest.front())) {
            rest.remove_prefix(1);
        }
        std::size_t close = FindAnsiChar(rest, '"', isLeadByte);
        return close == kAnsiNotFound ? std::string() : std::string(rest.substr(0, close));
    }
    std::size_t blank = FindAnsiChar(commandLine, ' ', isLeadByte);
    return std::string(blank == kAnsiNotFound ? commandLine : commandLine.substr(0, blank));
}

std::string ProgramDirectory(std::string_view programPath, LeadByteTest isLeadByte) {
    std::size_t slash = FindLastAnsiChar(programPath, '\\', isLeadByte);
    return slash == kAnsiNotFound ? std::string() : std::string(programPath.substr(0, slash + 1));
}

}  // namespace app
