// The line list "ou.txt": one list line for every text block of a text
// archive, written by linespill and read back by linefold.
//
// A list line is the block line number as 8 upper-case hexadecimal digits,
// "@", the block name, "@", the block text and a CR LF line end. Nothing is escaped: a name or text
// may hold "@", so a reader takes the block text after the line's last "@".
// The number is read back leniently (white space, sign, "0x", fewer or
// lower-case digits), and only serves linefold's check that numbers rise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "stream/hex.hpp"
#include "stream/simd.hpp"
#include "stream/stream.hpp"

// The helpers that run on every line are defined here, so that they are
// inlined and their results stay in registers.
namespace linelist {

// Markers that single out the lines of a text archive that matter; the first
// occurrence in a line counts, anywhere in the line, case-sensitively.
inline constexpr std::string_view kNameMarker = "blockName=string:";
inline constexpr std::string_view kTextMarker = "text=string:";

// The read counter of linespill numbers reads of at most this many bytes, so
// a line longer than that (its LF included) counts once for each started
// piece of this size.
inline constexpr std::size_t kReadPiece = 8999;

// Byte order mark that some editors put at the start of a file they save.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// How many reads of at most kReadPiece bytes a line of `length` bytes (LF
// included) takes; an empty read at the end of the input counts as one.
inline std::uint64_t reads_for_line(std::size_t length) {
    if (length == 0) return 1;
    return (static_cast<std::uint64_t>(length) + kReadPiece - 1) / kReadPiece;
}

// Number of LF bytes in `text`, for a fraction of an instruction per byte
// where it is long. Blocks of 64 bytes are counted each into an 8-bit sum in
// a loop of a fixed length, which compilers turn into a few wide compares;
// what is left, by words of 8 bytes, where a zero byte of the word XOR LF
// marks an LF; the last few bytes one by one.
inline std::size_t count_lf(std::string_view text) {
    constexpr std::size_t kBlock = 64;  // below 256, so the 8-bit sum cannot wrap
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FU;
    constexpr std::uint64_t kOnes = 0x0101010101010101U;
    std::size_t count = 0;
    const char* p = text.data();
    std::size_t left = text.size();
    for (; left >= kBlock; p += kBlock, left -= kBlock) {
        unsigned char in_block = 0;
        for (std::size_t i = 0; i < kBlock; ++i) in_block = static_cast<unsigned char>(in_block + (p[i] == '\n'));
        count += in_block;
    }
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);  // the byte order does not matter to a count
        word ^= kOnes * '\n';
        // The top bit of each byte set exactly where the byte is zero: the
        // low 7 bits plus 0x7F carry into it unless they are all zero.
        const std::uint64_t zero = ~(((word & kLow7) + kLow7) | word | kLow7);
        count += static_cast<std::size_t>(((zero >> 7) * kOnes) >> 56);  // the sum of the 8 flags
    }
    for (; left > 0; ++p, --left) count += *p == '\n';
    return count;
}

// How many reads the lines of `lines` take together, each counted as
// reads_for_line does. Every line ends in LF, except perhaps the last, which
// then counts as a line as well.
inline std::uint64_t reads_for_lines(std::string_view lines) {
    std::uint64_t reads = 0;
    while (!lines.empty()) {
        // Each whole line within the next kReadPiece bytes takes one read.
        const std::size_t last = lines.substr(0, kReadPiece).rfind('\n');
        if (last != std::string_view::npos) {
            reads += count_lf(lines.substr(0, last + 1));
            lines.remove_prefix(last + 1);
            continue;
        }
        // A line longer than one read.
        const std::size_t lf = lines.find('\n', kReadPiece);
        const std::size_t length = lf == std::string_view::npos ? lines.size() : lf + 1;
        reads += reads_for_line(length);
        lines.remove_prefix(length);
    }
    return reads;
}

// The read, of those reads, that holds the byte at `offset` of the line.
inline std::uint64_t read_at(std::size_t offset) { return offset / kReadPiece; }

// The line without its final LF, if it has one; any other last byte stays.
inline std::string_view without_lf(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    return line;
}

// Finds a marker in text. The search runs memchr to the next `anchor` byte,
// a byte of the marker that is rare in a text archive, and compares the
// marker whole only there, so that it passes over long texts and whole runs
// of lines in large steps instead of looking at every byte that could begin
// the marker.
class MarkerFinder {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    // `anchor` must occur in `marker`.
    constexpr MarkerFinder(std::string_view marker, char anchor)
        : marker_(marker), anchor_(anchor), lead_(marker.find(anchor)) {
        if (marker.size() < 8 || marker.size() > 24) throw "a marker is compared as words: 8 to 24 bytes";
    }

