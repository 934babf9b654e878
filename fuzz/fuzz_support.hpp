// Shared by the fuzz targets: each run writes its input files into one private
// scratch folder (the process works there) and calls a program in-process;
// a run must end as a complete run or with one message and a non-zero status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "stream/program.hpp"

namespace kit_fuzz {

inline void enter_scratch_dir() {
    static bool entered = false;
    if (entered) return;
    char tmpl[] = "/tmp/kit-fuzz-XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) std::abort();
    entered = true;
}

inline void write_file(const char* name, std::string_view bytes) {
    std::FILE* f = std::fopen(name, "wb");
    if (f == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

// Splits an input into two files: the first byte pair gives the first part's
// length (modulo the input size), the rest is the second part.
inline std::pair<std::string_view, std::string_view> split2(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return {{}, {}};
    const std::size_t rest = size - 2;
    const std::size_t want = (static_cast<std::size_t>(data[0]) | (static_cast<std::size_t>(data[1]) << 8));
    const std::size_t first = rest == 0 ? 0 : want % (rest + 1);
    const char* p = reinterpret_cast<const char*>(data + 2);
    return {std::string_view(p, first), std::string_view(p + first, rest - first)};
}

// Runs a program and checks how it ended: success, or a failure whose last
// message is one line of its own.
inline void run_and_check(kit::Program program, const std::vector<std::string>& args) {
    kit::StringConsole console;
    const int status = kit::run_program(program, args, console);
    if (status == 0) return;
    const std::string& out = console.text();
    if (out.empty()) std::abort();  // a failure must say what failed
}

}  // namespace kit_fuzz
