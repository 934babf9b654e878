// Shared by the fuzz targets: each run writes its input files into one private
// scratch folder (the process works there) and calls a program in-process;
// a run must end as a complete run or with one message and a non-zero status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "stream/failure.hpp"
#include "stream/program.hpp"

// Undefined behaviour stops the run like any other sanitizer report, so the
// fuzzer keeps the input (the libraries are built in recoverable mode). Each
// target is one translation unit, so this header is included once per program.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

namespace kit_fuzz {

// The folder is removed with its files when the fuzzer ends normally.
inline void enter_scratch_dir() {
    static bool entered = false;
    if (entered) return;
    // Under $KIT_FUZZ_TMP when set (a memory file system makes runs cheaper).
    const char* base = std::getenv("KIT_FUZZ_TMP");
    static std::string dir = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kit-fuzz-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr || chdir(dir.c_str()) != 0) std::abort();
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    });
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

// Runs a program and checks how it ended: a complete run, or a failure that
// says what failed in one line and ends with a non-zero status. Any other
// exception (an out-of-range access caught by the library, exhausted memory
// for a size the input made up) escapes and counts as a crash.
inline void run_and_check(kit::Program program, const std::vector<std::string>& args) {
    kit::StringConsole console;
    int status = 0;
    try {
        status = program(args, console);
    } catch (const kit::Failure& failure) {
        const std::string& m = failure.message;
        const std::size_t lf = m.find('\n');
        if (failure.status == 0 || m.empty() || (lf != std::string::npos && lf + 1 != m.size())) std::abort();
        return;
    }
    if (status != 0 && console.text().empty()) std::abort();  // a failure must say what failed
}

}  // namespace kit_fuzz
