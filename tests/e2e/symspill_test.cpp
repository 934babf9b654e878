// symspill end to end: the dump of every kind of record, and every failure
// with its message, status and what the dump file then holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/harness.hpp"
#include "tools/fixtures/scriptdata_fixture.hpp"

namespace {

namespace fx = kit_fixtures::script;
using kit_test::TempDir;

const std::string Z = "00000000";
// A property field whose words are all zero but the descriptor, given as the
// dump shows its four bytes.
std::string props(const std::string& descriptor) { return Z + descriptor + Z + Z + Z + Z + Z; }

// The lines of `dump` before line `count`.
std::string first_lines(const std::string& dump, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) at = dump.find('\n', at) + 1;
    return dump.substr(0, at);
}

TEST(Symspill, CommandLine) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status;
    };
    const std::string help =
        "Usage:  symspill <dat file>\n"
        "Writes the symbol dump of <dat file> to <dat file>.txt, one line per symbol record.\n";
    const std::vector<Case> cases = {
        {{}, "Usage:  symspill <dat file>\n", 1},
        {{"--help"}, help, 0},
        {{"--help", "a.dat"}, help, 0},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("a.dat", fx::every_kind().bytes());
        const auto r = kit_test::run("symspill", c.args, dir.path());
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(dir.files(), std::vector<std::string>{"a.dat"}) << "no file is touched";
    }
    TempDir dir;
    const auto r = kit_test::run("symspill", {"--version"}, dir.path());
    EXPECT_EQ(r.out.rfind("symspill ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.back(), '\n');
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(dir.files().empty());
}

// Each corner of the content table, as the dump line must read.
TEST(Symspill, DumpLineOfEachKind) {
    fx::File f;
    fx::Record bits = fx::string_list("bits", {"x"});
    bits.other_bits = 0xFFFB0000;
    f.records = {
        fx::bare("", 0),
        fx::word_list("alpha", 1, {1, 0xABCDEF01, 3}),
        fx::word_list("w0", 2, {}),
        fx::string_list("s", {"a^b"}),
        fx::string_list("two", {"x@y", ""}),
        fx::string_list("empty", {""}),
        fx::string_list("none", {}),
        fx::no_content("flag", 1, 5),
        fx::one_word("five", 5, 0x12345678, 0),
        fx::one_word("seven", 7, 9, 9),
        fx::bare("eight", 8, 3),
        fx::bare("fifteen", 15, 0xFFF),
        bits,
        fx::string_list("cr\r", {"end\r", "\x1A!"}),
    };
    f.records[10].parent = 0x87654321;
    f.tail = "anything";
    const std::string want =
        "00000000@00000001@@" + props(Z) + "@" + Z + "\n" +
        "00000001@00000001@alpha@" + props("03100000") + "@00000001ABCDEF0100000003@" + Z + "\n" +
        "00000002@00000001@w0@" + props("00200000") + "@DEADBEAF@" + Z + "\n" +
        "00000003@00000001@s@" + props("01300000") + "@a^b^@" + Z + "\n" +
        "00000004@00000001@two@" + props("02300000") + "@x@y^^@" + Z + "\n" +
        "00000005@00000001@empty@" + props("01300000") + "@^@" + Z + "\n" +
        "00000006@00000001@none@" + props("00300000") + "@DEADBEAF@" + Z + "\n" +
        "00000007@00000001@flag@" + props("05100400") + "@DEADBEAF@" + Z + "\n" +
        "00000008@00000001@five@" + props("00500000") + "@12345678@" + Z + "\n" +
        "00000009@00000001@seven@" + props("09700000") + "@00000009@" + Z + "\n" +
        "0000000A@00000001@eight@" + props("03800000") + "@87654321\n" +
        "0000000B@00000001@fifteen@" + props("FFFF0000") + "@" + Z + "\n" +
        "0000000C@00000001@bits@" + props("0130FBFF") + "@x^@" + Z + "\n" +
        "0000000D@00000001@cr\r@" + props("02300000") + "@end\r^\x1A!^@" + Z + "\n";

    TempDir dir;
    dir.write("a.dat", f.bytes());
    const auto r = kit_test::run("symspill", {"a.dat"}, dir.path());
    EXPECT_EQ(r.out, "working...\nend working\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("a.dat.txt"), want);
}

// Long texts, NUL bytes, high bytes and long word lists are dumped whole;
// two runs give the same bytes; the code tail plays no part.
TEST(Symspill, EveryKindWhole) {
    const fx::File f = fx::every_kind();
    TempDir dir;
    dir.write("a.dat", f.bytes());
    for (int run = 0; run < 2; ++run) {
        const auto r = kit_test::run("symspill", {"a.dat"}, dir.path());
        EXPECT_EQ(r.out, "working...\nend working\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(dir.read("a.dat.txt"), f.dump());
    }
    fx::File no_tail = f;
    no_tail.tail.clear();
    dir.write("b.dat", no_tail.bytes());
    EXPECT_EQ(kit_test::run("symspill", {"b.dat"}, dir.path()).status, 0);
    EXPECT_EQ(dir.read("b.dat.txt"), f.dump());
}

// A generated file of a few MB: its records straddle the ends of the read
// buffer (those are read the careful way, the others in place), and two are
// longer than the buffer; the dump is the one the fixture describes.
TEST(Symspill, GeneratedFileOfAFewMegabytes) {
    fx::File f = fx::random_file(3, 3000000);
    f.records.insert(f.records.begin() + 500, fx::string_list("long", {std::string(400000, 'x'), "y"}));
    f.records.insert(f.records.begin() + 501, fx::bare(std::string(300000, 'n'), 12));
    TempDir dir;
    dir.write("a.dat", f.bytes());
    const auto r = kit_test::run("symspill", {"a.dat"}, dir.path());
    EXPECT_EQ(r.out, "working...\nend working\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(dir.read("a.dat.txt") == f.dump());
}

TEST(Symspill, NoRecords) {
    fx::File f;
    f.tail = "tail bytes\n";
    TempDir dir;
    dir.write("a.dat", f.bytes());
    const auto r = kit_test::run("symspill", {"a.dat"}, dir.path());
    EXPECT_EQ(r.out, "working...\nend working\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("a.dat.txt"), "");
}

// An argument of any length names the file; a second argument is ignored.
TEST(Symspill, LongArgument) {
    const std::string name(240, 'n');
    TempDir dir;
    dir.write(name, fx::every_kind().bytes());
    const auto r = kit_test::run("symspill", {name, "ignored"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read(name + ".txt"), fx::every_kind().dump());
}

// A run that cannot start leaves the dump alone: not created when missing,
// not emptied when it holds an edited dump.
TEST(Symspill, FailuresBeforeTheDump) {
    fx::File big;
    big.count = 1000;
    big.records = {fx::bare("a", 0)};
    big.sort_index = {0, 1};
    struct Case {
        const char* what;
        std::optional<std::string> dat;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"missing", std::nullopt, "Error open dat file\n"},
        {"wrong version", std::string("1") + std::string(4, '\0'), "Unknown version of dat file\n"},
        {"wrong version, short", std::string("X"), "Unknown version of dat file\n"},
        {"empty", std::string(),
         "a.dat: the header is cut off: the version byte and symbol count take 5 bytes, the file ends at byte "
         "offset 0\n"},
        {"count cut", std::string("2\x01\x00", 3),
         "a.dat: the header is cut off: the version byte and symbol count take 5 bytes, the file ends at byte "
         "offset 3\n"},
        {"count beyond the file", big.bytes(),
         "a.dat: symbol count 1000 needs a sort index of 4000 bytes from byte offset 5, but the file ends at "
         "byte offset " + std::to_string(big.bytes().size()) + "\n"},
        {"count 0xFFFFFFFF", std::string("2\xFF\xFF\xFF\xFF", 5),
         "a.dat: symbol count 4294967295 needs a sort index of 17179869180 bytes from byte offset 5, but the file "
         "ends at byte offset 5\n"},
    };
    for (const auto& c : cases) {
        for (const bool edited : {false, true}) {
            TempDir dir;
            if (c.dat) dir.write("a.dat", *c.dat);
            if (edited) dir.write("a.dat.txt", "edited\n");
            const auto r = kit_test::run("symspill", {"a.dat"}, dir.path());
            EXPECT_EQ(r.out, c.out) << c.what;
            EXPECT_EQ(r.status, c.out[0] == 'U' ? 2 : 255) << c.what;
            if (edited) {
                EXPECT_EQ(dir.read("a.dat.txt"), "edited\n") << c.what;
            } else {
                EXPECT_FALSE(dir.exists("a.dat.txt")) << c.what;
            }
        }
    }
}

TEST(Symspill, DumpCannotBeCreated) {
    TempDir dir;
    dir.write("a.dat", fx::every_kind().bytes());
    std::filesystem::create_directory(dir / "a.dat.txt");
    const auto r = kit_test::run("symspill", {"a.dat"}, dir.path());
    EXPECT_EQ(r.out, "Error create dump file:a.dat.txt\n");
    EXPECT_EQ(r.status, 255);
}

// A bad record ends the run; the dump keeps the complete lines before it.
TEST(Symspill, BadRecord) {
    fx::File f;
    f.records = {fx::word_list("a", 1, {1, 2}), fx::string_list("b", {"x", "yz"}), fx::one_word("c", 4, 5),
                 fx::bare("d", 0), fx::string_list("e", {"last"})};
    f.tail = "TAIL";
    const std::string full = f.bytes();
    const auto at = [&](std::size_t i) { return f.record_offset(i); };
    const auto cut = [&](std::uint64_t size) { return full.substr(0, size); };
    const auto with_name_present = [&](std::size_t i, std::uint32_t v) {
        fx::File g = f;
        g.records[i].name_present = v;
        return g.bytes();
    };
    const auto cut_msg = [&](std::size_t i, const char* part, std::uint64_t end) {
        return "a.dat: record 0000000" + std::to_string(i) + " (from byte offset " + std::to_string(at(i)) +
               ") is cut off in its " + part + ": the file ends at byte offset " + std::to_string(end) + "\n";
    };
    // An element count that the rest of the file cannot hold is refused before the content is read.
    const auto short_msg = [&](std::size_t i, const char* need, std::uint64_t from, std::uint64_t end) {
        return "a.dat: record 0000000" + std::to_string(i) + " (from byte offset " + std::to_string(at(i)) +
               ") is cut off in its content: " + need + " bytes from byte offset " + std::to_string(from) +
               ", but the file ends at byte offset " + std::to_string(end) + "\n";
    };
    struct Case {
        std::string dat;
        std::size_t lines;  // complete lines kept
        std::string message;
    };
    const std::vector<Case> cases = {
        {with_name_present(3, 0), 3, "Error parse file:item=00000003\n"},
        {with_name_present(2, 2), 2, "Error parse file:item=00000002\n"},
        {with_name_present(0, 0x100), 0, "Error parse file:item=00000000\n"},
        {cut(at(5)), 5, ""},  // the code tail is never read
        {cut(at(4)), 4, cut_msg(4, "name-present word", at(4))},
        {cut(at(0) + 3), 0, cut_msg(0, "name-present word", at(0) + 3)},
        {cut(at(0) + 5), 0, cut_msg(0, "name line", at(0) + 5)},
        {cut(at(0) + 6 + 27), 0, cut_msg(0, "property block", at(0) + 33)},
        {cut(at(0) + 6 + 28 + 7), 0, short_msg(0, "2 words need at least 8", at(0) + 34, at(0) + 41)},
        {cut(at(1) + 6 + 28 + 3), 1, cut_msg(1, "content", at(1) + 37)},  // second string without LF
        {cut(at(2) + 6 + 28 + 2), 2, short_msg(2, "1 word needs at least 4", at(2) + 34, at(2) + 36)},
        {cut(at(3) - 1), 2, cut_msg(2, "parent word", at(3) - 1)},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("a.dat", c.dat);
        const auto r = kit_test::run("symspill", {"a.dat"}, dir.path());
        if (c.message.empty()) {
            EXPECT_EQ(r.out, "working...\nend working\n");
            EXPECT_EQ(r.status, 0);
        } else {
            EXPECT_EQ(r.out, "working...\n" + c.message);
            EXPECT_EQ(r.status, 255) << c.message;
        }
        EXPECT_EQ(dir.read("a.dat.txt"), first_lines(f.dump(), c.lines)) << c.message;
    }
}

}  // namespace
