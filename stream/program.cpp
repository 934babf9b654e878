#include "stream/program.hpp"

#include <cstdio>
#include <new>

#include "stream/failure.hpp"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#ifndef KIT_VERSION
#define KIT_VERSION "0.0.0"
#endif

namespace kit {

const char* const kVersion = KIT_VERSION;

void StdoutConsole::print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

int run_program(Program program, const std::vector<std::string>& args, Console& console) {
    try {
        return program(args, console);
    } catch (const Failure& failure) {
        console.print(failure.message);
        return failure.status;
    } catch (const std::bad_alloc&) {
        console.print("Error alloc memory\n");
        return 3;
    }
}

namespace {

std::vector<std::string> arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, s.data(), n, nullptr, nullptr);
        args.push_back(std::move(s));
    }
    if (wide != nullptr) LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
#endif
    return args;
}

}  // namespace

int program_main(Program program, int argc, char** argv) {
    StdoutConsole console;
    const int status = run_program(program, arguments(argc, argv), console);
    std::fflush(stdout);
    return status;
}

std::optional<int> standard_options(const std::vector<std::string>& args, Console& console,
                                    std::string_view program_name, std::string_view usage) {
    if (args.empty()) return std::nullopt;
    if (args[0] == "--help") {
        console.print(usage);
        return 0;
    }
    if (args[0] == "--version") {
        console.print(program_name);
        console.print(" ");
        console.print(kVersion);
        console.print("\n");
        return 0;
    }
    return std::nullopt;
}

}  // namespace kit
