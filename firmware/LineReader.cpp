#include "firmware/LineReader.h"

#include <algorithm>
#include <cstring>

namespace firmware {

bool TextSource::Read(std::span<char> buffer, std::size_t& got) {
    got = std::min(buffer.size(), rest_.size());
    std::memcpy(buffer.data(), rest_.data(), got);
    rest_.remove_prefix(got);
    return true;
}

LineReader::Take LineReader::Peek(char& c) {
    if (at_ == size_) {
        std::size_t got = 0;
        if (!source_.Read(block_, got)) {
            return Take::Failed;
        }
        at_ = 0;
        size_ = std::min(got, sizeof(block_));
        if (size_ == 0) {
            return Take::End;
        }
    }
    c = block_[at_];
    return Take::Char;
}

LineReader::Take LineReader::Get(char& c) {
    Take take = Peek(c);
    if (take == Take::Char) {
        ++at_;
    }
    return take;
}

LineStatus LineReader::Next(std::span<char> storage, std::size_t limit, std::string_view& line, bool& ended) {
    limit = std::min(limit, storage.size());
    std::size_t length = 0;
    ended = false;
    while (length < limit) {
        char c = 0;
        Take take = Get(c);
        if (take == Take::Failed) {
            return LineStatus::ReadFailed;
        }
        if (take == Take::End) {
            if (length == 0) {
                return LineStatus::End;
            }
            break;
        }
        if (c == '\r') {
            char next = 0;
            Take after = Peek(next);
            if (after == Take::Failed) {
                return LineStatus::ReadFailed;
            }
            if (after == Take::Char && next == '\n') {
                ++at_;
                c = '\n';
            }
        }
        if (c == '\n') {
            ended = true;
            break;
        }
        storage[length++] = c;
    }
    line = std::string_view(storage.data(), length);
    return LineStatus::Line;
}

}  // namespace firmware
