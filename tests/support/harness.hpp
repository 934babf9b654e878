// End-to-end test support: a temporary working directory per test, files
// written and read back as raw bytes, and the built programs run in that
// directory with their standard output and exit status captured.
//
// The programs are found as <root>/<name>/<name>, where the root is
// KIT_PROGRAM_DIR (default: this build tree), with KIT_PROGRAM_SUFFIX appended (".exe" for a Windows build) and
// KIT_RUNNER in front when it is set (for example "wine"), so the same tests
// can run against another build of the kit.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit_test {

struct RunResult {
    std::string out;  // standard output, byte for byte
    int status;       // exit status as the shell sees it (0 to 255)
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / std::string(name); }

    void write(std::string_view name, std::string_view bytes) const;
    // The file's bytes, or nothing when it does not exist.
    std::optional<std::string> read(std::string_view name) const;
    bool exists(std::string_view name) const;
    // Every file name in the directory, sorted.
    std::vector<std::string> files() const;

private:
    std::filesystem::path path_;
};

// Runs program `name` (for example "symspill") with `args` in `cwd`.
RunResult run(std::string_view name, const std::vector<std::string>& args, const std::filesystem::path& cwd);

// True when the programs under test run through KIT_RUNNER (a Windows build
// under wine): cases that rely on the host's own file system behaviour, such
// as a folder that opens like a file but cannot be read, are skipped there.
bool foreign_programs();

// Bytes of a file anywhere, or nothing.
std::optional<std::string> read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view bytes);

// Short literal helpers for byte strings that hold NUL or CR.
inline std::string bytes(std::string_view s) { return std::string(s); }

}  // namespace kit_test
