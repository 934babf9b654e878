// Reading the binary-safe text library archive "ou.bin", strictly front to
// back: header lines up to "END\n", three binary header words, then typed
// values in the fixed order of the file (root string, item count, 18 values
// per item). Which value stands where is known from its place alone; the type
// byte only decides how wide the size field is and which type name goes with it.
//
// Every read checks that the file still holds the bytes it needs, against the
// file size taken at open, before it reads or allocates anything; a value cut
// off by the end of the file, or a type byte without a size width, ends the
// run with a one-line kit::Failure naming the value and its byte offset.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "stream/stream.hpp"

namespace arcspill {

inline constexpr const char* kArchiveName = "ou.bin";

// Header lines longer than this arrive in pieces, each compared by itself.
inline constexpr std::size_t kHeaderPiece = 3999;

// Name written in property lines for a type byte: "nul", "string", "int",
// "float", "enum", "item"; empty for 4 to 16 and for every byte above 18.
inline constexpr std::array<std::string_view, 19> kTypeNames = {
    "nul", "string", "int", "float", "", "", "", "", "", "", "", "", "", "", "", "", "", "enum", "item"};
constexpr std::string_view type_name(std::uint8_t type) { return type < kTypeNames.size() ? kTypeNames[type] : ""; }

// Width of the size field for a type byte: 0 for 0, 2 for 1, 4 for 2 to 20;
// -1 above 20 (no width).
inline constexpr std::array<signed char, 256> kSizeWidths = [] {
    std::array<signed char, 256> widths{};
    for (std::size_t type = 0; type < widths.size(); ++type) {
        widths[type] = static_cast<signed char>(type == 0 ? 0 : type == 1 ? 2 : type <= 20 ? 4 : -1);
    }
    return widths;
}();
constexpr int size_width(std::uint8_t type) { return kSizeWidths[type]; }

// Where a value stands, for messages: "root string", "item 3 text", ...
struct Place {
    const char* what;
    std::uint64_t item = kNoItem;  // item index from 0, or kNoItem
    static constexpr std::uint64_t kNoItem = ~std::uint64_t{0};
};

// A typed value as read: its type byte, its size field (0 when the field is
// narrower than 4 bytes, filled from the low byte up) and the byte offset of
// its type byte.
struct Typed {
    std::uint8_t type;
    std::uint32_t value;
    std::uint64_t offset;
};

class ArchiveReader {
public:
    // `in` is open in binary mode.
    explicit ArchiveReader(kit::Reader& in) : in_(in) {}

    // Reads the next header line piece: bytes through the next LF, at most
    // kHeaderPiece of them. False when the file has no byte left.
    bool header_piece(std::string& piece) { return in_.read_line_piece(piece, kHeaderPiece); }
    // The failure for a header without its "END\n" line.
    [[noreturn]] void header_without_end() const;

    // One binary header word (number 1 to 3).
    std::uint32_t word(int number);

    // A typed value whose size field width comes from its type byte.
    Typed value(const Place& place) {
        const std::uint64_t start = in_.offset();
        const int t = in_.get();
        if (t < 0) no_type_byte(place, start);
        const int width = size_width(static_cast<std::uint8_t>(t));
        if (width < 0) no_size_width(place, start, t);
        Typed v{static_cast<std::uint8_t>(t), 0, start};
        if (width == 0) return v;
        return size_field(place, v, static_cast<unsigned>(width));
    }
    // A typed value whose size field is `width` bytes whatever its type byte
    // (the root string's length, the item count and its key entry).
    Typed fixed(const Place& place, unsigned width);

    // Fails unless the file still holds the string bytes of `v` (its size
    // field is their count), before anything is read or written for them.
    void check_string(const Place& place, const Typed& v) { need(place, v.offset, v.value, " string bytes announced"); }

    // What the input's buffer holds now, up to the file's size at open (which
    // every read checks against), and passing over part of it, for a caller
    // that walks whole items in place (see kit::Reader::buffered).
    std::string_view buffered() const {
        const std::string_view bytes = in_.buffered();
        return bytes.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), in_.remaining())));
    }
    void consume(std::size_t count) { in_.consume(count); }

    // The string bytes of string value `v` (its size field is their count):
    // replaces `out` with them.
    void string_into(const Place& place, const Typed& v, std::string& out);
    // The same bytes written to `out` up to their first zero byte, the rest
    // skipped; they go from the input's buffer to the output's in pieces, so
    // a long string costs no memory.
    void string_to(const Place& place, const Typed& v, kit::Writer& out);

private:
    // The reads of every value are defined here, so that they are inlined;
    // their failures, which build messages, are not.

    // Fails unless `count` more bytes are left for the value that starts at `start`.
    void need(const Place& place, std::uint64_t start, std::uint64_t count, const char* what) {
        const std::uint64_t left = in_.remaining();
        if (left < count) short_of(place, start, count, what, left);
    }
    [[noreturn]] void short_of(const Place& place, std::uint64_t start, std::uint64_t count, const char* what,
                               std::uint64_t left);
    [[noreturn]] void no_type_byte(const Place& place, std::uint64_t start);
    [[noreturn]] void no_size_width(const Place& place, std::uint64_t start, int type);

    // Reads the `width` bytes of v's size field into a word cleared first,
    // the first byte as its lowest.
    Typed size_field(const Place& place, Typed v, unsigned width) {
        need(place, v.offset, width, "-byte size field");
        std::uint32_t value = 0;  // a local, not v's member: v stays in registers
        const std::size_t got = in_.read_le(width, value);
        if (got != width) short_of(place, v.offset, width, "-byte size field", got);
        v.value = value;
        return v;
    }

    kit::Reader& in_;
};

// The most bytes a type byte and its size field take.
inline constexpr std::size_t kWidestField = 5;

// The type byte that a value had the last time at its place in an item, and
// the width of its size field. Type bytes mostly stay the same from item to
// item: field_in compares the byte with the one expected, a branch that is
// predicted, and need not wait for the byte and a look-up of its width to go
// on to the next value.
struct Expected {
    std::uint8_t type = 0;
    std::uint8_t width = 0;  // size_width(type)
    std::uint32_t mask = 0;  // the bits of a word that a size field of that width fills
};

// Takes the size field (as in Typed) of the value at `p` into `value`, its
// type byte into `expected` where it differs, and moves `p` past them, when
// kWidestField bytes lie before `end` and the type byte has a size field
// width. Else returns false and leaves the value to the reads of
// ArchiveReader, which report what is wrong with it.
[[gnu::always_inline]] inline bool field_in(const char*& p, const char* end, Expected& expected,
                                            std::uint32_t& value) {
    if (end - p < static_cast<std::ptrdiff_t>(kWidestField)) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    if (b[0] != expected.type) [[unlikely]] {
        const int width = size_width(b[0]);
        if (width < 0) return false;
        const auto mask = static_cast<std::uint32_t>((std::uint64_t{1} << (8 * width)) - 1);
        expected = {b[0], static_cast<std::uint8_t>(width), mask};
    }
    // One load of four bytes, the bytes past the field's width masked off.
    value = kit::word_le(b + 1) & expected.mask;
    p += 1 + expected.width;
    return true;
}

// The part of `s` before its first zero byte: what the text archive carries
// of a string.
inline std::string_view up_to_zero(std::string_view s) {
    const std::size_t z = s.find('\0');
    return z == std::string_view::npos ? s : s.substr(0, z);
}

}  // namespace arcspill
