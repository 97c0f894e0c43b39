// How the probe's answers carry texts on one line: bytes outside '!'..'~', and the separators
// '%', ',', ';' and '=', as %XX. Shared by the probe and the tests that read it.
#pragma once

#include <cstdlib>
#include <string>

namespace probe {

inline std::string EncodeText(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c < '!' || c > '~' || c == '%' || c == ',' || c == ';' || c == '=') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

inline std::string DecodeText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace probe
