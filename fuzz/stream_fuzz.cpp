// Text-mode line reads and hexadecimal fields against a direct reference:
// the delivered bytes must be the input cut at its first 0x1A with every
// CR LF pair turned into LF, however the reads are cut.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.hpp"
#include "stream/hex.hpp"
#include "stream/stream.hpp"

namespace {

std::string reference_text(std::string_view in) {
    const std::size_t stop = in.find('\x1A');
    if (stop != std::string_view::npos) in = in.substr(0, stop);
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') continue;
        out.push_back(in[i]);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kit_fuzz::enter_scratch_dir();
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 64;  // line read size for the piece reads
    const std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);
    kit_fuzz::write_file("in", in);

    const std::string want = reference_text(in);
    for (int mode = 0; mode < 2; ++mode) {
        kit::Reader r;
        if (!r.open("in", kit::Translation::text)) std::abort();
        std::string got;
        std::string line;
        while (mode == 0 ? r.read_line(line) : r.read_line_piece(line, piece)) {
            if (line.empty()) std::abort();
            if (mode == 1 && line.size() > piece) std::abort();
            const std::size_t lf = line.find('\n');
            if (lf != std::string::npos && lf + 1 != line.size()) std::abort();
            got += line;
        }
        if (!r.eof() || got != want) std::abort();
    }

    // Hexadecimal fields at every position, both widths: never past the text.
    for (std::size_t i = 0; i < in.size(); ++i) {
        for (unsigned width : {2u, 8u}) {
            const auto f = kit::read_hex_field(in.substr(i), width);
            if (f && f->end > in.size() - i) std::abort();
        }
    }
    return 0;
}
