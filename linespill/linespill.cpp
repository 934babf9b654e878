#include "linespill/linespill.hpp"

#include <cstdint>
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
    // Block line numbers count reads of at most linelist::kReadPiece bytes, so
    // a long line advances the counter once per started piece; the counter
    // wraps in 32 bits.
    std::uint32_t counter = 0;
    const linelist::MarkerFinder name_marker(linelist::kNameMarker);
    const linelist::MarkerFinder text_marker(linelist::kTextMarker);
    std::string spill;  // holds a line that runs past the reader's buffer
    std::string_view line;
    while (!in.eof()) {
        if (!in.read_line(line, spill)) break;  // the read that finds the end
        const std::string_view content = linelist::without_lf(line);
        if (const auto end = name_marker.end_in(content)) {
            const std::size_t start = *end - linelist::kNameMarker.size();
            const auto number = static_cast<std::uint32_t>(counter + linelist::read_at(start));
            linelist::write_head(out, number, content.substr(*end));
        }
        if (const auto end = text_marker.end_in(content)) {
            linelist::write_tail(out, content.substr(*end));
        }
        counter = static_cast<std::uint32_t>(counter + linelist::reads_for_line(line.size()));
    }
    out.close();
    console.print("end working\n");
    return 0;
}

}  // namespace linespill
