// Finding the lines of a text archive whose text linefold replaces: the next
// text marker in a run of the archive, and the LF that ends its line. The run
// is looked at 64 bytes at a time for the marker's anchor (with linespill's
// block masks), so that the lines between two markers cost a few
// instructions per block rather than a library search that stops at every
// anchor; the LF after a marker is looked for in the 64 bytes after it first.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "linespill/linelist.hpp"
#include "linespill/scan.hpp"

namespace linefold {

struct MarkedLine {
    static constexpr std::size_t npos = std::string_view::npos;
    std::size_t marker = npos;  // where the marker starts, or npos when the run holds none
    std::size_t lf = npos;      // the first LF after the marker, or npos when the run holds none
};

// The first text marker in `run` that starts at or after `from` (at most
// run.size()), and the first LF after its end: what
// kTextFinder.find(run, from) and a search for LF after the marker give.
// `Blocks` is a way of looking at blocks (linespill/scan.hpp).
template <class Blocks>
[[gnu::always_inline]] inline MarkedLine next_marked_line(std::string_view run, std::size_t from) {
    using linelist::MarkerFinder;
    constexpr const MarkerFinder& finder = linelist::kTextFinder;
    constexpr char kAnchor = finder.anchor();
    const char* const begin = run.data();
    const char* const end = begin + run.size();
    const char* const first = begin + from;  // no marker may start before it
    constexpr auto kBlock = static_cast<std::ptrdiff_t>(linespill::kBlock);
    const auto lf_from = [begin, end](const char* p) {
        const void* const lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        return lf == nullptr ? MarkedLine::npos : static_cast<std::size_t>(static_cast<const char*>(lf) - begin);
    };
    const char* block = first;
    for (; end - block >= kBlock; block += kBlock) {
        for (std::uint64_t anchors = Blocks::template masks<kAnchor, kAnchor>(block).anchors; anchors != 0;
             anchors &= anchors - 1) {
            const char* const anchor = block + std::countr_zero(anchors);
            // `first` stands in for a line's start: an occurrence may not begin before it.
            const MarkerFinder::Match match = finder.at_anchor(anchor, first, end);
            if (match == MarkerFinder::Match::no) continue;
            // An occurrence that runs past the run: so does every later one.
            if (match == MarkerFinder::Match::past_end) return {};
            const char* const past_marker = finder.start_at(anchor) + finder.size();
            // The LF is mostly near: the block from the marker's end is looked at first.
            std::size_t lf = MarkedLine::npos;
            if (end - past_marker < kBlock) {
                lf = lf_from(past_marker);
            } else if (const std::uint64_t lfs = Blocks::template masks<kAnchor, kAnchor>(past_marker).lf; lfs != 0) {
                lf = static_cast<std::size_t>(past_marker - begin) + std::countr_zero(lfs);
            } else {
                lf = lf_from(past_marker + kBlock);
            }
            return {static_cast<std::size_t>(past_marker - finder.size() - begin), lf};
        }
    }
    // Fewer bytes than a block are left: the markers whose anchors stand
    // among them start at block - lead or later.
    const auto block_at = static_cast<std::size_t>(block - begin);
    const std::size_t rest = block_at - from >= finder.lead() ? block_at - finder.lead() : from;
    const std::size_t at = finder.find(run, rest);
    if (at == MarkerFinder::npos) return {};
    return {at, lf_from(begin + at + finder.size())};
}

}  // namespace linefold