    std::size_t size() const { return marker_.size(); }
    constexpr char anchor() const { return anchor_; }
    // How far into the marker its anchor stands.
    constexpr std::size_t lead() const { return lead_; }
    // Where an occurrence starts whose anchor stands at `anchor`.
    constexpr const char* start_at(const char* anchor) const { return anchor - lead_; }

    // Index of the first occurrence of the marker in `text` that starts at
    // or after `from` (at most text.size()), or npos.
    std::size_t find(std::string_view text, std::size_t from = 0) const {
        if (text.size() - from < marker_.size()) return npos;
        const char* const begin = text.data();
        // An occurrence at `start` has its anchor at start + lead_; the last
        // anchor looked at leaves room for the rest of the marker.
        const char* at = begin + from + lead_;
        const char* const last = begin + text.size() - (marker_.size() - lead_);
        while (at <= last) {
            const void* hit = std::memchr(at, anchor_, static_cast<std::size_t>(last - at) + 1);
            if (hit == nullptr) return npos;
            const char* const start = static_cast<const char*>(hit) - lead_;
            if (std::memcmp(start, marker_.data(), marker_.size()) == 0) return static_cast<std::size_t>(start - begin);
            at = static_cast<const char*>(hit) + 1;
        }
        return npos;
    }

    // Whether the marker stands with its anchor at `anchor`, in a line that
    // starts at `line` (no LF lies between) in bytes that end at `end`.
    enum class Match { no, yes, past_end };
    Match at_anchor(const char* anchor, const char* line, const char* end) const {
        // A marker holds no LF, so it cannot start before its line.
        if (static_cast<std::size_t>(anchor - line) < lead_) return Match::no;
        const char* const start = anchor - lead_;
        if (static_cast<std::size_t>(end - start) < marker_.size()) return Match::past_end;
        return equals_marker(start) ? Match::yes : Match::no;
    }

private:
    // Whether the marker stands at `p`: compared as three words of 8 bytes
    // (the first, the second and the last, overlapping), which a marker of 8
    // to 24 bytes fills, without a call.
    bool equals_marker(const char* p) const {
        const char* const m = marker_.data();
        const std::size_t last = marker_.size() - 8;
        const std::size_t middle = last < 8 ? last : 8;
        return word8(p) == word8(m) && word8(p + middle) == word8(m + middle) && word8(p + last) == word8(m + last);
    }
    static std::uint64_t word8(const char* p) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);  // the byte order does not matter to a comparison
        return word;
    }

    std::string_view marker_;
    char anchor_;
    std::size_t lead_;  // index of the anchor in the marker
};

// The anchors: the capital N of the name marker, which stands in no key but
// that one; the x of the text marker, rare in words and in no other key
// ("=" would stop at every property line).
inline constexpr MarkerFinder kNameFinder(kNameMarker, 'N');
inline constexpr MarkerFinder kTextFinder(kTextMarker, 'x');

// First half of a list line, written when the name-marker line is read:
// number, "@", name, "@".
inline void write_head(kit::Writer& out, std::uint32_t number, std::string_view name) {
    out.put_hex8(number);
    out.put('@');
    out.write(name);
    out.put('@');
}

// Second half of a list line, written when the text-marker line is read: the
// text and the line end. The list is written in binary mode with its CR LF
// spelled out: names and texts come from within a line and hold no LF, so a
// text-mode stream would have nothing else to translate, and its search for
// LFs would be spent in vain.
inline void write_tail(kit::Writer& out, std::string_view text) {
    out.write(text);
    out.write("\r\n", 2);
}

// The lenient field reading of read_number, for any start of a line.
bool read_hex_number(std::string_view list_line, std::uint32_t& number);

// The block line number at the start of a list line: a hexadecimal field of
// up to 8 places, put in `number`. False, and `number` untouched, when no
// digit can be read there. (A flag and a reference rather than an optional:
// the optional's value and flag went through memory on every line.)
inline bool read_number(std::string_view list_line, std::uint32_t& number) {
    // The 8 digits that linespill writes are read here at once; they leave no
    // room for white space, a sign or a "0x" in front.
    if (list_line.size() >= 8) {
        std::uint32_t value = 0;
        std::size_t i = 0;
        for (; i < 8; ++i) {
            const int digit = kit::hex_digit_value(static_cast<unsigned char>(list_line[i]));
            if (digit < 0) break;
            value = (value << 4) | static_cast<std::uint32_t>(digit);
        }
        if (i == 8) {
            number = value;
            return true;
        }
    }
    return read_hex_number(list_line, number);
}

// The block text of a list line: every byte after its last "@", the line end
// included. Nothing when the line holds no "@".
inline std::optional<std::string_view> block_text(std::string_view list_line) {
    const char* const end = list_line.data() + list_line.size();
    const char* const last = kit::find_last<'@'>(list_line.data(), end);
    if (last == nullptr) return std::nullopt;
    return std::string_view(last + 1, static_cast<std::size_t>(end - last - 1));
}

}  // namespace linelist
