#include "PeFile.h"

#include <functional>

namespace pefile {
namespace {

// Little-endian reads that fail instead of reading past the end.
class Bytes {
public:
    explicit Bytes(const std::string& data) : data_(data) {}
    bool Has(std::size_t at, std::size_t size) const { return at <= data_.size() && size <= data_.size() - at; }
    std::uint32_t Get(std::size_t at, int size, bool& ok) const {
        if (!Has(at, static_cast<std::size_t>(size))) {
            ok = false;
            return 0;
        }
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data_[at + i]);
        return value;
    }
    std::uint16_t U16(std::size_t at, bool& ok) const { return static_cast<std::uint16_t>(Get(at, 2, ok)); }
    std::uint32_t U32(std::size_t at, bool& ok) const { return Get(at, 4, ok); }
    const std::string& Data() const { return data_; }

private:
    const std::string& data_;
};

struct Section {
    std::uint32_t address, size, offset;
};

constexpr std::uint32_t kSubdirectory = 0x80000000u;
constexpr int kMaxDepth = 3;  // type, name, language

}  // namespace

std::optional<PeFile> Read(const std::string& data) {
    const Bytes in(data);
    bool ok = true;
    if (!in.Has(0, 2) || data.compare(0, 2, "MZ") != 0) return std::nullopt;
    const std::size_t pe = in.U32(0x3C, ok);
    if (!ok || !in.Has(pe, 4) || data.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return std::nullopt;
    const std::size_t coff = pe + 4;
    const unsigned sectionCount = in.U16(coff + 2, ok);
    PeFile file;
    file.linkTime = in.U32(coff + 4, ok);
    const std::size_t optional = coff + 20;
    const std::size_t optionalSize = in.U16(coff + 16, ok);
    if (!ok || in.U16(optional, ok) != 0x20B) return std::nullopt;  // PE32+
    const std::uint32_t directoryCount = in.U32(optional + 108, ok);
    auto directory = [&](unsigned index, std::uint32_t& rva, std::uint32_t& size) {
        rva = size = 0;
        if (index >= directoryCount) return;
        rva = in.U32(optional + 112 + 8 * index, ok);
        size = in.U32(optional + 116 + 8 * index, ok);
    };
    std::vector<Section> sections;
    for (unsigned i = 0; i < sectionCount; ++i) {
        const std::size_t at = optional + optionalSize + 40 * i;
        sections.push_back({in.U32(at + 12, ok), in.U32(at + 16, ok), in.U32(at + 20, ok)});
    }
    if (!ok) return std::nullopt;
    auto offsetOf = [&](std::uint32_t rva) -> std::optional<std::size_t> {
        for (const Section& s : sections) {
            if (rva >= s.address && rva - s.address < s.size) return std::size_t{s.offset} + (rva - s.address);
        }
        return std::nullopt;
    };

    std::uint32_t debugRva = 0, resourceRva = 0, resourceSize = 0;
    directory(6, debugRva, file.debugDirectorySize);
    directory(2, resourceRva, resourceSize);
    if (!ok) return std::nullopt;
    if (resourceRva == 0) return file;
    const std::optional<std::size_t> base = offsetOf(resourceRva);
    if (!base) return std::nullopt;

    // Directory entries name a subdirectory (offset within the resources) or a data entry.
    std::function<bool(std::size_t, int, unsigned, unsigned)> walk = [&](std::size_t dir, int depth, unsigned type,
                                                                         unsigned id) {
        const std::size_t at = *base + dir;
        file.resourceTimes.push_back(in.U32(at + 4, ok));
        const unsigned entries = in.U16(at + 12, ok) + in.U16(at + 14, ok);
        for (unsigned i = 0; ok && i < entries; ++i) {
            const std::uint32_t name = in.U32(at + 16 + 8 * i, ok);
            const std::uint32_t target = in.U32(at + 20 + 8 * i, ok);
            const unsigned nextType = depth == 0 ? name : type;
            const unsigned nextId = depth == 1 ? name : id;
            if (target & kSubdirectory) {
                if (depth + 1 >= kMaxDepth || !walk(target & ~kSubdirectory, depth + 1, nextType, nextId)) return false;
            } else {
                const std::optional<std::size_t> content = offsetOf(in.U32(*base + target, ok));
                const std::uint32_t size = in.U32(*base + target + 4, ok);
                if (!ok || !content || !in.Has(*content, size)) return false;
                file.resources.push_back({nextType, nextId, data.substr(*content, size)});
            }
        }
        return ok;
    };
    if (!walk(0, 0, 0, 0)) return std::nullopt;
    return file;
}

std::optional<VersionInfo> ReadVersion(const std::string& block) {
    const Bytes in(block);
    bool ok = true;
    VersionInfo info;
    auto align = [](std::size_t at) { return (at + 3) & ~std::size_t{3}; };
    // A node: length, value length, type, a UTF-16 key, then its value and its children, each
    // on a four-byte boundary. Keys and string values here are ASCII.
    auto key = [&](std::size_t at, std::size_t end, std::size_t& after) {
        std::string text;
        for (; at + 1 < end; at += 2) {
            const std::uint16_t c = in.U16(at, ok);
            if (c == 0) break;
            text += c < 0x80 ? static_cast<char>(c) : '?';
        }
        after = at + 2;
        return text;
    };
    std::function<bool(std::size_t, std::size_t, int)> node = [&](std::size_t at, std::size_t end, int depth) {
        const std::size_t length = in.U16(at, ok);
        const std::size_t valueLength = in.U16(at + 2, ok);
        const bool text = in.U16(at + 4, ok) == 1;
        if (!ok || length < 6 || at + length > end || depth > 3) return false;
        std::size_t after = 0;
        const std::string name = key(at + 6, at + length, after);
        const std::size_t value = align(after);
        const std::size_t valueBytes = text ? 2 * valueLength : valueLength;
        if (value + valueBytes > at + length) return false;
        if (depth == 0) {
            if (name != "VS_VERSION_INFO" || valueBytes < 52 || in.U32(value, ok) != 0xFEEF04BDu) return false;
            const std::uint32_t parts[4] = {in.U32(value + 8, ok), in.U32(value + 12, ok), in.U32(value + 16, ok),
                                            in.U32(value + 20, ok)};
            for (int i = 0; i < 2; ++i) {
                info.fileVersion[2 * i] = static_cast<std::uint16_t>(parts[i] >> 16);
                info.fileVersion[2 * i + 1] = static_cast<std::uint16_t>(parts[i]);
                info.productVersion[2 * i] = static_cast<std::uint16_t>(parts[2 + i] >> 16);
                info.productVersion[2 * i + 1] = static_cast<std::uint16_t>(parts[2 + i]);
            }
        } else if (depth == 3 && text) {
            std::size_t unused = 0;
            info.strings[name] = key(value, value + valueBytes, unused);
        }
        for (std::size_t child = align(value + valueBytes); ok && child + 6 <= at + length;) {
            const std::size_t childLength = in.U16(child, ok);
            if (!node(child, at + length, depth + 1)) return false;
            child = align(child + childLength);
        }
        return ok;
    };
    if (!node(0, block.size(), 0)) return std::nullopt;
    return info;
}

}  // namespace pefile
