// The block-wise search for marked lines gives what a search for the marker
// and then for the LF after it gives, from every start, in runs where markers,
// parts of markers, lone anchors and LFs stand at and across block bounds.
#include "linefold/marked.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using linefold::MarkedLine;
using linelist::kTextFinder;
using linelist::kTextMarker;

MarkedLine by_search(std::string_view run, std::size_t from) {
    const std::size_t at = kTextFinder.find(run, from);
    if (at == std::string_view::npos) return {};
    const std::size_t end = at + kTextMarker.size();
    const std::size_t lf = run.find('\n', end);
    return {at, lf};
}

#if KIT_AVX2
[[KIT_TARGET_AVX2, gnu::flatten]] MarkedLine wide(std::string_view run, std::size_t from) {
    return linefold::next_marked_line<linespill::WideBlocks>(run, from);
}
#endif

// Runs of 0 to 300 bytes made of pieces: the marker, its start or end cut
// off, a lone anchor, an LF, or other bytes.
std::vector<std::string> runs() {
    std::vector<std::string> out;
    std::mt19937 rng(11);
    const std::string marker(kTextMarker);
    const std::vector<std::string> pieces = {marker, marker.substr(0, 5), marker.substr(3), "x", "\n", "ab", "\t\tname=string:"};
    for (int n = 0; n < 3000; ++n) {
        std::string run;
        const std::size_t size = rng() % 300;
        while (run.size() < size) run += rng() % 3 == 0 ? pieces[rng() % pieces.size()] : std::string(rng() % 40, 'a');
        run.resize(size);
        out.push_back(run);
    }
    // A marker ending at each place around the first two block bounds, the LF
    // after it near or far.
    for (std::size_t pos = 40; pos < 140; ++pos) {
        for (const std::size_t gap : {std::size_t{0}, std::size_t{1}, std::size_t{70}}) {
            std::string run(pos, 'a');
            run.replace(pos - marker.size(), marker.size(), marker);
            run += std::string(gap, 'b') + "\nx";
            out.push_back(run);
        }
    }
    return out;
}

TEST(MarkedLines, BlockwiseSearchFindsWhatTheMarkerAndLfSearchesFind) {
    for (const std::string& text : runs()) {
        // A copy of its own, so that nothing past the run can be read unseen by the sanitizers.
        const std::unique_ptr<char[]> bytes(new char[text.size() + 1]);
        std::memcpy(bytes.get(), text.data(), text.size());
        const std::string_view run(bytes.get(), text.size());
        for (std::size_t from = 0; from <= run.size(); ++from) {
            const MarkedLine want = by_search(run, from);
            const MarkedLine narrow = linefold::next_marked_line<linespill::NarrowBlocks>(run, from);
            ASSERT_EQ(narrow.marker, want.marker) << text << " from " << from;
            ASSERT_EQ(narrow.lf, want.lf) << text << " from " << from;
#if KIT_AVX2
            if (kit::has_avx2()) {
                const MarkedLine w = wide(run, from);
                ASSERT_EQ(w.marker, want.marker) << text << " from " << from;
                ASSERT_EQ(w.lf, want.lf) << text << " from " << from;
            }
#endif
        }
    }
}

}  // namespace
