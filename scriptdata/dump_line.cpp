#include "scriptdata/dump_line.hpp"

#include "scriptdata/bytes.hpp"

#include <array>
#include <cstring>
#include <string_view>

#include "stream/failure.hpp"
#include "stream/hex.hpp"

namespace scriptdata::dump {
namespace {

constexpr int kStatusBadLine = -1;

// Reads exactly 8 hexadecimal digits (either case) at text[pos]; false when
// the line ends first or another character stands among them.
[[gnu::always_inline]] inline bool hex_word(std::string_view text, std::size_t pos, std::uint32_t& value) {
    if (pos > text.size() || text.size() - pos < kWordDigits) return false;
    return bytes::get_hex8(text.data() + pos, value);
}

// Reads the property block's bytes, two hexadecimal digits each, at
// text[pos]; false when the line ends first or another character stands
// among them.
[[gnu::always_inline]] inline bool hex_block(std::string_view text, std::size_t pos, std::array<unsigned char, kPropertyBlockSize>& block) {
    if (pos > text.size() || text.size() - pos < kPropertyDigits) return false;
    return bytes::get_hex_bytes<kPropertyBlockSize>(text.data() + pos, block.data());
}

// Throws the message of a rejected line: what was expected at `pos` (counting
// from 0), and where the line ends when the expected field does not fit it.
// Out of line, so that the checks that call it stay small.
[[noreturn, gnu::cold, gnu::noinline]] void reject(const Place& place, std::string_view text, std::size_t pos,
                                                   std::size_t width, std::string_view expected,
                                                   std::string_view field = {}) {
    std::string m(place.file);
    m += ": line " + std::to_string(place.line_number) + ", column " + std::to_string(pos + 1) + ": expected ";
    m += expected;
    m += field;
    if (pos + width > text.size()) m += ", but the line ends after " + std::to_string(text.size()) + " characters";
    m += "\n";
    kit::fail(kStatusBadLine, std::move(m));
}

[[gnu::always_inline]] inline void expect_separator(const Place& place, std::string_view text, std::size_t pos) {
    if (pos >= text.size() || text[pos] != kSeparator) reject(place, text, pos, 1, "the separator \"@\"");
}

[[gnu::always_inline]] inline std::uint32_t expect_word(const Place& place, std::string_view text, std::size_t pos, std::string_view field) {
    std::uint32_t value = 0;
    if (!hex_word(text, pos, value)) reject(place, text, pos, kWordDigits, "the 8 hexadecimal digits of the ", field);
    return value;
}

}  // namespace

// The fields before the name: the index field (8 digits), "@", the
// name-present field, whose only accepted value has one spelling, and "@".
constexpr std::string_view kAfterIndex = "@00000001@";
static_assert(kAfterIndex.size() == kNamePos - kWordDigits && kNamePresent == 1);

// Names up to this long are copied with one fixed-size copy of this many
// bytes, both ways (record to line, line to record), which may run past the
// name into the rest of the record and of the line (both hold at least this
// many bytes from the name's start on), and which the fields after the name
// then overwrite.
constexpr std::size_t kShortName = 32;
static_assert(kShortName <= 1 + kPropertyBlockSize + kWordSize, "the record's bytes after a name");
static_assert(kShortName <= 1 + kPropertyDigits + 1 + kWordDigits, "the line's characters after a name");

void format_line(std::uint32_t index, const RecordView& r, char* p) {
    const auto word = [&p](std::uint32_t value) {
        bytes::put_hex8(p, value);
        p += kWordDigits;
    };
    const auto bytes = [&p](std::string_view text) {
        if (!text.empty()) std::memcpy(p, text.data(), text.size());
        p += text.size();
    };
    word(index);
    std::memcpy(p, kAfterIndex.data(), kAfterIndex.size());
    p += kAfterIndex.size();
    if (r.name.size() <= kShortName) {
        // A fixed-size copy, without a call: the record holds at least the
        // property block after the name, and the line the property field.
        std::memcpy(p, r.name.data(), kShortName);
        p += r.name.size();
    } else {
        bytes(r.name);
    }
    *p++ = kSeparator;
    bytes::put_hex_bytes<kPropertyBlockSize>(p, r.block);
    p += kPropertyDigits;
    *p++ = kSeparator;
    switch (r.content) {
        case Content::marker:
            bytes(kEmptyMarker);
            *p++ = kSeparator;
            break;
        case Content::words:
        case Content::one_word:
            bytes::put_hex_words_le(p, reinterpret_cast<const unsigned char*>(r.words.data()), r.word_count());
            p += r.words.size() * (kWordDigits / kWordSize);
            *p++ = kSeparator;
            break;
        case Content::strings:
            // The string lines as stored, each LF turned into the "^" that
            // ends a string in the dump (a string holds no LF).
            bytes::copy_replacing<'\n', kStringEnd>(p, r.strings.data(), r.strings.size());
            p += r.strings.size();
            *p++ = kSeparator;
            break;
        case Content::absent:
            break;
    }
    word(r.parent);
    *p = '\n';
}

void format_line(std::uint32_t index, const RecordView& r, std::string& out) {
    // The string's capacity carries over from line to line.
    out.resize(line_size(r));
    format_line(index, r, out.data());
}

// Checks the fields before the name one by one, for the message of the
// first that is wrong.
[[gnu::cold, gnu::noinline]] void check_head(std::string_view text, const Place& place) {
    expect_word(place, text, kIndexPos, "index field");  // its value is not used: line k is record k
    expect_separator(place, text, kIndexPos + kWordDigits);
    const std::uint32_t name_present = expect_word(place, text, kNamePresentPos, "name-present field");
    if (name_present != kNamePresent) {
        kit::fail(kStatusBadLine, std::string(place.file) + ": line " + std::to_string(place.line_number) +
                                      ", column " + std::to_string(kNamePresentPos + 1) + ": name-present field " +
                                      kit::hex8(name_present) + " is not " + kit::hex8(kNamePresent) + "\n");
    }
    expect_separator(place, text, kNamePresentPos + kWordDigits);
}

void parse_line(std::string_view text, const Place& place, Line& out) {
    std::uint32_t index = 0;  // its value is not used: line k is record k
    if (text.size() < kNamePos || !bytes::get_hex8(text.data() + kIndexPos, index) ||
        text.substr(kIndexPos + kWordDigits, kAfterIndex.size()) != kAfterIndex) {
        check_head(text, place);
    }

    const char* const end = text.data() + text.size();
    const char* const name_end = text.size() > kNamePos ? bytes::find_first<kSeparator>(text.data() + kNamePos, end) : nullptr;
    if (name_end == nullptr) reject(place, text, kNamePos, 1, "the \"@\" that ends the name");
    out.name = std::string_view(text.data() + kNamePos, static_cast<std::size_t>(name_end - text.data()) - kNamePos);
    std::size_t pos = kNamePos + out.name.size() + 1;

    if (!hex_block(text, pos, out.block)) {
        reject(place, text, pos, kPropertyDigits, "the 56 hexadecimal digits of the property field");
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
                if (!hex_word(text, pos, out.words[j])) {
                    reject(place, text, pos, kWordDigits,
                           out.content == Content::one_word
                               ? std::string("the 8 hexadecimal digits of the word element")
                               : "the 8 hexadecimal digits of word element " + std::to_string(j + 1) + " of " +
                                     std::to_string(count));
                }
                pos += kWordDigits;
            }
            expect_separator(place, text, pos);
            ++pos;
            break;
        }
        case Content::strings: {
            const std::size_t first = pos;
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
                    const char* const string_end =
                        pos < text.size() ? bytes::find_first<kStringEnd>(text.data() + pos, end) : nullptr;
                    if (string_end == nullptr) {
                        reject(place, text, pos, 1,
                               "string " + std::to_string(j + 1) + " of " + std::to_string(n) +
                                   " ended by \"^\", as the element count asks");
                    }
                    out.strings[j] = std::string_view(text.data() + pos, static_cast<std::size_t>(string_end - (text.data() + pos)));
                    pos += out.strings[j].size() + 1;
                }
            }
            out.string_field = text.substr(first, pos - first);
            expect_separator(place, text, pos);
            ++pos;
            break;
        }
        case Content::absent:
            break;
    }
    out.parent = expect_word(place, text, pos, "parent field");  // anything after it is not looked at
}

