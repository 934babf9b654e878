#include "scriptdata/reader.hpp"

#include <algorithm>
#include <array>

#include "stream/failure.hpp"
#include "stream/hex.hpp"

namespace scriptdata {
namespace {

constexpr int kStatusParse = -1;
constexpr int kStatusVersion = 2;

}  // namespace

bool FileReader::open(const std::string& name) { return in_.open(name, kit::Translation::binary); }

void FileReader::read_version() {
    const int c = in_.get();
    if (c < 0) {
        kit::fail(kStatusParse, name() + ": the header is cut off: the version byte and symbol count take " +
                                    std::to_string(kHeaderSize) + " bytes, the file ends at byte offset 0\n");
    }
    if (c != kVersionByte) kit::fail(kStatusVersion, "Unknown version of dat file\n");
}

std::uint32_t FileReader::read_count() {
    std::uint32_t count = 0;
    if (!read_word(count)) {
        kit::fail(kStatusParse, name() + ": the header is cut off: the version byte and symbol count take " +
                                    std::to_string(kHeaderSize) + " bytes, the file ends at byte offset " +
                                    std::to_string(in_.offset()) + "\n");
    }
    const std::uint64_t need = std::uint64_t{count} * kWordSize;
    if (!in_.has_at_least(need)) {
        kit::fail(kStatusParse, name() + ": symbol count " + std::to_string(count) + " needs a sort index of " +
                                    std::to_string(need) + " bytes from byte offset " +
                                    std::to_string(in_.offset()) + ", but the file ends at byte offset " +
                                    std::to_string(in_.offset() + in_.remaining()) + "\n");
    }
    return count;
}

void FileReader::skip_sort_index(std::uint32_t count) { in_.skip(std::uint64_t{count} * kWordSize); }

bool FileReader::read_word(std::uint32_t& value) {
    unsigned char b[kWordSize];
    if (in_.read(b, kWordSize) != kWordSize) return false;
    value = kit::word_le(b);
    return true;
}

// A text line: its bytes through the first LF; the text is without the LF.
// A line that the end of the file cuts off has no LF.
bool FileReader::read_text(std::string& text) {
    if (!in_.read_line(text) || text.empty() || text.back() != '\n') return false;
    text.pop_back();
    return true;
}

void FileReader::record_cut(std::uint32_t index, std::uint64_t start, const char* part) const {
    kit::fail(kStatusParse, name() + ": record " + kit::hex8(index) + " (from byte offset " + std::to_string(start) +
                                ") is cut off in its " + part + ": the file ends at byte offset " +
                                std::to_string(in_.offset()) + "\n");
}

// An element count is checked against the bytes left before anything is
// sized by it: `count` elements of `kind` take at least `bytes` bytes.
void FileReader::content_room(std::uint32_t index, std::uint64_t start, std::size_t count, const char* kind,
                              std::uint64_t bytes) const {
    if (in_.has_at_least(bytes)) return;
    kit::fail(kStatusParse, name() + ": record " + kit::hex8(index) + " (from byte offset " + std::to_string(start) +
                                ") is cut off in its content: " + std::to_string(count) + " " + kind +
                                (count == 1 ? " needs" : " need") + " at least " + std::to_string(bytes) + " bytes from byte offset " +
                                std::to_string(in_.offset()) + ", but the file ends at byte offset " +
                                std::to_string(in_.offset() + in_.remaining()) + "\n");
}

void FileReader::read_record(std::uint32_t index, Record& r) { walk_record(index, r, true); }

void FileReader::pass_record(std::uint32_t index, Record& r) { walk_record(index, r, false); }

// One record, its texts and words stored in `r` when `keep`, else skipped.
void FileReader::walk_record(std::uint32_t index, Record& r, bool keep) {
    const std::uint64_t start = in_.offset();
    if (!read_word(r.name_present)) record_cut(index, start, "name-present word");
    if (r.name_present != kNamePresent) kit::fail(kStatusParse, "Error parse file:item=" + kit::hex8(index) + "\n");
    if (!(keep ? read_text(r.name) : in_.skip_line())) record_cut(index, start, "name line");
    if (in_.read(r.block.data(), kPropertyBlockSize) != kPropertyBlockSize) record_cut(index, start, "property block");
    r.descriptor = decode_descriptor(r.block.data());
    r.content = content_of(r.descriptor);
    r.string_count = 0;
    switch (r.content) {
        case Content::words:
        case Content::one_word: {
            const std::size_t n = r.content == Content::words ? r.descriptor.element_count : 1;
            content_room(index, start, n, n == 1 ? "word" : "words", n * kWordSize);
            if (!keep) {
                if (in_.skip(n * kWordSize) != n * kWordSize) record_cut(index, start, "content");
                break;
            }
            r.words.resize(n);
            for (auto& w : r.words) {
                if (!read_word(w)) record_cut(index, start, "content");
            }
            break;
        }
        case Content::strings: {
            const std::size_t n = r.descriptor.element_count;
            content_room(index, start, n, n == 1 ? "string line" : "string lines", n);  // each holds its LF
            if (keep && r.strings.size() < n) r.strings.resize(n);
            for (std::size_t j = 0; j < n; ++j) {
                if (!(keep ? read_text(r.strings[j]) : in_.skip_line())) record_cut(index, start, "content");
            }
            if (keep) r.string_count = n;
            break;
        }
        case Content::marker:
        case Content::absent:
            break;
    }
    if (!read_word(r.parent)) record_cut(index, start, "parent word");
}

std::uint64_t copy_bytes(kit::Reader& in, kit::Writer& out, std::uint64_t count) {
    std::array<char, 1 << 16> piece;
    std::uint64_t done = 0;
    while (done < count) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), count - done));
        const std::size_t got = in.read(piece.data(), want);
        out.write(piece.data(), got);
        done += got;
        if (got < want) break;
    }
    return done;
}

void copy_rest(kit::Reader& in, kit::Writer& out) {
    std::array<char, 1 << 16> piece;
    for (;;) {
        const std::size_t got = in.read(piece.data(), piece.size());
        out.write(piece.data(), got);
        if (got < piece.size()) return;
    }
}

}  // namespace scriptdata
