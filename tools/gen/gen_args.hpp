// The command line that every size-driven generator takes:
// <out file> <size in bytes> [seed], sizes and seeds as plain decimal numbers.
#pragma once

#include <cstdint>
#include <optional>

namespace kit_gen {

struct SizeAndSeed {
    const char* out;
    std::uint64_t size;
    std::uint64_t seed;
};

// A decimal number without sign or spaces that fits 64 bits.
inline std::optional<std::uint64_t> parse_u64(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    std::uint64_t v = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return std::nullopt;
        const auto d = static_cast<std::uint64_t>(*p - '0');
        if (v > (UINT64_MAX - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

// The arguments, or nothing when they do not have that form (seed 1 by default).
inline std::optional<SizeAndSeed> size_and_seed(int argc, char** argv) {
    if (argc < 3 || argc > 4) return std::nullopt;
    const auto size = parse_u64(argv[2]);
    const auto seed = argc == 4 ? parse_u64(argv[3]) : std::optional<std::uint64_t>(1);
    if (!size || !seed) return std::nullopt;
    return SizeAndSeed{argv[1], *size, *seed};
}

}  // namespace kit_gen
