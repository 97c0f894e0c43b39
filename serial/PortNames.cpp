#include "serial/PortNames.h"

#include <cstdio>
#include <cstring>

#include "texts/Texts.h"

namespace {

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Case folding of ASCII letters only: port names and the companion's titles are plain ASCII, and
// a byte of the ANSI code page above 0x7F must never compare equal to a letter.
bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool IsInstalled(int port, const PortFlags& present) {
    return port >= kFirstPort && port <= kLastPort && present[static_cast<std::size_t>(port - 1)] != 0;
}

}  // namespace

std::string_view RegistryDataText(const char* data, std::size_t size) {
    if (data == nullptr) return {};
    const void* nul = std::memchr(data, '\0', size);
    return {data, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : size};
}

int PortNumberFromName(std::string_view data) {
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        char name[8];
        const int length = std::snprintf(name, sizeof name, "COM%d", port);
        if (EqualIgnoringCase(data, std::string_view(name, static_cast<std::size_t>(length)))) return port;
    }
    return 0;
}

int ChooseCheckedPort(int stored, const PortFlags& present) {
    if (IsInstalled(stored, present)) return stored;
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (IsInstalled(port, present)) return port;
    }
    return 0;
}

bool IsCompanionTitle(std::string_view title) {
    if (title.empty()) return false;
    return StartsWithIgnoringCase(title, texts::kCompanionTitle1) ||
           StartsWithIgnoringCase(title, texts::kCompanionTitle2);
}
