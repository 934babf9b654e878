// gen_scriptdata <out file> <size in bytes> [seed]: writes a random script
// data file of exactly that size (at least 5 bytes) with a realistic mix of
// symbol records and a code tail. The same seed gives the same file.
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/fixtures/scriptdata_fixture.hpp"
#include "tools/gen/gen_args.hpp"

int main(int argc, char** argv) {
    const auto args = kit_gen::size_and_seed(argc, argv);
    if (!args) {
        std::printf("Usage:  gen_scriptdata <out file> <size in bytes> [seed]\n");
        return 1;
    }
    if (!kit_fixtures::script::write_random_file(args->out, args->seed, args->size)) {
        std::printf("Error writing %s\n", argv[1]);
        return 1;
    }
    return 0;
}
