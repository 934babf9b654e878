#include "scriptdata/reader.hpp"

#include "scriptdata/bytes.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

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
    unsigned char word[kWordSize];
    if (in_.read(word, kWordSize) != kWordSize) {
        kit::fail(kStatusParse, name() + ": the header is cut off: the version byte and symbol count take " +
                                    std::to_string(kHeaderSize) + " bytes, the file ends at byte offset " +
                                    std::to_string(in_.offset()) + "\n");
    }
    const std::uint32_t count = kit::word_le(word);
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

std::size_t scan_record(std::string_view bytes, RecordView& r) {
    const char* const begin = bytes.data();
    const char* const end = begin + bytes.size();
    const char* p = begin;
    const auto left = [&p, end] { return static_cast<std::size_t>(end - p); };
    if (left() < kWordSize || kit::word_le(reinterpret_cast<const unsigned char*>(p)) != kNamePresent) return 0;
    p += kWordSize;
    // Names are mostly short: their first 32 bytes are looked at together.
    const char* const lf = bytes::find_first<'\n', '\n', 32>(p, end);
    if (lf == nullptr) return 0;
    r.name = std::string_view(p, static_cast<std::size_t>(lf - p));
    p = lf + 1;
    if (left() < kPropertyBlockSize) return 0;
    r.block = reinterpret_cast<const unsigned char*>(p);
    r.descriptor = decode_descriptor(r.block);
    r.content = content_of(r.descriptor);
    p += kPropertyBlockSize;
    // The words, then the string lines: at most one of the two is there.
    // Counted without a switch, so that records of mixed kinds take as few
    // branches as they can.
    const std::size_t n = r.descriptor.element_count;
    const std::size_t word_bytes =
        (r.content == Content::words ? n : r.content == Content::one_word ? 1 : 0) * kWordSize;
    if (left() < word_bytes) return 0;
    r.words = std::string_view(p, word_bytes);
    p += word_bytes;
    const char* const strings = p;
    p = bytes::past_lines(p, end, r.content == Content::strings ? n : 0);
    if (p == nullptr) return 0;
    r.strings = std::string_view(strings, static_cast<std::size_t>(p - strings));
    if (left() < kWordSize) return 0;
    r.parent = kit::word_le(reinterpret_cast<const unsigned char*>(p));
    p += kWordSize;
    return static_cast<std::size_t>(p - begin);
}

// Reads `count` bytes, appended to *keep when given; false when the file
// ends first.
bool FileReader::read_bytes(std::size_t count, std::string* keep) {
    return (keep != nullptr ? in_.append(*keep, count) : in_.skip(count)) == count;
}

// Reads a text line through its LF, appended to *keep (LF included) when
// given; false when the file ends first (a line the end cuts off has no LF).
bool FileReader::read_line(std::string* keep) {
    if (keep == nullptr) return in_.skip_line();
    if (!in_.read_line(line_) || line_.back() != '\n') return false;
    keep->append(line_);
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

// A record that does not lie whole in the buffer: its bytes are gathered in
// `spill` with every check, then taken as views into it.
void FileReader::read_record_across(std::uint32_t index, RecordView& r, std::string& spill) {
    spill.clear();
    walk_record(index, &spill);
    [[maybe_unused]] const std::size_t size = scan_record(spill, r);
    assert(size == spill.size());
}

// The careful reading of record `index`: every part through the stream with
// its check, the bytes appended to *keep when given, else passed over.
void FileReader::walk_record(std::uint32_t index, std::string* keep) {
    const std::uint64_t start = in_.offset();
    unsigned char present[kWordSize];
    if (in_.read(present, kWordSize) != kWordSize) record_cut(index, start, "name-present word");
    if (kit::word_le(present) != kNamePresent) kit::fail(kStatusParse, "Error parse file:item=" + kit::hex8(index) + "\n");
    if (keep != nullptr) keep->append(reinterpret_cast<const char*>(present), kWordSize);
    if (!read_line(keep)) record_cut(index, start, "name line");
    unsigned char block[kPropertyBlockSize];
    if (in_.read(block, kPropertyBlockSize) != kPropertyBlockSize) record_cut(index, start, "property block");
    if (keep != nullptr) keep->append(reinterpret_cast<const char*>(block), kPropertyBlockSize);
    const Descriptor descriptor = decode_descriptor(block);
    switch (content_of(descriptor)) {
        case Content::words:
        case Content::one_word: {
            const std::size_t n = content_of(descriptor) == Content::words ? descriptor.element_count : 1;
            content_room(index, start, n, n == 1 ? "word" : "words", n * kWordSize);
            if (!read_bytes(n * kWordSize, keep)) record_cut(index, start, "content");
            break;
        }
        case Content::strings: {
            const std::size_t n = descriptor.element_count;
            content_room(index, start, n, n == 1 ? "string line" : "string lines", n);  // each holds its LF
            for (std::size_t j = 0; j < n; ++j) {
                if (!read_line(keep)) record_cut(index, start, "content");
            }
            break;
        }
        case Content::marker:
        case Content::absent:
            break;
    }
    if (!read_bytes(kWordSize, keep)) record_cut(index, start, "parent word");
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