// Names are mostly short: the search for a name's end looks at this many
// bytes together first, as the record walk does. A name that runs past them
// costs a branch the processor cannot foresee when names of both kinds mix;
// with 32 rather than 16, nearly every name ends within them (10 % fewer
// mispredicted branches on generated dumps, for one more register compared).
constexpr std::ptrdiff_t kShortText = 32;

// The same checks as parse_line, in the same order, but bounded by the end
// of `text` instead of the line's: a field or a search that might run past
// the LF is also checked not to (hexadecimal digits and "@" are no LF). The
// record is written as the fields are read, as write_record writes it; each
// write comes after the check that the line holds the field, and a record
// is shorter than its line, so none leaves out[0, text.size()).
Folded fold_line_in_place(std::string_view text, char* const out) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const auto left = [end](const char* p) { return static_cast<std::size_t>(end - p); };
    if (text.size() < kNamePos || !bytes::hex8_followed_by(begin + kIndexPos, kAfterIndex.data()) ||
        std::memcmp(begin + kIndexPos + 2 * kWordDigits, kAfterIndex.data() + kWordDigits,
                    kAfterIndex.size() - kWordDigits) != 0) {
        return {};
    }
    const char* p = begin + kNamePos;
    const char* const name_end = bytes::find_first<kSeparator, '\n', kShortText>(p, end);
    if (name_end == nullptr || *name_end != kSeparator) return {};
    const std::size_t name_size = static_cast<std::size_t>(name_end - p);
    const char* const block = name_end + 1;
    if (left(block) < kPropertyDigits + 1 || block[kPropertyDigits] != kSeparator) return {};

    unsigned char* q = reinterpret_cast<unsigned char*>(out);
    kit::store_word_le(q, kNamePresent);
    q += kWordSize;
    if (name_size <= kShortName) {
        // A fixed-size copy, without a call: the line holds the property
        // field after the name, and the record the property block.
        std::memcpy(q, p, kShortName);
    } else {
        std::memcpy(q, p, name_size);
    }
    q += name_size;
    *q++ = '\n';
    if (!bytes::get_hex_bytes<kPropertyBlockSize>(block, q)) return {};
    const Descriptor descriptor = decode_descriptor(q);
    q += kPropertyBlockSize;
    p = block + kPropertyDigits + 1;

    const Content content = content_of(descriptor);
    const std::size_t n = descriptor.element_count;
    switch (content) {
        case Content::marker:
            // The marker's 8 characters are not looked at, but for an LF.
            static_assert(kEmptyMarker.size() == 8);
            if (left(p) < kMarkerFieldSize || p[kEmptyMarker.size()] != kSeparator || bytes::holds8<'\n'>(p)) {
                return {};
            }
            p += kMarkerFieldSize;
            break;
        case Content::words:
        case Content::one_word: {
            const std::size_t count = content == Content::words ? n : 1;
            if (left(p) < count * kWordDigits + 1 || !bytes::get_hex_words_le(p, count, q)) return {};
            q += count * kWordSize;
            p += count * kWordDigits;
            if (*p != kSeparator) return {};
            ++p;
            break;
        }
        case Content::strings: {
            const char* const first = p;
            if (n == 1) {
                // A single string runs to the last "^" of the line, and may
                // hold "^" itself: only the last becomes an LF. The rest of
                // the line is copied as it is looked at; what follows the
                // string is overwritten or left out.
                const char* const lf = bytes::copy_to_lf(reinterpret_cast<char*>(q), p, end);
                if (lf == nullptr) return {};
                const char* const string_end = bytes::find_last<kStringEnd>(p, lf);
                if (string_end == nullptr) return {};
                const std::size_t last = static_cast<std::size_t>(string_end - p);
                p += last + 1;
                q[last] = '\n';
            } else {
                // Two or more strings hold no "^": each "^" becomes an LF.
                p = bytes::copy_pieces<kStringEnd, '\n', '\n'>(reinterpret_cast<char*>(q), p, end, n);
                if (p == nullptr) return {};
            }
            q += p - first;
            if (p == end || *p != kSeparator) return {};
            ++p;
            break;
        }
        case Content::absent:
            break;
    }
    if (left(p) < kWordDigits || !bytes::get_hex_words_le(p, 1, q)) return {};
    q += kWordSize;
    p += kWordDigits;
    // Anything after the parent field is not looked at; mostly there is nothing.
    const char* const lf = p != end && *p == '\n' ? p : bytes::find_lf(p, end);
    if (lf == nullptr) return {};
    return {static_cast<std::size_t>(lf + 1 - begin), static_cast<std::size_t>(reinterpret_cast<char*>(q) - out)};
}

