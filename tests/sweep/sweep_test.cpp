// Truncation and corruption sweep: small valid inputs of every program, cut
// at every byte and changed one byte at a time (a seeded set of positions and
// values), run in-process in a temporary folder. Every run must end as a
// complete run (status 0) or with a one-line message and a non-zero status;
// never a crash, a hang, an exception of another kind, or an allocation that
// the input cannot justify. Where the outcome is known (a cut inside what a
// complete run needs must fail; a cut after it must succeed with the same
// output) it is checked as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "arcspill/arcspill.hpp"
#include "linefold/linefold.hpp"
#include "linespill/linespill.hpp"
#include "stream/failure.hpp"
#include "stream/program.hpp"
#include "symfold/symfold.hpp"
#include "symspill/symspill.hpp"
#include "tools/fixtures/archive_fixture.hpp"
#include "tools/fixtures/sample_inputs.hpp"
#include "tools/fixtures/scriptdata_fixture.hpp"

// ------------------------------------------------------------ allocation watch
//
// Every allocation of the test process goes through here. While a run is
// watched, the largest request is kept, and one beyond kRefused is refused at
// once (std::bad_alloc), so a size taken from a damaged file shows up as a
// finding instead of as memory exhaustion.

namespace {

constexpr std::size_t kRefused = std::size_t{64} << 20;
// Atomic: a program may allocate on a thread of its own (symfold's tail walk).
std::atomic<bool> g_watching{false};
std::atomic<std::size_t> g_largest{0};

void* allocate(std::size_t n) {
    if (g_watching) {
        for (std::size_t seen = g_largest.load(); n > seen && !g_largest.compare_exchange_weak(seen, n);) {
        }
        if (n > kRefused) throw std::bad_alloc();
    }
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

#if defined(__GLIBC__)
// The programs' 256 KB stream buffers come and go with every run: kept on the
// heap instead of being mapped and unmapped each time.
const bool g_heap_kept = [] {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    return true;
}();
#endif

namespace fs = std::filesystem;
namespace samples = kit_fixtures::samples;

// The stream buffers take 256 KB each; nothing else that a few KB of input
// can justify comes near this.
constexpr std::size_t kLargestJustified = std::size_t{1} << 20;

// Works in a fresh temporary folder for the life of the object: in memory
// where the system offers a memory file system (tens of thousands of small
// files are written), else in the usual temporary folder.
class InTempDir {
public:
    InTempDir() : old_(fs::current_path()) {
        std::error_code ec;
        std::random_device rd;
        for (const fs::path& base : {fs::path("/dev/shm"), fs::temp_directory_path()}) {
            for (int attempt = 0; attempt < 10 && dir_.empty() && fs::is_directory(base, ec); ++attempt) {
                const fs::path p = base / ("kit-sweep-" + std::to_string(rd()) + std::to_string(rd()));
                if (fs::create_directory(p, ec)) dir_ = p;
            }
        }
        if (dir_.empty()) throw std::runtime_error("cannot create a temporary folder");
        fs::current_path(dir_);
    }
    ~InTempDir() {
        fs::current_path(old_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    InTempDir(const InTempDir&) = delete;
    InTempDir& operator=(const InTempDir&) = delete;

private:
    fs::path dir_;
    fs::path old_;
};

void put_file(const char* name, std::string_view bytes) {
    std::FILE* f = std::fopen(name, "wb");
    ASSERT_NE(f, nullptr) << name;
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

std::optional<std::string> get_file(const char* name) {
    std::FILE* f = std::fopen(name, "rb");
    if (f == nullptr) return std::nullopt;
    std::string s;
    char buf[1 << 14];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    std::fclose(f);
    return s;
}

// How one run ended.
struct Ending {
    int status = 0;
    std::string problem;  // empty for a sound ending: complete, or one line and a non-zero status
};

Ending run_watched(kit::Program program, const std::vector<std::string>& args) {
    kit::StringConsole console;
    Ending e;
    g_largest = 0;
    g_watching = true;
    try {
        e.status = program(args, console);
        if (e.status != 0 && console.text().empty()) e.problem = "status " + std::to_string(e.status) + " without a message";
    } catch (const kit::Failure& f) {
        e.status = f.status;
        const std::size_t lf = f.message.find('\n');
        if (f.status == 0) e.problem = "a failure with status 0: " + f.message;
        if (f.message.empty()) e.problem = "a failure without a message";
        if (lf != std::string::npos && lf + 1 != f.message.size()) e.problem = "a message of several lines: " + f.message;
    } catch (const std::bad_alloc&) {
        e.status = -1000;
        e.problem = "an allocation of " + std::to_string(g_largest) + " bytes was refused";
    } catch (const std::exception& x) {
        e.status = -1000;
        e.problem = std::string("an exception escaped: ") + x.what();
    }
    g_watching = false;
    if (e.problem.empty() && g_largest > kLargestJustified) {
        e.problem = "an allocation of " + std::to_string(g_largest) + " bytes";
    }
    return e;
}

// One input to try: its bytes and how it was made from the valid input.
struct Variant {
    std::string bytes;
    std::string what;
    std::optional<std::size_t> prefix;  // the length, for a cut
};

// Every prefix of `valid`, then kChanges single-byte changes at seeded
// positions, half of them to a value that the formats give a meaning to.
constexpr int kChanges = 600;

void for_each_variant(const std::string& valid, std::uint64_t seed, const std::function<bool(const Variant&)>& f) {
    for (std::size_t len = 0; len < valid.size(); ++len) {
        if (!f({valid.substr(0, len), "the first " + std::to_string(len) + " bytes", len})) return;
    }
    if (valid.empty()) return;
    static constexpr unsigned char kTelling[] = {0x00, 0xFF, '\n', '\r', 0x1A, '@', '^', '0', 'f', 'x', ' ', 0x01,
                                                 0x02, 0x03, 0x14, 0x15, 0x80, 0x7F};
    std::mt19937_64 rng(seed);
    std::string changed = valid;
    for (int k = 0; k < kChanges; ++k) {
        const std::size_t pos = rng() % valid.size();
        unsigned char v = (rng() & 1) != 0 ? kTelling[rng() % sizeof kTelling] : static_cast<unsigned char>(rng());
        if (v == static_cast<unsigned char>(valid[pos])) v = static_cast<unsigned char>(v ^ 0x5A);
        changed[pos] = static_cast<char>(v);
        char what[64];
        std::snprintf(what, sizeof what, "byte %zu changed to 0x%02X", pos, v);
        const bool go_on = f({changed, what, std::nullopt});
        changed[pos] = valid[pos];
        if (!go_on) return;
    }
}

// Collects the findings of one sweep; stops the sweep after a few.
class Findings {
public:
    explicit Findings(std::string sweep) : sweep_(std::move(sweep)) {}
    // Records a finding for `v` when `problem` is not empty; false once enough were seen.
    bool note(const Variant& v, const std::string& problem) {
        ++runs_;
        if (problem.empty()) return true;
        ADD_FAILURE() << sweep_ << ", " << v.what << ": " << problem;
        return ++count_ < 5;
    }
    ~Findings() { std::printf("[ sweep    ] %s: %zu runs\n", sweep_.c_str(), runs_); }

private:
    std::string sweep_;
    std::size_t runs_ = 0;
    int count_ = 0;
};

std::string status_text(int status) { return "status " + std::to_string(status); }

// ------------------------------------------------------------------ the sweeps

TEST(Sweep, Symspill) {
    InTempDir here;
    for (const auto& s : samples::script_files()) {
        if (s.name == "kinds_crlf") continue;  // the same script data file as "kinds"
        Findings findings("symspill " + s.name);
        for_each_variant(s.file, 1, [&](const Variant& v) {
            put_file("f.dat", v.bytes);
            std::remove("f.dat.txt");
            const Ending e = run_watched(symspill::run, {"f.dat"});
            std::string problem = e.problem;
            if (problem.empty() && v.prefix) {
                if (*v.prefix < s.needed && e.status == 0) problem = "a cut record reported as a complete run";
                if (*v.prefix >= s.needed && e.status != 0) problem = "a cut code tail failed: " + status_text(e.status);
                if (*v.prefix >= s.needed && get_file("f.dat.txt") != s.other) problem = "a cut code tail changed the dump";
            }
            return findings.note(v, problem);
        });
    }
}

TEST(Sweep, Symfold) {
    InTempDir here;
    for (const auto& s : samples::script_files()) {
        Findings dat_findings("symfold " + s.name + " (script data file)");
        put_file("f.dat.txt", s.other);
        for_each_variant(s.file, 2, [&](const Variant& v) {
            put_file("f.dat", v.bytes);
            std::remove("f.dat.new");
            const Ending e = run_watched(symfold::run, {"f.dat"});
            std::string problem = e.problem;
            if (problem.empty() && v.prefix) {
                // The code tail is copied from the file: a cut one comes out cut.
                if (*v.prefix < s.needed && e.status == 0) problem = "a cut record reported as a complete run";
                if (*v.prefix >= s.needed && e.status != 0) problem = "a cut code tail failed: " + status_text(e.status);
                if (*v.prefix >= s.needed && get_file("f.dat.new") != v.bytes) problem = "the new file differs";
            }
            return dat_findings.note(v, problem);
        });

        Findings dump_findings("symfold " + s.name + " (symbol dump)");
        put_file("f.dat", s.file);
        for_each_variant(s.other, 3, [&](const Variant& v) {
            put_file("f.dat.txt", v.bytes);
            std::remove("f.dat.new");
            const Ending e = run_watched(symfold::run, {"f.dat"});
            std::string problem = e.problem;
            // A cut dump either fails or lost nothing but the last line end.
            if (problem.empty() && v.prefix && e.status == 0 && get_file("f.dat.new") != s.file) {
                problem = "a cut dump reported as a complete run";
            }
            return dump_findings.note(v, problem);
        });
    }
}

TEST(Sweep, Arcspill) {
    InTempDir here;
    for (const auto& s : samples::archives()) {
        put_file("ou.bin", s.file);
        const Ending full = run_watched(arcspill::run, {});
        ASSERT_EQ(full.status, 0) << s.name << ": " << full.problem;
        const std::optional<std::string> unpacked = get_file("ou_unpack.csl");
        ASSERT_TRUE(unpacked.has_value());

        Findings findings("arcspill " + s.name);
        for_each_variant(s.file, 4, [&](const Variant& v) {
            put_file("ou.bin", v.bytes);
            std::remove("ou_unpack.csl");
            const Ending e = run_watched(arcspill::run, {});
            std::string problem = e.problem;
            if (problem.empty() && v.prefix) {
                if (*v.prefix < s.needed && e.status == 0) problem = "a cut archive reported as a complete run";
                if (*v.prefix >= s.needed && e.status != 0) problem = "a cut unread rest failed: " + status_text(e.status);
                if (*v.prefix >= s.needed && get_file("ou_unpack.csl") != unpacked) problem = "the output differs";
            }
            return findings.note(v, problem);
        });
    }
}

TEST(Sweep, Linespill) {
    InTempDir here;
    for (const auto& s : samples::text_archives()) {
        Findings findings("linespill " + s.name);
        for_each_variant(s.file, 5, [&](const Variant& v) {
            put_file("ou.csl", v.bytes);
            std::remove("ou.txt");
            const Ending e = run_watched(linespill::run, {});
            std::string problem = e.problem;
            // Any text archive is read whole; its list is known exactly.
            if (problem.empty() && e.status != 0) problem = "a text archive refused: " + status_text(e.status);
            if (problem.empty() && get_file("ou.txt") != samples::line_list_of(v.bytes)) problem = "the line list differs";
            return findings.note(v, problem);
        });
    }
}

TEST(Sweep, Linefold) {
    InTempDir here;
    for (const auto& s : samples::text_archives()) {
        put_file("ou.csl", s.file);
        put_file("ou.txt", s.other);
        const Ending full = run_watched(linefold::run, {});
        ASSERT_EQ(full.status, 0) << s.name << ": " << full.problem;

        Findings archive_findings("linefold " + s.name + " (text archive)");
        for_each_variant(s.file, 6, [&](const Variant& v) {
            put_file("ou.csl", v.bytes);
            std::remove("ou.cls.new");
            return archive_findings.note(v, run_watched(linefold::run, {}).problem);
        });

        Findings list_findings("linefold " + s.name + " (line list)");
        put_file("ou.csl", s.file);
        for_each_variant(s.other, 7, [&](const Variant& v) {
            put_file("ou.txt", v.bytes);
            std::remove("ou.cls.new");
            return list_findings.note(v, run_watched(linefold::run, {}).problem);
        });
    }
}

// ------------------------------------------------------------ resource bounds
//
// A count or length that the rest of the file cannot hold is reported as a
// cut before anything of that size is allocated or looped over: each of these
// tiny files fails at once with one line naming the count.

std::string word_le(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

struct BoundCase {
    const char* name;
    kit::Program program;
    std::vector<std::pair<const char*, std::string>> files;
    const char* message;  // a part of the message that names the count
};

std::string script_file_with(const kit_fixtures::script::Record& r, std::size_t keep_of_content) {
    kit_fixtures::script::File f;
    f.records.push_back(r);
    std::string bytes = f.bytes();
    const std::size_t content_start = 5 + 4 + 4 + r.name.size() + 1 + 28;
    bytes.resize(content_start + keep_of_content);
    return bytes;
}

std::vector<BoundCase> bound_cases() {
    namespace sc = kit_fixtures::script;
    using kit_fixtures::ArchiveBuilder;
    const std::string huge_count = "2" + word_le(0xFFFFFFFF) + "abc";
    const auto archive_head = [] {
        ArchiveBuilder b;
        b.line("END\n").word(0).word(0).word(0);
        return b;
    };
    sc::Record words = sc::word_list("w", 1, {});
    words.element_count = 4095;
    sc::Record strings = sc::string_list("s", {});
    strings.element_count = 4095;
    sc::File strings_file;
    strings_file.records.push_back(strings);

    return {
        {"symspill, symbol count 0xFFFFFFFF", symspill::run, {{"f.dat", huge_count}}, "symbol count 4294967295"},
        {"symfold, symbol count 0xFFFFFFFF", symfold::run, {{"f.dat", huge_count}, {"f.dat.txt", ""}},
         "symbol count 4294967295"},
        {"symspill, 4095 word elements in 6 bytes", symspill::run, {{"f.dat", script_file_with(words, 6)}},
         "4095 words need at least 16380 bytes"},
        {"symspill, 4095 string lines in 6 bytes", symspill::run, {{"f.dat", script_file_with(strings, 6)}},
         "4095 string lines need at least 4095 bytes"},
        {"symfold, 4095 string lines in 6 bytes", symfold::run,
         {{"f.dat", script_file_with(strings, 6)}, {"f.dat.txt", strings_file.dump()}}, "4095"},
        {"arcspill, item count 0xFFFFFFFF", arcspill::run,
         {{"ou.bin", archive_head().root(1, "r").count(0xFFFFFFFF).take()}}, "item 0 "},
        {"arcspill, root string of 65535 bytes", arcspill::run,
         {{"ou.bin", archive_head().fixed(1, 2, 0xFFFF).raw("short").take()}}, "65535 string bytes"},
        {"arcspill, string of 0xFFFFFFFF bytes", arcspill::run,
         {{"ou.bin", archive_head().root(1, "r").count(1).number(2, 0xFFFFFFFF).raw("short").take()}},
         "4294967295 string bytes"},
        {"arcspill, block name of 0xFFFFFFFF bytes", arcspill::run,
         {{"ou.bin", archive_head().root(1, "r").count(1).string(1, "open").number(18, 0).number(2, 0xFFFFFFFF).take()}},
         "4294967295 string bytes"},
    };
}

TEST(ResourceBounds, CountsBeyondTheFileFailAtOnce) {
    for (const auto& c : bound_cases()) {
        InTempDir here;
        for (const auto& [name, bytes] : c.files) put_file(name, bytes);
        kit::StringConsole console;
        const auto start = std::chrono::steady_clock::now();
        const Ending e = run_watched(c.program, {"f.dat"});
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(e.problem, "") << c.name;
        EXPECT_NE(e.status, 0) << c.name;
        EXPECT_LT(g_largest, kLargestJustified) << c.name;
        EXPECT_LT(took, std::chrono::seconds(5)) << c.name;
        // The message itself, for its content.
        const int status = kit::run_program(c.program, {"f.dat"}, console);
        EXPECT_EQ(status, e.status) << c.name;
        EXPECT_NE(console.text().find(c.message), std::string::npos) << c.name << ": " << console.text();
    }
}

}  // namespace
