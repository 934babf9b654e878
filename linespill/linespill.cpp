#include "linespill/linespill.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "linespill/linelist.hpp"
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
    // it; returns their byte count. The markers are searched over the run,
    // not line by line: the next occurrence of each is kept, and the line
    // around the nearer one is found. That occurrence is the first of its
    // kind in its line, since the search goes on after the end of the last
    // line taken. The lines' reads are counted in stretches, up to each line
    // that needs the counter.
    std::size_t lines_in(std::string_view run) {
        constexpr std::size_t none = linelist::MarkerFinder::npos;
        std::size_t name_at = linelist::kNameFinder.find(run);
        std::size_t text_at = linelist::kTextFinder.find(run);
        std::size_t start = 0;    // where the first line not yet taken starts
        std::size_t counted = 0;  // where the first line not yet counted starts
        for (std::size_t at; (at = std::min(name_at, text_at)) != none;) {
            const void* lf = std::memchr(run.data() + at, '\n', run.size() - at);
            if (lf == nullptr) break;  // the marker's line runs past the buffer
            const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(lf) - run.data()) + 1;
            const std::size_t line_start = line_start_before(run, start, at);
            if (name_at < end) count_reads(run.substr(counted, line_start - counted), counted);
            // A marker holds no LF: one that starts before the line's end lies in its content.
            write_list(run.substr(line_start, end - line_start), name_at < end ? name_at - line_start : none,
                       text_at < end ? text_at - line_start : none);
            if (name_at < end) name_at = linelist::kNameFinder.find(run, end);
            if (text_at < end) text_at = linelist::kTextFinder.find(run, end);
            start = end;
        }
        // The lines without a marker after that, through the run's last LF.
        const std::size_t last = run.rfind('\n');
        const std::size_t taken = last == std::string_view::npos || last < start ? start : last + 1;
        count_reads(run.substr(counted, taken - counted), counted);
        return taken;
    }

private:
    // Start of the line that holds run[at]: just past the last LF before it,
    // or `start` when there is none from `start` on.
    static std::size_t line_start_before(std::string_view run, std::size_t start, std::size_t at) {
        const std::size_t lf = run.substr(start, at - start).rfind('\n');
        return lf == std::string_view::npos ? start : start + lf + 1;
    }

    // Adds the reads of `lines`, whole lines that start at `counted`, and
    // moves `counted` past them.
    void count_reads(std::string_view lines, std::size_t& counted) {
        counter_ = static_cast<std::uint32_t>(counter_ + linelist::reads_for_lines(lines));
        counted += lines.size();
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
