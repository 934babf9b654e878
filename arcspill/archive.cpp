#include "arcspill/archive.hpp"

#include "stream/failure.hpp"

namespace arcspill {
namespace {

std::string place_text(const Place& place) {
    std::string s;
    if (place.item != Place::kNoItem) s = "item " + std::to_string(place.item) + " ";
    return s + place.what;
}

std::string bytes_left(std::uint64_t n) { return std::to_string(n) + (n == 1 ? " byte left" : " bytes left"); }

[[noreturn]] void cut_off(const std::string& what, std::uint64_t offset, const std::string& detail) {
    kit::fail(-1, std::string(kArchiveName) + ": " + what + " cut off at byte offset " + std::to_string(offset) +
                      ": " + detail + "\n");
}

}  // namespace

void ArchiveReader::header_without_end() const {
    kit::fail(-1, std::string(kArchiveName) + ": header cut off at byte offset " + std::to_string(in_.offset()) +
                      ": no END line\n");
}

// The failure for a value that needed `count` bytes where `left` were there.
void ArchiveReader::short_of(const Place& place, std::uint64_t start, std::uint64_t count, const char* what,
                             std::uint64_t left) {
    cut_off(place_text(place), start, std::to_string(count) + what + ", " + bytes_left(left));
}

void ArchiveReader::no_type_byte(const Place& place, std::uint64_t start) {
    cut_off(place_text(place), start, "the file ends before its type byte");
}

void ArchiveReader::no_size_width(const Place& place, std::uint64_t start, int type) {
    kit::fail(-1, std::string(kArchiveName) + ": " + place_text(place) + " at byte offset " + std::to_string(start) +
                      " has type byte " + std::to_string(type) + ", which has no size field width\n");
}

std::uint32_t ArchiveReader::word(int number) {
    const std::uint64_t start = in_.offset();
    unsigned char b[4];
    const std::uint64_t left = in_.remaining();
    const std::size_t got = left >= 4 ? in_.read(b, 4) : 0;
    if (got != 4) {
        cut_off("binary header", start,
                "word " + std::to_string(number) + " needs 4 bytes, " + bytes_left(left >= 4 ? got : left));
    }
    return kit::word_le(b);
}

Typed ArchiveReader::fixed(const Place& place, unsigned width) {
    const std::uint64_t start = in_.offset();
    const int t = in_.get();
    if (t < 0) no_type_byte(place, start);
    Typed v{static_cast<std::uint8_t>(t), 0, start};
    if (width == 0) return v;
    return size_field(place, v, width);
}

void ArchiveReader::string_into(const Place& place, const Typed& v, std::string& out) {
    // The announced length is checked against the file before anything grows.
    need(place, v.offset, v.value, " string bytes announced");
    out.clear();
    const std::size_t got = in_.append(out, v.value);
    if (got != v.value) short_of(place, v.offset, v.value, " string bytes announced", got);
}

void ArchiveReader::string_to(const Place& place, const Typed& v, kit::Writer& out) {
    need(place, v.offset, v.value, " string bytes announced");
    std::uint32_t left = v.value;
    bool cut = false;  // a zero byte was seen: the rest is read and dropped
    while (left > 0) {
        // The bytes go from the stream's buffer to the output without a copy between.
        const std::string_view piece = in_.read_view(left);
        if (piece.empty()) short_of(place, v.offset, v.value, " string bytes announced", v.value - left);
        left -= static_cast<std::uint32_t>(piece.size());
        if (cut) continue;
        const std::size_t zero = piece.find('\0');
        out.write(piece.substr(0, zero));
        cut = zero != std::string_view::npos;
    }
}

}  // namespace arcspill
