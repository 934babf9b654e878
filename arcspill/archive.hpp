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
std::string_view type_name(std::uint8_t type);

// Width of the size field for a type byte: 0 for 0, 2 for 1, 4 for 2 to 20;
// -1 above 20 (no width).
int size_width(std::uint8_t type);

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
    Typed value(const Place& place);
    // A typed value whose size field is `width` bytes whatever its type byte
    // (the root string's length, the item count and its key entry).
    Typed fixed(const Place& place, unsigned width);

    // Fails unless the file still holds the string bytes of `v` (its size
    // field is their count), before anything is read or written for them.
    void check_string(const Place& place, const Typed& v) { need(place, v.offset, v.value, " string bytes announced"); }

    // The string bytes of string value `v` (its size field is their count):
    // replaces `out` with them.
    void string_into(const Place& place, const Typed& v, std::string& out);
    // The same bytes written to `out` up to their first zero byte, the rest
    // skipped; they go from the input's buffer to the output's in pieces, so
    // a long string costs no memory.
    void string_to(const Place& place, const Typed& v, kit::Writer& out);

private:
    void need(const Place& place, std::uint64_t start, std::uint64_t count, const char* what);
    [[noreturn]] void short_of(const Place& place, std::uint64_t start, std::uint64_t count, const char* what,
                               std::uint64_t left);
    Typed size_field(const Place& place, Typed v, unsigned width);

    kit::Reader& in_;
};

// The part of `s` before its first zero byte: what the text archive carries
// of a string.
inline std::string_view up_to_zero(std::string_view s) {
    const std::size_t z = s.find('\0');
    return z == std::string_view::npos ? s : s.substr(0, z);
}

}  // namespace arcspill
