// The line list "ou.txt": one list line for every text block of a text
// archive, written by linespill and read back by linefold.
//
// A list line is the block line number as 8 upper-case hexadecimal digits,
// "@", the block name, "@", the block text and a line end (written in text
// mode, so it reaches the file as CR LF). Nothing is escaped: a name or text
// may hold "@", so a reader takes the block text after the line's last "@".
// The number is read back leniently (white space, sign, "0x", fewer or
// lower-case digits), and only serves linefold's check that numbers rise.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

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

// The read, of those reads, that holds the byte at `offset` of the line.
inline std::uint64_t read_at(std::size_t offset) { return offset / kReadPiece; }

// The line without its final LF, if it has one; any other last byte stays.
inline std::string_view without_lf(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    return line;
}

// Finds a marker in lines. Its searcher is set up once and moves ahead by up
// to the marker's length at each look, where a plain search would stop at
// every byte that could begin the marker.
class MarkerFinder {
public:
    explicit MarkerFinder(std::string_view marker) : size_(marker.size()), searcher_(marker.begin(), marker.end()) {}

    // Index just past the first occurrence of the marker in `line`, or
    // nothing when the line does not hold it.
    std::optional<std::size_t> end_in(std::string_view line) const {
        const auto at = std::search(line.begin(), line.end(), searcher_);
        if (at == line.end()) return std::nullopt;
        return static_cast<std::size_t>(at - line.begin()) + size_;
    }

private:
    std::size_t size_;
    std::boyer_moore_horspool_searcher<std::string_view::const_iterator> searcher_;
};

// First half of a list line, written when the name-marker line is read:
// number, "@", name, "@".
inline void write_head(kit::Writer& out, std::uint32_t number, std::string_view name) {
    out.put_hex8(number);
    out.put('@');
    out.write(name);
    out.put('@');
}

// Second half of a list line, written when the text-marker line is read: the
// text and the line end.
inline void write_tail(kit::Writer& out, std::string_view text) {
    out.write(text);
    out.put('\n');
}

// The block line number at the start of a list line: a hexadecimal field of
// up to 8 places. Nothing when no digit can be read there.
std::optional<std::uint32_t> read_number(std::string_view list_line);

// The block text of a list line: every byte after its last "@", the line end
// included. Nothing when the line holds no "@".
inline std::optional<std::string_view> block_text(std::string_view list_line) {
    const std::size_t at = list_line.rfind('@');
    if (at == std::string_view::npos) return std::nullopt;
    return list_line.substr(at + 1);
}

}  // namespace linelist
