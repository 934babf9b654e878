// gen_seeds <out dir>: writes the seed corpora of the fuzz targets, one folder
// per target (<out dir>/<target>/<seed>), each seed in its target's input
// layout: the bytes of the input file, or for the two-file targets the first
// file's length as 2 little-endian bytes, the first file, then the second.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "tools/fixtures/archive_fixture.hpp"
#include "tools/fixtures/sample_inputs.hpp"

namespace {

namespace fs = std::filesystem;
namespace samples = kit_fixtures::samples;

bool g_ok = true;

void seed(const fs::path& dir, const std::string& target, const std::string& name, std::string_view bytes) {
    const fs::path folder = dir / target;
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::printf("gen_seeds: cannot write %s\n", (folder / name).string().c_str());
        g_ok = false;
    }
}

// The layout that the two-file targets split again.
std::string pair(std::string_view first, std::string_view second) {
    if (first.size() > 0xFFFF) first = first.substr(0, 0xFFFF);
    std::string s;
    s += static_cast<char>(first.size() & 0xFF);
    s += static_cast<char>(first.size() >> 8);
    s += first;
    s += second;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: gen_seeds <out dir>\n");
        return 2;
    }
    const fs::path dir = argv[1];

    // Stream layer: byte 0 picks the piece size (and, with both top bits, places
    // the content across the first buffer refill), byte 1 seeds the mix of reads.
    seed(dir, "stream_fuzz", "crlf", std::string("\x05\x01") + "A\r\nB\rC\r\r\n\r\n\rend\r");
    seed(dir, "stream_fuzz", "across", std::string("\xC3\x07") + "\r\n\r\r\nline\n\r");
    seed(dir, "stream_fuzz", "eot", std::string("\x10\x02") + "line one\r\nline two\x1A" "after the end\r\n");
    seed(dir, "stream_fuzz", "hex",
         std::string("\x3F\x03") + "0000001A@\n1a@b\n 7\n0x1A\nDEADBEAF\n123456789\n@\n-0x5\n+ff\n0x\n\t\v\f\r 9\n");
    seed(dir, "stream_fuzz", "archive",
         std::string("\x07\x04") + samples::with_crlf(samples::text_archives()[0].file.substr(0, 600)));

    for (const auto& s : samples::script_files()) {
        if (s.name != "kinds_crlf") seed(dir, "symspill_fuzz", s.name, s.file);  // same file as "kinds"
        seed(dir, "symfold_fuzz", s.name, pair(s.file, s.other));
    }
    {
        const auto kinds = samples::script_files()[0];
        std::string edited = "\xEF\xBB\xBF" + kinds.other;  // a byte order mark, lower-case digits
        for (char& c : edited) {
            if (c == 'F') c = 'f';
        }
        seed(dir, "symfold_fuzz", "edited", pair(kinds.file, edited));
    }

    for (const auto& s : samples::archives()) seed(dir, "arcspill_fuzz", s.name, s.file);
    {
        kit_fixtures::Archive crashed;
        crashed.items.push_back(kit_fixtures::normal_item("B1", "one"));
        crashed.items.push_back(kit_fixtures::normal_item("B2", "two"));
        crashed.items[1].sub_block0.value = 1;
        seed(dir, "arcspill_fuzz", "sub_block0", kit_fixtures::archive_bytes(crashed));
        kit_fixtures::Archive high;
        high.items.push_back(kit_fixtures::normal_item("B1", "one"));
        high.items[0].sub_type.type = 21;  // no size width
        seed(dir, "arcspill_fuzz", "type_21", kit_fixtures::archive_bytes(high));
    }

    for (const auto& s : samples::text_archives()) {
        seed(dir, "linespill_fuzz", s.name, s.file);
        seed(dir, "linefold_fuzz", s.name, pair(s.file, s.other));
    }
    {
        // A line longer than one read before the markers moves every block line number.
        const std::string odd = samples::text_archives()[0].file;
        const std::string long_line = std::string(9500, 'x') + "\n" + odd;
        seed(dir, "linespill_fuzz", "long_line", long_line);
        seed(dir, "linefold_fuzz", "long_line", pair(long_line, samples::line_list_of(odd)));
        // Texts edited, a byte order mark in front, one line without "@", numbers out of order.
        seed(dir, "linefold_fuzz", "edited",
             pair(odd, "\xEF\xBB\xBF" "5@B1@Bonjour\r\n0000001a@B2@x@y\r\n0000001B no at sign\r\n00000001@B4@z"));
    }
    return g_ok ? 0 : 1;
}
