// Sources of bytes for the converter's tests: a text served in reads of a fixed size, and one that
// fails any read after its text, so a test can tell whether anything past a point was read.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "firmware/LineReader.h"

namespace testsource {

class ScriptedSource : public firmware::ByteSource {
public:
    // Hands out the text at most `step` bytes a read; afterwards the end of data, or a read error.
    ScriptedSource(std::string text, std::size_t step, bool failAfterText)
        : text_(std::move(text)), step_(step), failAfterText_(failAfterText) {}

    bool Read(std::span<char> buffer, std::size_t& got) override {
        got = std::min({buffer.size(), step_, text_.size() - at_});
        if (got == 0) {
            readsPastText_ += 1;
            return !failAfterText_;
        }
        std::memcpy(buffer.data(), text_.data() + at_, got);
        at_ += got;
        return true;
    }

    int ReadsPastText() const { return readsPastText_; }

private:
    std::string text_;
    std::size_t step_;
    bool failAfterText_;
    std::size_t at_ = 0;
    int readsPastText_ = 0;
};

}  // namespace testsource
