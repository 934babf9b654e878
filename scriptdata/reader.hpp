// Reads a script data file front to back: the version byte, the symbol count,
// the sort index, then one symbol record at a time. Every read checks that the
// file still holds what it needs, so a file that ends early is reported with
// the part that was cut and the byte offsets involved, and a count is checked
// against the bytes left before anything is allocated or looped over.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scriptdata/layout.hpp"
#include "stream/stream.hpp"

namespace scriptdata {

// One symbol record as read. The containers keep their capacity from record
// to record, so a walk over many records allocates only for the largest.
struct Record {
    std::uint32_t name_present = 0;
    std::string name;  // without its LF; may hold any byte but LF
    std::array<unsigned char, kPropertyBlockSize> block{};
    Descriptor descriptor;
    Content content = Content::absent;
    std::vector<std::uint32_t> words;  // Content::words: n words; Content::one_word: one
    std::vector<std::string> strings;  // Content::strings: the first string_count, without LF
    std::size_t string_count = 0;
    std::uint32_t parent = 0;
};

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

    // Reads symbol record `index` into `record`. A name-present word other
    // than 1 gives "Error parse file:item=%08X\n" (status -1).
    void read_record(std::uint32_t index, Record& record);

    // Passes over symbol record `index` with every check of read_record, for
    // a walk that only needs to get past the records: the fixed fields are
    // read into `record`, but its name, words and strings are skipped, not
    // stored (record.name and the containers are left as they were, and
    // string_count is 0).
    void pass_record(std::uint32_t index, Record& record);

    // The underlying stream, for copying the sort index and the code tail.
    kit::Reader& stream() { return in_; }

private:
    [[noreturn]] void record_cut(std::uint32_t index, std::uint64_t start, const char* part) const;
    void content_room(std::uint32_t index, std::uint64_t start, std::size_t count, const char* kind,
                      std::uint64_t bytes) const;
    void walk_record(std::uint32_t index, Record& record, bool keep);
    bool read_word(std::uint32_t& value);
    bool read_text(std::string& text);

    kit::Reader in_;
};

// Copies exactly `count` bytes from `in` to `out` in fixed-size pieces;
// returns how many were there.
std::uint64_t copy_bytes(kit::Reader& in, kit::Writer& out, std::uint64_t count);

// Copies everything left in `in` to `out` in fixed-size pieces.
void copy_rest(kit::Reader& in, kit::Writer& out);

}  // namespace scriptdata
