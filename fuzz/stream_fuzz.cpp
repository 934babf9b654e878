// The stream layer against direct references: in text mode the delivered
// bytes must be the input cut at its first 0x1A with every CR LF pair turned
// into LF, in binary mode the input itself, however the reads are cut and
// mixed (lines, line views, pieces, single bytes, blocks, views, little-endian
// fields, skips, line skips), with the end-of-file indicator set only by a
// read that found nothing. Hexadecimal fields are compared with a plain
// statement of the field reading.
//
// Input: byte 0 picks the piece size and, with both top bits set, places the
// content across the end of the stream's first buffer fill, behind filler
// bytes that every read pass skips but their last 64; byte 1 seeds the mix
// of reads; the rest is the file's content.
#include <cstdint>
#include <cstdlib>
#include <optional>
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

struct RefField {
    std::uint32_t value;
    std::size_t end;
};

std::optional<RefField> reference_hex(std::string_view t, unsigned width) {
    std::size_t i = 0;
    while (i < t.size() && std::string_view(" \t\n\v\f\r").find(t[i]) != std::string_view::npos) ++i;
    unsigned places = width;
    bool minus = false;
    if (places > 0 && i < t.size() && (t[i] == '+' || t[i] == '-')) {
        minus = t[i] == '-';
        ++i;
        --places;
    }
    if (places >= 2 && i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        i += 2;
        places -= 2;
    }
    std::uint32_t v = 0;
    unsigned digits = 0;
    for (; places > 0 && i < t.size(); --places, ++i, ++digits) {
        const char c = t[i];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) break;
        v = v * 16 + static_cast<std::uint32_t>(d);
    }
    if (digits == 0) return std::nullopt;
    return RefField{minus ? 0u - v : v, i};
}

// splitmix64, for the mix of reads.
struct Mix {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

void check(bool ok) {
    if (!ok) std::abort();
}

// Line reads only, whole or in pieces of `piece` bytes.
// Both start after `lead` bytes skipped, so that filler costs nothing.
void line_reads(kit::Translation mode, const std::string& all, std::size_t lead, std::size_t piece, bool pieces) {
    kit::Reader r;
    check(r.open("in", mode));
    check(r.skip(lead) == lead);
    const std::string want = all.substr(lead);
    std::string got;
    std::string line;
    while (pieces ? r.read_line_piece(line, piece) : r.read_line(line)) {
        check(!line.empty());
        check(!pieces || line.size() <= piece);
        const std::size_t lf = line.find('\n');
        check(lf == std::string::npos || lf + 1 == line.size());
        got += line;
        check(!r.eof() || got == want);
    }
    const std::string before = line;
    check(r.eof() && got == want);
    check(!(pieces ? r.read_line_piece(line, piece) : r.read_line(line)) && line == before);
}

// A seeded mix of every kind of read.
void mixed_reads(kit::Translation mode, const std::string& all, std::size_t lead, std::uint64_t seed) {
    kit::Reader r;
    check(r.open("in", mode));
    check(r.skip(lead) == lead);
    const std::string want = all.substr(lead);
    Mix mix{seed};
    std::string got;
    std::string line;
    std::string block;
    std::string spill;
    for (int guard = 0; !r.eof() && guard < 100000; ++guard) {
        const std::size_t before = got.size();
        const std::size_t n = static_cast<std::size_t>(mix.next() % 300);
        switch (mix.next() % 10) {
            case 0: {
                const int c = r.get();
                check((c < 0) == r.eof());
                if (c >= 0) got += static_cast<char>(c);
                break;
            }
            case 1: {
                block.assign(n, '\0');
                const std::size_t k = r.read(block.data(), n);
                check(k <= n && (k == n || r.eof()));
                got.append(block, 0, k);
                break;
            }
            case 2: {
                const std::uint64_t k = r.skip(n);
                check(k <= n && (k == n || r.eof()) && got.size() + k <= want.size());
                got.append(want, got.size(), static_cast<std::size_t>(k));
                break;
            }
            case 3: {
                const std::size_t k = r.append(got, n);
                check(k <= n && (k == n || r.eof()));
                break;
            }
            case 4:
                if (r.read_line(line)) got += line;
                break;
            case 5:
                if (r.read_line_piece(line, n + 1)) got += line;
                break;
            case 6: {
                std::string_view view;
                if (r.read_line(view, spill)) {
                    const std::size_t lf = view.find('\n');
                    check(!view.empty() && (lf == std::string_view::npos || lf + 1 == view.size()));
                    got.append(view);
                }
                break;
            }
            case 7: {
                const std::string_view view = r.read_view(n);
                check(view.size() <= n && (!view.empty() || n == 0 || r.eof()));
                got.append(view);
                break;
            }
            case 8: {
                const std::size_t lf = want.find('\n', got.size());
                check(r.skip_line() == (lf != std::string::npos));
                got.append(want, got.size(), lf == std::string::npos ? std::string::npos : lf + 1 - got.size());
                break;
            }
            default: {
                const std::size_t width = n % 5;
                std::uint32_t value = 0;
                const std::size_t k = r.read_le(width, value);
                check(k <= width && (k == width || r.eof()) && got.size() + k <= want.size());
                std::uint32_t expect = 0;
                for (std::size_t i = 0; i < k; ++i) {
                    expect |= static_cast<std::uint32_t>(static_cast<unsigned char>(want[got.size() + i])) << (8 * i);
                }
                check(k < width || value == expect);
                got.append(want, got.size(), k);
                break;
            }
        }
        check(got.size() <= want.size() && want.compare(before, got.size() - before, got, before) == 0);
        check(!r.eof() || got.size() == want.size());
        if (mode == kit::Translation::binary) {
            check(r.offset() == lead + got.size() && r.remaining() == want.size() - got.size());
        }
    }
    while (r.read_line(line)) got += line;
    check(r.eof() && got == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kit_fuzz::enter_scratch_dir();
    if (size < 2) return 0;
    const std::size_t piece = 1 + (data[0] & 0x3F);
    const bool across = (data[0] & 0xC0) == 0xC0;  // a quarter of the runs: they cost more
    const std::uint64_t seed = data[1];
    const std::string_view in(reinterpret_cast<const char*>(data + 2), size - 2);

    // Across the end of the first buffer fill: filler that reads as itself,
    // so the input's own bytes straddle the refill.
    std::string file;
    if (across) file.assign(kit::Reader::kBufferSize - 1 - (data[1] & 0x0F), 'a');
    const std::size_t lead = file.size() > 64 ? file.size() - 64 : 0;
    file += in;
    kit_fuzz::write_file("in", file);

    const std::string text = reference_text(file);
    for (const auto mode : {kit::Translation::text, kit::Translation::binary}) {
        const std::string& want = mode == kit::Translation::text ? text : file;
        // Runs across the refill read a 256 KB file each time: only the mix for them.
        if (!across) {
            line_reads(mode, want, lead, piece, false);
            line_reads(mode, want, lead, piece, true);
        }
        mixed_reads(mode, want, lead, seed);
    }

    // Hexadecimal fields at every position, both widths.
    for (std::size_t i = 0; i < in.size(); ++i) {
        for (unsigned width : {2u, 8u}) {
            const auto f = kit::read_hex_field(in.substr(i), width);
            const auto r = reference_hex(in.substr(i), width);
            check(f.has_value() == r.has_value());
            if (f) check(f->value == r->value && f->end == r->end);
        }
    }
    return 0;
}
