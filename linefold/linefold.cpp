#include "linefold/linefold.hpp"

#include <cstdint>
#include <string>
#include <string_view>

#include "linefold/marked.hpp"
#include "linespill/linelist.hpp"
#include "stream/failure.hpp"
#include "stream/hex.hpp"
#include "stream/stream.hpp"

namespace linefold {
namespace {

constexpr std::string_view kUsage =
    "usage: linefold\n"
    "Merges the line list ou.txt (as linespill wrote it, texts edited after the\n"
    "last \"@\" of each line) into the text archive ou.csl and writes ou.cls.new.\n"
    "The list lines must keep their order. Takes no arguments.\n";

// The line list in reading, one list line at a time.
class ListReader {
public:
    bool open() { return in_.open("ou.txt", kit::Translation::text); }

    // Reads the next list line; false at the end of the list. The line is
    // looked at where it lies, until the next read.
    bool next() {
        if (!in_.read_line(line_, spill_)) return false;
        ++number_;
        // An editor may have put a byte order mark in front of the first line;
        // it would hide the first block line number.
        if (number_ == 1 && line_.starts_with(linelist::kByteOrderMark)) {
            line_.remove_prefix(linelist::kByteOrderMark.size());
        }
        return true;
    }

    std::string_view line() const { return line_; }
    std::uint64_t line_number() const { return number_; }

private:
    kit::Reader in_;
    std::string spill_;  // holds a line that runs past the reader's buffer
    std::string_view line_;
    std::uint64_t number_ = 0;  // 1-based number of the list line held
};

// The next marked line of a run (marked.hpp), looked at as this processor
// does best.
class MarkedLines {
public:
    MarkedLine next(std::string_view run, std::size_t from) const {
#if KIT_AVX2
        if (wide_) return next_wide(run, from);
#endif
        return next_marked_line<linespill::NarrowBlocks>(run, from);
    }

private:
#if KIT_AVX2
    [[KIT_TARGET_AVX2, gnu::flatten]] static MarkedLine next_wide(std::string_view run, std::size_t from) {
        return next_marked_line<linespill::WideBlocks>(run, from);
    }
    const bool wide_ = kit::has_avx2();
#endif
};

}  // namespace

int run(const std::vector<std::string>& args, kit::Console& console) {
    if (const auto status = kit::standard_options(args, console, "linefold", kUsage)) return *status;

    kit::Reader archive;
    if (!archive.open("ou.csl", kit::Translation::text)) kit::fail(-1, "Error open input file");
    ListReader list;
    if (!list.open()) kit::fail(-1, "Error open input file");
    kit::Writer out;
    if (!out.open("ou.cls.new", kit::Translation::binary)) kit::fail(-1, "Error create output file ou.cls.new\n");
    out.expect(archive.stored_size());

    console.print("working...\n");
    const linelist::MarkerFinder& marker = linelist::kTextFinder;
    const MarkedLines marked;
    std::uint32_t previous = 0;
    std::uint32_t current = 0;
    // Writes `through_marker` (what is left of the archive up to and
    // including a line's first text marker), then the block text of the next
    // list line in place of the line's own text and LF.
    const auto merge = [&](std::string_view through_marker) {
        out.write(through_marker);
        // Once the list has run out, the number of its last line stays, and
        // with it the failure of the order check below.
        if (list.next()) linelist::read_number(list.line(), current);
        if (previous >= current) {
            kit::fail(-1, "Wrong sort order " + kit::hex8(previous) + " " + kit::hex8(current) + "\n");
        }
        const auto text = linelist::block_text(list.line());
        if (!text) {
            kit::fail(-1, "ou.txt: line " + std::to_string(list.line_number()) +
                              " holds no \"@\" before its block text\n");
        }
        out.write(*text);
        previous = current;
    };
    std::string spill;  // holds a line that runs past the reader's buffer
    std::string_view line;
    while (!archive.eof()) {
        // The lines that lie whole in the buffer: from one text marker to the
        // next, the lines between are copied in one write with the marker
        // line's start; a line whose LF lies past the buffer is left for the
        // read below.
        const std::string_view run = archive.buffered();
        std::size_t start = 0;
        for (MarkedLine m; (m = marked.next(run, start)).lf != MarkedLine::npos;) {
            merge(run.substr(start, m.marker + marker.size() - start));
            start = m.lf + 1;
        }
        // The lines without a marker after the last merged one, through the
        // buffer's last LF (a marker found past that LF has none after it).
        if (const std::size_t last = run.rfind('\n'); last != std::string_view::npos && last >= start) {
            out.write(run.substr(start, last + 1 - start));
            start = last + 1;
        }
        archive.consume(start);

        // One line by itself: the one that runs past the buffer's end, or the
        // first of the next fill.
        if (!archive.read_line(line, spill)) break;  // the read that finds the end
        const std::size_t at = marker.find(line);
        if (at == linelist::MarkerFinder::npos) {
            out.write(line);
        } else {
            // Indentation and marker stay; the old text and its line end go.
            merge(line.substr(0, at + marker.size()));
        }
    }
    out.close();
    console.print("end working\n");
    return 0;
}

}  // namespace linefold
