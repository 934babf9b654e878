// The ways of looking at a 64-byte block give the masks and bit counts of a
// byte-by-byte look, for blocks of every mix of LFs, anchors and other bytes.
#include "linespill/scan.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>

namespace {

using linespill::BlockMasks;
using linespill::kBlock;

constexpr char kA = 'N';
constexpr char kB = 'x';

BlockMasks by_bytes(const char* p) {
    BlockMasks m{0, 0};
    for (std::size_t i = 0; i < kBlock; ++i) {
        if (p[i] == '\n') m.lf |= std::uint64_t{1} << i;
        if (p[i] == kA || p[i] == kB) m.anchors |= std::uint64_t{1} << i;
    }
    return m;
}

#if KIT_AVX2
[[KIT_TARGET_AVX2]] BlockMasks wide_masks(const char* p) { return linespill::WideBlocks::masks<kA, kB>(p); }
[[KIT_TARGET_AVX2]] int wide_count(std::uint64_t x) { return linespill::WideBlocks::count(x); }
#endif

// Blocks where each byte is an LF, an anchor, a byte next to them in value or
// one with the top bit set, at densities from none to all; then each byte of
// an empty block set alone.
std::vector<std::array<char, kBlock>> blocks() {
    std::vector<std::array<char, kBlock>> out;
    std::mt19937 rng(5);
    const char kinds[] = {'\n', kA, kB, '\n' + 1, kA - 1, kB + 1, '\x8A', '\xCE'};
    for (unsigned density = 0; density <= 8; ++density) {
        for (int n = 0; n < 200; ++n) {
            std::array<char, kBlock> b{};
            for (char& c : b) c = rng() % 8 < density ? kinds[rng() % 8] : 'a';
            out.push_back(b);
        }
    }
    for (const char c : {'\n', kA, kB}) {
        for (std::size_t i = 0; i < kBlock; ++i) {
            std::array<char, kBlock> b;
            b.fill(' ');
            b[i] = c;
            out.push_back(b);
        }
    }
    return out;
}

TEST(BlockScan, EveryWayGivesTheMasksAndCountsOfAByteByByteLook) {
#if KIT_AVX2
    const bool wide = kit::has_avx2();
#endif
    for (const auto& b : blocks()) {
        const BlockMasks want = by_bytes(b.data());
        const BlockMasks narrow = linespill::NarrowBlocks::masks<kA, kB>(b.data());
        ASSERT_EQ(narrow.lf, want.lf);
        ASSERT_EQ(narrow.anchors, want.anchors);
        for (const std::uint64_t x : {want.lf, want.anchors, ~want.lf}) {
            ASSERT_EQ(linespill::NarrowBlocks::count(x), std::popcount(x));
        }
#if KIT_AVX2
        if (!wide) continue;
        const BlockMasks w = wide_masks(b.data());
        ASSERT_EQ(w.lf, want.lf);
        ASSERT_EQ(w.anchors, want.anchors);
        for (const std::uint64_t x : {want.lf, want.anchors, ~want.lf}) ASSERT_EQ(wide_count(x), std::popcount(x));
#endif
    }
}

}  // namespace
