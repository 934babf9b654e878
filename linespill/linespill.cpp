#include "linespill/linespill.hpp"

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>

#include "linespill/linelist.hpp"
#include "linespill/scan.hpp"
#include "stream/failure.hpp"
#include "stream/stream.hpp"

namespace linespill {
namespace {

constexpr std::string_view kUsage =
    "usage: linespill\n"
    "Reads the text archive ou.csl and writes its block names and texts to the\n"
    "line list ou.txt, one line per block: number@name@text. Edit the texts after\n"
    "the last \"@\" and run linefold to merge them back. Takes no arguments.\n";

// Writes the list lines of the archive's lines, read one after the other.
class Spiller {
public:
    explicit Spiller(kit::Writer& out) : out_(out) {}

    // One line as read, its LF included when it has one.
    void line(std::string_view line) {
        const std::string_view content = linelist::without_lf(line);
        write_list(line, linelist::kNameFinder.find(content), linelist::kTextFinder.find(content));
        counter_ = static_cast<std::uint32_t>(counter_ + linelist::reads_for_line(line.size()));
    }

    // The whole lines at the start of `run`, each taken as line() would take
    // it; returns their byte count. The run is looked at in blocks of kBlock
    // bytes, each for its LFs and for the bytes that anchor the markers
    // together: lines are counted from the LFs, and a marker is compared
    // whole only where one of those bytes stands. A line's list output is
    // written at its LF, from the first marker of each kind found in it.
    // Stops before the last kBlock bytes, and before a line that runs past
    // the run or whose marker might.
    std::size_t lines_in(std::string_view run) {
#if KIT_AVX2
        if (wide_) return lines_in_wide(run);
#endif
        return scan<NarrowBlocks>(run);
    }

private:
#if KIT_AVX2
    [[KIT_TARGET_AVX2, gnu::flatten]] std::size_t lines_in_wide(std::string_view run) { return scan<WideBlocks>(run); }
    const bool wide_ = kit::has_avx2();
#endif

    // lines_in, looking at the blocks as `Blocks` does (see scan.hpp).
    template <class Blocks>
    [[gnu::always_inline]] std::size_t scan(std::string_view run) {
        using linelist::MarkerFinder;
        const char* const begin = run.data();
        const char* const end = begin + run.size();
        const char* line = begin;  // the first line not yet taken; the counter holds the reads before it
        for (const char* block = begin; static_cast<std::size_t>(end - block) >= kBlock; block += kBlock) {
            // No LF lies from `line` to `block`.
            const BlockMasks m = Blocks::template masks<kNameAnchor, kTextAnchor>(block);
            std::uint64_t lfs = m.lf;
            for (std::uint64_t anchors = m.anchors; anchors != 0; anchors &= anchors - 1) {
                const int at = std::countr_zero(anchors);
                const std::uint64_t before = lfs & ((std::uint64_t{1} << at) - 1);
                if (before != 0) {
                    count_lines<Blocks>(line, block, before);
                    lfs &= ~before;
                }
                const char* const anchor = block + at;
                const bool name = *anchor == kNameAnchor;
                std::size_t& found = name ? name_at_ : text_at_;
                if (found != MarkerFinder::npos) continue;  // the first of its kind in the line counts
                const MarkerFinder& finder = name ? linelist::kNameFinder : linelist::kTextFinder;
                const MarkerFinder::Match match = finder.at_anchor(anchor, line, end);
                if (match == MarkerFinder::Match::past_end) return stop_at(line, begin);
                if (match == MarkerFinder::Match::yes) found = static_cast<std::size_t>(finder.start_at(anchor) - line);
            }
            if (lfs != 0) count_lines<Blocks>(line, block, lfs);
        }
        return stop_at(line, begin);
    }

    // The bytes that the search of the markers looks at first (see linelist::MarkerFinder).
    static constexpr char kNameAnchor = linelist::kNameFinder.anchor();
    static constexpr char kTextAnchor = linelist::kTextFinder.anchor();
    static_assert(kNameAnchor != kTextAnchor);

