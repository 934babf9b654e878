// gen_textarchive <out ou.csl> <size in bytes> [seed]: writes a realistic
// text archive "ou.csl" of that size, laid out as arcspill writes it, for the
// bundled sample and the benchmarks of linespill and linefold.
#include <cstdint>
#include <cstdio>
#include <string>

#include "stream/failure.hpp"
#include "tools/gen/gen_args.hpp"
#include "tools/fixtures/textarchive_fixture.hpp"

int main(int argc, char** argv) {
    const auto args = kit_gen::size_and_seed(argc, argv);
    if (!args) {
        std::printf("usage: gen_textarchive <out ou.csl> <size in bytes> [seed]\n");
        return 2;
    }
    try {
        const auto g = kit_fixtures::generate_text_archive(args->out, args->size, args->seed);
        std::printf("%s: %llu bytes, %lu items\n", args->out, static_cast<unsigned long long>(g.bytes),
                    static_cast<unsigned long>(g.items));
    } catch (const kit::Failure& f) {
        std::fputs(f.message.c_str(), stdout);
        return 1;
    }
    return 0;
}
