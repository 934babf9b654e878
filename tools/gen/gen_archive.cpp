// gen_archive <out file> <size in bytes> [seed]: writes a realistic "ou.bin"
// text library archive of exactly that size (normal items only), for the
// bundled sample and the benchmarks.
#include <cstdint>
#include <cstdio>
#include <string>

#include "stream/failure.hpp"
#include "tools/gen/gen_args.hpp"
#include "tools/fixtures/archive_fixture.hpp"

int main(int argc, char** argv) {
    const auto args = kit_gen::size_and_seed(argc, argv);
    if (!args) {
        std::printf("usage: gen_archive <out file> <size in bytes> [seed]\n");
        return 2;
    }
    try {
        const auto g = kit_fixtures::generate_archive(args->out, args->size, args->seed);
        std::printf("%s: %llu bytes, %lu items\n", args->out, static_cast<unsigned long long>(g.bytes),
                    static_cast<unsigned long>(g.items));
    } catch (const kit::Failure& f) {
        std::fputs(f.message.c_str(), stdout);
        return 1;
    }
    return 0;
}
