// What every program of the kit shares around its run: the console that
// receives its messages, the one place where a Failure becomes a message and
// an exit status, and the --help and --version options.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit {

// Receives the program's messages. Programs print on standard output only.
class Console {
public:
    virtual ~Console() = default;
    virtual void print(std::string_view text) = 0;
};

// Writes straight to standard output.
class StdoutConsole final : public Console {
public:
    void print(std::string_view text) override;
};

// Collects the messages, for tests and fuzz targets that run a program in-process.
class StringConsole final : public Console {
public:
    void print(std::string_view text) override { text_.append(text); }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// A program's run: its arguments without the program name, and its console.
// Returns the exit status of a complete run; failures arrive as a Failure.
using Program = int (*)(const std::vector<std::string>& args, Console& console);

// Runs `program` and turns a Failure (or exhausted memory) into its message on
// `console` and its status. Output files still open are written out by their
// destructors on the way, so a failed run keeps what it wrote.
int run_program(Program program, const std::vector<std::string>& args, Console& console);

// The whole of a program's main: arguments as UTF-8 (on Windows taken from the
// wide-character command line), messages on standard output, and the status.
int program_main(Program program, int argc, char** argv);

// Handles "--help" and "--version" as the first argument: prints `usage` or
// the version line and returns 0. Returns nothing for every other argument list.
std::optional<int> standard_options(const std::vector<std::string>& args, Console& console,
                                    std::string_view program_name, std::string_view usage);

extern const char* const kVersion;

}  // namespace kit