    // Where lines_in stops: before `line`, which line() will take whole, so
    // the markers found in it so far are forgotten.
    std::size_t stop_at(const char* line, const char* begin) {
        name_at_ = text_at_ = linelist::MarkerFinder::npos;
        return static_cast<std::size_t>(line - begin);
    }

    // Counts the lines that end at the LFs `lfs` of the block at `block`, the
    // first of them starting at `line`, and moves `line` past the last; the
    // first is written to the list when markers were found in it (the
    // others, lying whole in the block before its next anchor, hold none).
    // Only the first can be longer than a block.
    template <class Blocks>
    [[gnu::always_inline]] void count_lines(const char*& line, const char* block, std::uint64_t lfs) {
        const auto first = static_cast<std::size_t>(block + std::countr_zero(lfs) + 1 - line);
        if (name_at_ != linelist::MarkerFinder::npos || text_at_ != linelist::MarkerFinder::npos) {
            write_list(std::string_view(line, first), name_at_, text_at_);
            name_at_ = text_at_ = linelist::MarkerFinder::npos;
        }
        const std::uint64_t first_reads = first > linelist::kReadPiece ? linelist::reads_for_line(first) : 1;
        counter_ = static_cast<std::uint32_t>(counter_ + first_reads + static_cast<std::uint64_t>(Blocks::count(lfs)) - 1);
        line = block + (kBlock - static_cast<std::size_t>(std::countl_zero(lfs)));
    }

    // The list output of a line, with the index of the first occurrence of
    // each marker in it (npos when it holds none), the counter holding the
    // reads of the lines before it.
    void write_list(std::string_view line, std::size_t name_at, std::size_t text_at) {
        const std::string_view content = linelist::without_lf(line);
        if (name_at != linelist::MarkerFinder::npos) {
            const auto number = static_cast<std::uint32_t>(counter_ + linelist::read_at(name_at));
            linelist::write_head(out_, number, content.substr(name_at + linelist::kNameMarker.size()));
        }
        if (text_at != linelist::MarkerFinder::npos) {
            linelist::write_tail(out_, content.substr(text_at + linelist::kTextMarker.size()));
        }
    }

    kit::Writer& out_;
    // Block line numbers count reads of at most linelist::kReadPiece bytes,
    // so a long line advances the counter once per started piece; the
    // counter wraps in 32 bits.
    std::uint32_t counter_ = 0;
    // Where the first marker of each kind starts in the line that lines_in
    // is in, npos while none was found there.
    std::size_t name_at_ = linelist::MarkerFinder::npos;
    std::size_t text_at_ = linelist::MarkerFinder::npos;
};

}  // namespace

int run(const std::vector<std::string>& args, kit::Console& console) {
    if (const auto status = kit::standard_options(args, console, "linespill", kUsage)) return *status;

    kit::Reader in;
    // The line list is created only once the archive is open, so a failed run
    // never empties a line list that holds edits. The archive is read (and
    // its CR LFs dropped) ahead on a thread of its own: the scan of its
    // blocks keeps this thread busy, and the writing of the much shorter list
    // leaves the second core time for the reading.
    if (!in.open("ou.csl", kit::Translation::text, kit::ReadAhead::on_thread)) kit::fail(-1, "Error open input file");
    kit::Writer out;
    if (!out.open("ou.txt", kit::Translation::binary)) kit::fail(-1, "Error create output file ou.txt\n");
    out.expect(in.stored_size() / 3);  // a list holds about a third of its archive

    console.print("working...\n");
    Spiller spiller(out);
    std::string spill;  // holds a line that runs past the reader's buffer
    std::string_view line;
    while (!in.eof()) {
        // The lines that lie whole in the buffer, then one line by itself:
        // the one that runs past the buffer's end, or the first of the next fill.
        in.consume(spiller.lines_in(in.buffered()));
        if (!in.read_line(line, spill)) break;  // the read that finds the end
        spiller.line(line);
    }
    out.close();
    console.print("end working\n");
    return 0;
}

}  // namespace linespill
