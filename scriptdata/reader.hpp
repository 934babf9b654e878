// Reads a script data file front to back: the version byte, the symbol count,
// the sort index, then one symbol record at a time. Every read checks that the
// file still holds what it needs, so a file that ends early is reported with
// the part that was cut and the byte offsets involved, and a count is checked
// against the bytes left before anything is allocated or looped over.
//
// A record is taken in place, as views into the stream's buffer, whenever it
// lies there whole and is sound; only a record that runs past the buffer (or
// is damaged) goes the careful way, byte by byte through the stream with every
// check and message. Both ways end in the same views, so what is made of a
// record does not depend on where the buffer happened to end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scriptdata/layout.hpp"
#include "stream/stream.hpp"

namespace scriptdata {

// One symbol record as views of its stored bytes (its name-present word is
// always kNamePresent: a record with another one is rejected). The views are
// into the reader's buffer or into the caller's spill string, good until the
// next read from the file or use of the spill.
struct RecordView {
    std::string_view name;  // without its LF; may hold any byte but LF
    const unsigned char* block = nullptr;  // the kPropertyBlockSize bytes of the property block
    Descriptor descriptor;
    Content content = Content::absent;
    // Content::words: n words; Content::one_word: one; kWordSize bytes each,
    // little-endian, as stored. Empty for other contents.
    std::string_view words;
    // Content::strings: the n string lines as stored, each ended by its LF
    // (a string holds no LF). Empty for other contents.
    std::string_view strings;
    std::uint32_t parent = 0;

    std::size_t word_count() const { return words.size() / kWordSize; }
    std::uint32_t word(std::size_t i) const {
        return kit::word_le(reinterpret_cast<const unsigned char*>(words.data()) + i * kWordSize);
    }
};

// The record that starts at bytes[0], when it lies in `bytes` whole and its
// name-present word is kNamePresent: fills `record` with views into `bytes`
// and returns the record's size in bytes. Returns 0 otherwise (the record
// runs past the end of `bytes`, or is rejected), without saying why: the
// careful reading of FileReader tells.
std::size_t scan_record(std::string_view bytes, RecordView& record);

class FileReader {
public:
    // Opens the file for binary reading; false when it cannot be opened.
    bool open(const std::string& name);
    const std::string& name() const { return in_.name(); }

    // Reads the version byte: "Unknown version of dat file\n" (status 2) when
    // it is not '2'.
    void read_version();

    // Reads the symbol count and checks that the file holds its sort index;
    // the stream then stands at the start of the sort index.
    std::uint32_t read_count();

    // Passes over the sort index of `count` words (checked by read_count).
    void skip_sort_index(std::uint32_t count);

    // Reads symbol record `index` into `record`: views into the stream's
    // buffer when the record lies there whole, else into `spill`, which then
    // holds the record's bytes. A name-present word other than 1 gives
    // "Error parse file:item=%08X\n" (status -1); a record cut off by the end
    // of the file names the part cut and the byte offsets.
    void read_record(std::uint32_t index, RecordView& record, std::string& spill) {
        if (const std::size_t size = scan_record(whole_buffered(), record)) {
            in_.consume(size);
            return;
        }
        read_record_across(index, record, spill);
    }

    // Reads symbol record `index` as read_record does one that runs past the
    // buffer, wherever it lies: for checking that both ways agree.
    void read_record_carefully(std::uint32_t index, RecordView& record, std::string& spill) {
        read_record_across(index, record, spill);
    }

    // Passes over symbol record `index` with every check of read_record.
    void pass_record(std::uint32_t index) {
        RecordView record;
        if (const std::size_t size = scan_record(whole_buffered(), record)) {
            in_.consume(size);
            return;
        }
        walk_record(index, nullptr);
    }

    // The underlying stream, for copying the sort index and the code tail.
    kit::Reader& stream() { return in_; }

private:
    // What the buffer holds of the file as it was at open: a record found
    // whole there passes every check of the careful reading.
    std::string_view whole_buffered() const {
        const std::string_view b = in_.buffered();
        return in_.remaining() >= b.size() ? b : b.substr(0, static_cast<std::size_t>(in_.remaining()));
    }
    void read_record_across(std::uint32_t index, RecordView& record, std::string& spill);
    [[noreturn]] void record_cut(std::uint32_t index, std::uint64_t start, const char* part) const;
    void content_room(std::uint32_t index, std::uint64_t start, std::size_t count, const char* kind,
                      std::uint64_t bytes) const;
    void walk_record(std::uint32_t index, std::string* keep);
    bool read_bytes(std::size_t count, std::string* keep);
    bool read_line(std::string* keep);

    kit::Reader in_;
    std::string line_;  // a line of the careful reading
};

// Copies exactly `count` bytes from `in` to `out` in fixed-size pieces;
// returns how many were there.
std::uint64_t copy_bytes(kit::Reader& in, kit::Writer& out, std::uint64_t count);

// Copies everything left in `in` to `out` in fixed-size pieces.
void copy_rest(kit::Reader& in, kit::Writer& out);

}  // namespace scriptdata