void write_record(const Line& line, char* p) {
    const auto word = [&p](std::uint32_t value) {
        kit::store_word_le(reinterpret_cast<unsigned char*>(p), value);
        p += kWordSize;
    };
    const auto bytes = [&p](const void* data, std::size_t size) {
        if (size != 0) std::memcpy(p, data, size);
        p += size;
    };
    word(kNamePresent);
    if (line.name.size() <= kShortName) {
        // A fixed-size copy, without a call: the line holds at least the
        // property field after the name, and the record the property block.
        std::memcpy(p, line.name.data(), kShortName);
        p += line.name.size();
    } else {
        bytes(line.name.data(), line.name.size());
    }
    *p++ = '\n';
    bytes(line.block.data(), line.block.size());
    switch (line.content) {
        case Content::words:
        case Content::one_word:
            for (const std::uint32_t w : line.words) word(w);
            break;
        case Content::strings: {
            // Each string's "^" becomes its LF. A single string may hold "^"
            // itself; two or more hold none.
            char* const first = p;
            bytes(line.string_field.data(), line.string_field.size());
            p[-1] = '\n';
            if (line.strings.size() > 1) {
                for (char* q = first; (q = const_cast<char*>(bytes::find_first<kStringEnd>(q, p))) != nullptr;) *q++ = '\n';
            }
            break;
        }
        case Content::marker:
        case Content::absent:
            break;
    }
    word(line.parent);
}

}  // namespace scriptdata::dump
