// gen_textarchive <out ou.csl> <size in bytes> [seed]: writes a realistic
// text archive "ou.csl" of that size, laid out as arcspill writes it, for the
// bundled sample and the benchmarks of linespill and linefold.
#include <cstdint>
#include <cstdio>
#include <string>

#include "stream/failure.hpp"
#include "tools/fixtures/textarchive_fixture.hpp"

namespace {

bool parse_u64(const char* text, std::uint64_t& out) {
    if (text == nullptr || *text == '\0') return false;
    std::uint64_t v = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        const std::uint64_t d = static_cast<std::uint64_t>(*p - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t size = 0;
    std::uint64_t seed = 1;
    if (argc < 3 || argc > 4 || !parse_u64(argv[2], size) || (argc == 4 && !parse_u64(argv[3], seed))) {
        std::printf("usage: gen_textarchive <out ou.csl> <size in bytes> [seed]\n");
        return 2;
    }
    try {
        const auto g = kit_fixtures::generate_text_archive(argv[1], size, seed);
        std::printf("%s: %llu bytes, %lu items\n", argv[1], static_cast<unsigned long long>(g.bytes),
                    static_cast<unsigned long>(g.items));
    } catch (const kit::Failure& f) {
        std::fputs(f.message.c_str(), stdout);
        return 1;
    }
    return 0;
}
