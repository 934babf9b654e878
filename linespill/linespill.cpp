#include "linespill/linespill.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
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
    // together: lines are counted from the LFs, and a line is looked at
    // whole only where a marker stands at one of those bytes. Stops before
    // the last kBlock bytes, and before a line that runs past the run or
    // whose marker might.
    std::size_t lines_in(std::string_view run) {
        using linelist::MarkerFinder;
        const char* const begin = run.data();
        const char* const end = begin + run.size();
        const char* line = begin;   // the first line not yet taken; the counter holds the reads before it
        const char* block = begin;  // the first byte not yet looked at; no LF lies from `line` to here
        while (static_cast<std::size_t>(end - block) >= kBlock) {
            const BlockMasks m = block_masks<kNameAnchor, kTextAnchor>(block);
            std::uint64_t lfs = m.lf;
            const char* next = block + kBlock;  // where the next block starts
            for (std::uint64_t anchors = m.anchors; anchors != 0; anchors &= anchors - 1) {
                const int at = std::countr_zero(anchors);
                const std::uint64_t before = lfs & ((std::uint64_t{1} << at) - 1);
                if (before != 0) {
                    count_lines(line, block, before);
                    lfs &= ~before;
                }
                const char* const anchor = block + at;
                const bool name = *anchor == kNameAnchor;
                const MarkerFinder::Match match = name ? linelist::kNameFinder.at_anchor(anchor, line, end)
                                                       : linelist::kTextFinder.at_anchor(anchor, line, end);
                if (match == MarkerFinder::Match::past_end) return static_cast<std::size_t>(line - begin);
                if (match == MarkerFinder::Match::no) continue;
                // The line around the marker, through its LF, is taken whole; the next block starts after it.
                const char* lf = lfs != 0 ? block + std::countr_zero(lfs) : nullptr;
                if (lf == nullptr) {
                    lf = static_cast<const char*>(std::memchr(next, '\n', static_cast<std::size_t>(end - next)));
                }
                if (lf == nullptr) return static_cast<std::size_t>(line - begin);
                marker_line(std::string_view(line, static_cast<std::size_t>(lf + 1 - line)), name, anchor);
                line = lf + 1;
                next = line;
                lfs = 0;
                break;
            }
            if (lfs != 0) count_lines(line, block, lfs);
            block = next;
        }
        return static_cast<std::size_t>(line - begin);
    }

private:
    // The bytes that the search of the markers looks at first (see linelist::MarkerFinder).
    static constexpr char kNameAnchor = linelist::kNameFinder.anchor();
    static constexpr char kTextAnchor = linelist::kTextFinder.anchor();
    static_assert(kNameAnchor != kTextAnchor);

    // Takes a line as line() would, where a marker was found with its anchor
    // at `anchor`: the name marker when `name`, else the text marker. That
    // occurrence is the first of its kind in the line, since the anchors are
    // looked at in order; the other marker is searched in the line.
    void marker_line(std::string_view line, bool name, const char* anchor) {
        const std::string_view content = linelist::without_lf(line);
        std::size_t name_at, text_at;
        if (name) {
            name_at = static_cast<std::size_t>(linelist::kNameFinder.start_at(anchor) - line.data());
            text_at = linelist::kTextFinder.find(content);
        } else {
            text_at = static_cast<std::size_t>(linelist::kTextFinder.start_at(anchor) - line.data());
            name_at = linelist::kNameFinder.find(content);
        }
        write_list(line, name_at, text_at);
        counter_ = static_cast<std::uint32_t>(counter_ + linelist::reads_for_line(line.size()));
    }

    // Counts the lines that end at the LFs `lfs` of the block at `block`, the
    // first of them starting at `line`, and moves `line` past the last. Only
    // the first can be longer than a block.
    void count_lines(const char*& line, const char* block, std::uint64_t lfs) {
        const auto first = static_cast<std::size_t>(block + std::countr_zero(lfs) + 1 - line);
        const std::uint64_t first_reads = first > linelist::kReadPiece ? linelist::reads_for_line(first) : 1;
        counter_ = static_cast<std::uint32_t>(counter_ + first_reads + static_cast<std::uint64_t>(count_bits(lfs)) - 1);
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
};

}  // namespace

int run(const std::vector<std::string>& args, kit::Console& console) {
    if (const auto status = kit::standard_options(args, console, "linespill", kUsage)) return *status;

    kit::Reader in;
    // The line list is created only once the archive is open, so a failed run
    // never empties a line list that holds edits.
    if (!in.open("ou.csl", kit::Translation::text)) kit::fail(-1, "Error open input file");
    kit::Writer out;
    if (!out.open("ou.txt", kit::Translation::text)) kit::fail(-1, "Error create output file ou.txt\n");

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
