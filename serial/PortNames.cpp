#include "serial/PortNames.h"

#include <cstdio>
#include <cstring>

#include "framework/AnsiText.h"
#include "texts/Texts.h"

namespace {

// Case folding of ASCII letters only: port names and the companion's titles are plain ASCII, and
// a byte of the ANSI code page above 0x7F must never compare equal to a letter.
using framework::EqualsIgnoringAsciiCase;
using framework::StartsWithIgnoringAsciiCase;

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
        if (EqualsIgnoringAsciiCase(data, std::string_view(name, static_cast<std::size_t>(length)))) return port;
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
    return StartsWithIgnoringAsciiCase(title, texts::kCompanionTitle1) ||
           StartsWithIgnoringAsciiCase(title, texts::kCompanionTitle2);
}
