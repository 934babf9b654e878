// The script data file: a version byte, the symbol count, the sort index, the
// symbol records back to back, and a code tail carried as it is. This header
// holds the layout constants and the descriptor decoding that the reader, the
// dump line formatting and the dump line parsing all share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/stream.hpp"

namespace scriptdata {

constexpr unsigned char kVersionByte = 0x32;  // the character '2'
constexpr std::size_t kWordSize = 4;
constexpr std::size_t kHeaderSize = 1 + kWordSize;  // version byte and symbol count
constexpr std::size_t kPropertyBlockSize = 28;      // seven words
constexpr std::uint32_t kNamePresent = 1;           // the only name-present word accepted

// Byte positions of the descriptor word's parts within the property block.
constexpr std::size_t kCountLowByte = 4;   // element count bits 0..7
constexpr std::size_t kCountTypeByte = 5;  // element count bits 8..11 low, type code high
constexpr std::size_t kFlagsByte = 6;      // bit of value 4: the no-content flag
constexpr unsigned kNoContentBit = 4;

struct Descriptor {
    std::uint32_t element_count = 0;  // 0..4095
    unsigned type_code = 0;           // 0..15
    bool no_content = false;
};

// The three bytes are taken together as one little-endian word (with the
// byte after them, which is not used), which compilers read at once.
inline Descriptor decode_descriptor(const unsigned char* block) {
    static_assert(kCountTypeByte == kCountLowByte + 1 && kFlagsByte == kCountLowByte + 2);
    static_assert(kCountLowByte + 4 <= kPropertyBlockSize);
    const std::uint32_t word = kit::word_le(block + kCountLowByte);
    Descriptor d;
    d.element_count = word & 0xFFFu;
    d.type_code = word >> 12 & 0xFu;
    d.no_content = (word >> 16 & kNoContentBit) != 0;
    return d;
}

// What a record carries after its property block, decided by its descriptor
// (first matching rule wins): the no-content flag, then the type code.
enum class Content {
    marker,    // nothing stored; the dump shows the empty-content marker
    words,     // types 1 and 2 with n >= 1: n words
    strings,   // type 3 with n >= 1: n text lines
    one_word,  // types 4 to 7: one word whatever n
    absent,    // type 0 and 8 to 15: nothing stored, nothing in the dump
};

// The content of each type code when the no-content flag is clear and the
// element count is not 0.
inline constexpr Content kContentOfType[16] = {
    Content::absent,   Content::words,    Content::words,    Content::strings,   // 0..3
    Content::one_word, Content::one_word, Content::one_word, Content::one_word,  // 4..7
    Content::absent,   Content::absent,   Content::absent,   Content::absent,    // 8..11
    Content::absent,   Content::absent,   Content::absent,   Content::absent,    // 12..15
};

// A lookup and two tests rather than a switch, so that walking records of
// mixed kinds takes no branch here.
inline Content content_of(const Descriptor& d) {
    const Content by_type = kContentOfType[d.type_code & 15u];
    const bool empty_list = d.element_count == 0 && (by_type == Content::words || by_type == Content::strings);
    return d.no_content || empty_list ? Content::marker : by_type;
}

}  // namespace scriptdata
