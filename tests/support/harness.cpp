#include "tests/support/harness.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef KIT_DEFAULT_PROGRAM_DIR
#error "KIT_DEFAULT_PROGRAM_DIR must name the build tree"
#endif

namespace kit_test {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = base / ("kit-test-" + std::to_string(rd()) + std::to_string(rd()));
        if (fs::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void TempDir::write(std::string_view name, std::string_view bytes) const { write_file(path_ / std::string(name), bytes); }

std::optional<std::string> TempDir::read(std::string_view name) const { return read_file(path_ / std::string(name)); }

bool TempDir::exists(std::string_view name) const { return fs::exists(path_ / std::string(name)); }

std::vector<std::string> TempDir::files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

namespace {

std::string env_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::string(v) : fallback;
}

std::vector<std::string> split_words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

}  // namespace

bool foreign_programs() { return !env_or("KIT_RUNNER", "").empty(); }

namespace {

// One run of the program through the runner, if any: its output and status.
RunResult run_once(std::vector<std::string> argv_s, const fs::path& cwd) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : argv_s) argv.push_back(a.data());
        argv.push_back(nullptr);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    RunResult result{"", -1};
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;  // a signal is no end of the output
        if (n <= 0) break;
        result.out.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) {
        result.status = WEXITSTATUS(wstatus);
    } else {
        result.status = 1000 + WTERMSIG(wstatus);  // killed by a signal: never a valid status
    }
    return result;
}

}  // namespace

RunResult run(std::string_view name, const std::vector<std::string>& args, const fs::path& cwd) {
    const std::string root = env_or("KIT_PROGRAM_DIR", KIT_DEFAULT_PROGRAM_DIR);
    std::string program = root + "/" + std::string(name) + "/" + std::string(name);
    program += env_or("KIT_PROGRAM_SUFFIX", "");

    std::vector<std::string> argv_s = split_words(env_or("KIT_RUNNER", ""));
    argv_s.push_back(program);
    argv_s.insert(argv_s.end(), args.begin(), args.end());

    RunResult result = run_once(argv_s, cwd);
    // Under a runner (wine) a program now and then fails to start at all:
    // status 1 without a byte of output, which no program of the kit gives
    // (each prints its message before it returns 1). Such a run did nothing
    // and is tried again, twice at most.
    for (int again = 0; again < 2 && foreign_programs() && result.status == 1 && result.out.empty(); ++again) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        result = run_once(argv_s, cwd);
    }
    // A Windows console may end lines in CR LF; compare the text that users read.
    if (env_or("KIT_CONSOLE_CRLF", "") == "1") {
        std::string t;
        for (std::size_t i = 0; i < result.out.size(); ++i) {
            if (result.out[i] == '\r' && i + 1 < result.out.size() && result.out[i + 1] == '\n') continue;
            t.push_back(result.out[i]);
        }
        result.out = t;
    }
    return result;
}

}  // namespace kit_test
