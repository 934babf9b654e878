#include "scriptdata/dump_line.hpp"

#include "stream/failure.hpp"
#include "stream/hex.hpp"

namespace scriptdata::dump {
namespace {

constexpr int kStatusBadLine = -1;

void append_word(std::string& out, std::uint32_t value) {
    char digits[kWordDigits];
    kit::put_hex8(digits, value);
    out.append(digits, kWordDigits);
}

// Throws the message of a rejected line: what was expected at `pos` (counting
// from 0), and where the line ends when the expected field does not fit it.
[[noreturn]] void reject(const Place& place, std::string_view text, std::size_t pos, std::size_t width,
                         std::string_view expected) {
    std::string m(place.file);
    m += ": line " + std::to_string(place.line_number) + ", column " + std::to_string(pos + 1) + ": expected ";
    m += expected;
    if (pos + width > text.size()) m += ", but the line ends after " + std::to_string(text.size()) + " characters";
    m += "\n";
    kit::fail(kStatusBadLine, std::move(m));
}

void expect_separator(const Place& place, std::string_view text, std::size_t pos) {
    if (pos >= text.size() || text[pos] != kSeparator) reject(place, text, pos, 1, "the separator \"@\"");
}

std::uint32_t expect_word(const Place& place, std::string_view text, std::size_t pos, std::string_view field) {
    const std::string_view rest = pos <= text.size() ? text.substr(pos) : std::string_view();
    if (!kit::is_hex_run(rest, kWordDigits)) {
        reject(place, text, pos, kWordDigits, "the 8 hexadecimal digits of the " + std::string(field));
    }
    return kit::hex_run_value(rest, kWordDigits);
}

}  // namespace

void format_line(std::uint32_t index, const Record& r, std::string& out) {
    out.clear();
    append_word(out, index);
    out += kSeparator;
    append_word(out, r.name_present);
    out += kSeparator;
    out += r.name;
    out += kSeparator;
    char pair[kByteDigits];
    for (const unsigned char b : r.block) {
        kit::put_hex2(pair, b);
        out.append(pair, kByteDigits);
    }
    out += kSeparator;
    switch (r.content) {
        case Content::marker:
            out += kEmptyMarker;
            out += kSeparator;
            break;
        case Content::words:
        case Content::one_word:
            for (const std::uint32_t w : r.words) append_word(out, w);
            out += kSeparator;
            break;
        case Content::strings:
            for (std::size_t j = 0; j < r.string_count; ++j) {
                out += r.strings[j];
                out += kStringEnd;
            }
            out += kSeparator;
            break;
        case Content::absent:
            break;
    }
    append_word(out, r.parent);
    out += '\n';
}

void parse_line(std::string_view text, const Place& place, Line& out) {
    expect_word(place, text, kIndexPos, "index field");  // its value is not used: line k is record k
    expect_separator(place, text, kIndexPos + kWordDigits);
    const std::uint32_t name_present = expect_word(place, text, kNamePresentPos, "name-present field");
    if (name_present != kNamePresent) {
        kit::fail(kStatusBadLine, std::string(place.file) + ": line " + std::to_string(place.line_number) +
                                      ", column " + std::to_string(kNamePresentPos + 1) + ": name-present field " +
                                      kit::hex8(name_present) + " is not " + kit::hex8(kNamePresent) + "\n");
    }
    expect_separator(place, text, kNamePresentPos + kWordDigits);

    const std::size_t name_end = text.size() > kNamePos ? text.find(kSeparator, kNamePos) : std::string_view::npos;
    if (name_end == std::string_view::npos) reject(place, text, kNamePos, 1, "the \"@\" that ends the name");
    out.name = text.substr(kNamePos, name_end - kNamePos);
    std::size_t pos = name_end + 1;

    const std::string_view block_digits = text.substr(pos);
    if (!kit::is_hex_run(block_digits, kPropertyDigits)) {
        reject(place, text, pos, kPropertyDigits, "the 56 hexadecimal digits of the property field");
    }
    for (std::size_t b = 0; b < kPropertyBlockSize; ++b) {
        out.block[b] = static_cast<unsigned char>(kit::hex_run_value(block_digits.substr(b * kByteDigits), kByteDigits));
    }
    pos += kPropertyDigits;
    expect_separator(place, text, pos);
    ++pos;

    out.descriptor = decode_descriptor(out.block.data());
    out.content = content_of(out.descriptor);
    const std::size_t n = out.descriptor.element_count;
    switch (out.content) {
        case Content::marker:
            // The marker's 8 characters are not looked at; its "@" is.
            if (pos + kMarkerFieldSize > text.size()) {
                reject(place, text, pos, kMarkerFieldSize, "the 9 characters of the empty content field");
            }
            pos += kEmptyMarker.size();
            expect_separator(place, text, pos);
            ++pos;
            break;
        case Content::words:
        case Content::one_word: {
            const std::size_t count = out.content == Content::words ? n : 1;
            out.words.resize(count);
            for (std::size_t j = 0; j < count; ++j) {
                const std::string_view digits = pos <= text.size() ? text.substr(pos) : std::string_view();
                if (!kit::is_hex_run(digits, kWordDigits)) {
                    reject(place, text, pos, kWordDigits,
                           out.content == Content::one_word
                               ? std::string("the 8 hexadecimal digits of the word element")
                               : "the 8 hexadecimal digits of word element " + std::to_string(j + 1) + " of " +
                                     std::to_string(count));
                }
                out.words[j] = kit::hex_run_value(digits, kWordDigits);
                pos += kWordDigits;
            }
            expect_separator(place, text, pos);
            ++pos;
            break;
        }
        case Content::strings: {
            out.strings.resize(n);
            if (n == 1) {
                // A single string runs to the last "^" of the line, so it may hold "^".
                const std::size_t end = text.rfind(kStringEnd);
                if (end == std::string_view::npos || end < pos) {
                    reject(place, text, pos, 1, "a string ended by \"^\"");
                }
                out.strings[0] = text.substr(pos, end - pos);
                pos = end + 1;
            } else {
                for (std::size_t j = 0; j < n; ++j) {
                    const std::size_t end = pos < text.size() ? text.find(kStringEnd, pos) : std::string_view::npos;
                    if (end == std::string_view::npos) {
                        reject(place, text, pos, 1,
                               "string " + std::to_string(j + 1) + " of " + std::to_string(n) +
                                   " ended by \"^\", as the element count asks");
                    }
                    out.strings[j] = text.substr(pos, end - pos);
                    pos = end + 1;
                }
            }
            expect_separator(place, text, pos);
            ++pos;
            break;
        }
        case Content::absent:
            break;
    }
    out.parent = expect_word(place, text, pos, "parent field");  // anything after it is not looked at
}

}  // namespace scriptdata::dump
