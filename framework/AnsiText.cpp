#include "framework/AnsiText.h"

namespace framework {
namespace {

// Walks the character boundaries of the text; stops when the visitor returns true.
template <class Visit>
std::size_t FirstBoundary(std::string_view text, LeadByteTest isLeadByte, Visit visit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (visit(i)) {
            return i;
        }
        // A lead byte as the very last byte has no trail: it is a character of its own.
        if (isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            ++i;
        }
    }
    return kAnsiNotFound;
}

char FoldAsciiCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::size_t FindAnsiChar(std::string_view text, char wanted, LeadByteTest isLeadByte) {
    return FirstBoundary(text, isLeadByte, [&](std::size_t i) { return text[i] == wanted; });
}

std::size_t FindLastAnsiChar(std::string_view text, char wanted, LeadByteTest isLeadByte) {
    std::size_t found = kAnsiNotFound;
    FirstBoundary(text, isLeadByte, [&](std::size_t i) {
        if (text[i] == wanted) {
            found = i;
        }
        return false;
    });
    return found;
}

std::size_t FindAnsiText(std::string_view text, std::string_view needle, LeadByteTest isLeadByte) {
    return FirstBoundary(text, isLeadByte, [&](std::size_t i) { return text.substr(i, needle.size()) == needle; });
}

std::string ModuleBaseName(std::string_view modulePath, LeadByteTest isLeadByte) {
    std::size_t backslash = FindLastAnsiChar(modulePath, '\\', isLeadByte);
    std::size_t slash = FindLastAnsiChar(modulePath, '/', isLeadByte);
    std::size_t cut = backslash == kAnsiNotFound ? slash
                      : slash == kAnsiNotFound   ? backslash
                                                 : (backslash > slash ? backslash : slash);
    std::string_view name = cut == kAnsiNotFound ? modulePath : modulePath.substr(cut + 1);
    std::size_t dot = FindLastAnsiChar(name, '.', isLeadByte);
    return std::string(dot == kAnsiNotFound ? name : name.substr(0, dot));
}

}  // namespace framework
