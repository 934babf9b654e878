// The symbol dump: one text line per symbol record, the fields at fixed
// widths, separated by "@":
//
//   index(8) @ name-present(8) @ name @ property block(56) @ content parent(8) LF
//
// Formatting and parsing share the constants below, so the two cannot drift
// apart. Parsing is strict: every field it uses is checked, and a line that
// would be read as something other than what it says is rejected with its
// line number and column.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scriptdata/layout.hpp"
#include "scriptdata/reader.hpp"

namespace scriptdata::dump {

constexpr char kSeparator = '@';
constexpr char kStringEnd = '^';
constexpr std::string_view kEmptyMarker = "DEADBEAF";  // a content field that holds no values
constexpr std::size_t kWordDigits = 8;
constexpr std::size_t kByteDigits = 2;
constexpr std::size_t kIndexPos = 0;
constexpr std::size_t kNamePresentPos = kIndexPos + kWordDigits + 1;  // 9
constexpr std::size_t kNamePos = kNamePresentPos + kWordDigits + 1;   // 18
constexpr std::size_t kPropertyDigits = kPropertyBlockSize * kByteDigits;  // 56
constexpr std::size_t kMarkerFieldSize = kEmptyMarker.size() + 1;         // marker and its "@"
static_assert(kEmptyMarker.size() == kWordDigits);

// A UTF-8 byte order mark, which some editors put at the start of a file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The length of the dump line of `record`, LF included: its fields have
// fixed widths or the lengths of the record's texts.
inline std::size_t line_size(const RecordView& record) {
    // The views of what the record does not hold are empty; every content
    // field but an absent one ends in "@", and each string's LF becomes its
    // "^". Without a switch, so that records of mixed kinds take no branch.
    const std::size_t content = record.word_count() * kWordDigits + record.strings.size() +
                                (record.content == Content::marker ? kEmptyMarker.size() : 0) +
                                (record.content != Content::absent ? 1 : 0);
    return kNamePos + record.name.size() + 1 + kPropertyDigits + 1 + content + kWordDigits + 1;
}

// Writes the dump line of record `index` at out[0, line_size(record)).
// `record` is as scan_record or FileReader gives it: its views lie in the
// record's stored bytes, which the formatting may read past a field's end
// (never past the record's).
void format_line(std::uint32_t index, const RecordView& record, char* out);

// Replaces `out` with the dump line of record `index`, LF included.
void format_line(std::uint32_t index, const RecordView& record, std::string& out);

// One dump line as parsed: the texts are views into the parsed line. The
// vectors keep their capacity from line to line.
struct Line {
    std::string_view name;
    std::array<unsigned char, kPropertyBlockSize> block{};
    Descriptor descriptor;
    Content content = Content::absent;
    std::vector<std::uint32_t> words;        // Content::words: n; Content::one_word: one
    std::vector<std::string_view> strings;   // Content::strings: n, without their "^"
    std::string_view string_field;           // Content::strings: the n strings, each with its "^"
    std::uint32_t parent = 0;
};

// Where a parsed line comes from, for the messages of a rejected line.
struct Place {
    std::string_view file;
    std::uint64_t line_number;  // counting from 1
};

// Parses `text`, one dump line without its LF, into `out`. A line that breaks
// the format throws a Failure (status -1) naming the file, the line number
// and the column (counting from 1) with what was expected there.
void parse_line(std::string_view text, const Place& place, Line& out);

// What fold_line_in_place made of a line: the line's size, LF included,
// and the size of its record; both 0 for a line left to the careful way.
struct Folded {
    std::size_t line_size = 0;
    std::size_t record_size = 0;
};

// Parses the dump line that starts at text[0] in place, where `text` runs on
// past the line (the rest of a reader's buffer, LF-ended lines as the text
// mode delivers them), and writes its record at `out`: the bytes that
// write_record writes for what parse_line makes of the same line. `out` has
// room for text.size() bytes (a record is shorter than its line), any of
// which it may overwrite. Gives {0, 0}, without saying why, for a line that
// parse_line would reject, and for one whose LF is not in `text`: parse_line
// on the line itself tells what is wrong.
Folded fold_line_in_place(std::string_view text, char* out);

// The size of the script data record that `line` gives, and its bytes,
// written at out[0, record_size(line)).
inline std::size_t record_size(const Line& line) {
    // Only the content's own container counts (another may still hold an
    // earlier line's): the words, or the strings, each "^" of which becomes
    // the string's LF. Without a switch, so that lines of mixed kinds take
    // no branch.
    const std::size_t content =
        (line.content == Content::words || line.content == Content::one_word ? line.words.size() * kWordSize : 0) +
        (line.content == Content::strings ? line.string_field.size() : 0);
    return kWordSize + line.name.size() + 1 + kPropertyBlockSize + content + kWordSize;
}

// `line` is as a parse gives it: its views lie in the parsed line, which the
// writing may read past a field's end (never past the line's).
void write_record(const Line& line, char* out);

}  // namespace scriptdata::dump
