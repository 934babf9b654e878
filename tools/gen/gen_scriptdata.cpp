// gen_scriptdata <out file> <size in bytes> [seed]: writes a random script
// data file of exactly that size (at least 5 bytes) with a realistic mix of
// symbol records and a code tail. The same seed gives the same file.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "tools/fixtures/scriptdata_fixture.hpp"

namespace {

bool parse_number(const char* text, std::uint64_t& value) {
    try {
        std::size_t used = 0;
        const std::string s(text);
        value = std::stoull(s, &used, 10);
        return used == s.size() && !s.empty() && s[0] != '-';
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t size = 0;
    std::uint64_t seed = 1;
    if (argc < 3 || argc > 4 || !parse_number(argv[2], size) || (argc == 4 && !parse_number(argv[3], seed))) {
        std::printf("Usage:  gen_scriptdata <out file> <size in bytes> [seed]\n");
        return 1;
    }
    if (!kit_fixtures::script::write_random_file(argv[1], seed, size)) {
        std::printf("Error writing %s\n", argv[1]);
        return 1;
    }
    return 0;
}
