// Reading a text file line by line, as a text-mode line read does, from any source of bytes: a file
// on disk, a string, or a test's generator. Memory stays the same whatever the file's size: one
// block of the source at a time, and a line no longer than the caller's limit.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace firmware {

// Where the bytes come from. Read gives up to buffer.size() bytes and sets got; got is 0 only at
// the end of the data. False is a read error.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual bool Read(std::span<char> buffer, std::size_t& got) = 0;
};

// Bytes already in memory, handed out whole.
class TextSource : public ByteSource {
public:
    explicit TextSource(std::string_view text) : rest_(text) {}
    bool Read(std::span<char> buffer, std::size_t& got) override;

private:
    std::string_view rest_;
};

enum class LineStatus { Line, End, ReadFailed };

// CR LF is taken as one LF, a lone CR is an ordinary character. A read takes at most `limit`
// characters, its LF included, so a longer line comes back in pieces. The source is asked for more
// only when a character is wanted, so nothing past the last line taken is ever read.
class LineReader {
public:
    explicit LineReader(ByteSource& source) : source_(source) {}

    // The line, without its line end, in storage (of at least `limit` characters); ended tells
    // whether its LF was taken.
    LineStatus Next(std::span<char> storage, std::size_t limit, std::string_view& line, bool& ended);

private:
    enum class Take { Char, End, Failed };
    Take Get(char& c);
    Take Peek(char& c);

    ByteSource& source_;
    char block_[4096];
    std::size_t at_ = 0;
    std::size_t size_ = 0;
};

}  // namespace firmware
