// symfold end to end: the round trip for every kind of record and the ways a
// dump may be saved, the edits a user makes, every failure with its message,
// status and what the new file then holds, and a seeded property test over
// many generated files (dump, fold, compare).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/harness.hpp"
#include "tools/fixtures/scriptdata_fixture.hpp"

namespace {

namespace fx = kit_fixtures::script;
using kit_test::TempDir;

struct Fold {
    kit_test::RunResult run;
    std::optional<std::string> made;  // the new file
};

Fold fold(const std::string& dat, const std::string& dump) {
    TempDir dir;
    dir.write("a.dat", dat);
    dir.write("a.dat.txt", dump);
    Fold f{kit_test::run("symfold", {"a.dat"}, dir.path()), std::nullopt};
    f.made = dir.read("a.dat.new");
    return f;
}

std::string spill(const std::string& dat) {
    TempDir dir;
    dir.write("a.dat", dat);
    EXPECT_EQ(kit_test::run("symspill", {"a.dat"}, dir.path()).status, 0);
    return dir.read("a.dat.txt").value_or("");
}

std::vector<std::string> split_lines(const std::string& dump) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < dump.size();) {
        const std::size_t lf = dump.find('\n', at);
        lines.push_back(dump.substr(at, lf - at));
        at = lf + 1;
    }
    return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
    return s;
}

// Replaces the first `from` in line `k` (from 0) of the dump.
std::string edit_line(const std::string& dump, std::size_t k, const std::string& from, const std::string& to) {
    auto lines = split_lines(dump);
    const std::size_t at = lines.at(k).find(from);
    EXPECT_NE(at, std::string::npos) << from;
    lines[k].replace(at, from.size(), to);
    return join_lines(lines);
}

const char kDone[] = "working...\nend working\n";

TEST(Symfold, CommandLine) {
    const std::string help =
        "Usage:  symfold <dat file>\n"
        "Rebuilds <dat file> from its edited symbol dump <dat file>.txt into <dat file>.new.\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status;
    };
    const std::vector<Case> cases = {
        {{}, "Usage:  symfold <dat file>\n", 1},
        {{"--help"}, help, 0},
        {{"--help", "a.dat"}, help, 0},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("a.dat", fx::every_kind().bytes());
        dir.write("a.dat.txt", fx::every_kind().dump());
        const auto r = kit_test::run("symfold", c.args, dir.path());
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"a.dat", "a.dat.txt"})) << "no file is touched";
    }
    TempDir dir;
    const auto r = kit_test::run("symfold", {"--version"}, dir.path());
    EXPECT_EQ(r.out.rfind("symfold ", 0), 0u) << r.out;
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(dir.files().empty());
}

// A run that cannot start leaves the new file alone: not created when
// missing, not emptied when it exists.
TEST(Symfold, FailuresBeforeTheNewFile) {
    const std::string good = fx::every_kind().bytes();
    fx::File big;
    big.count = 70;
    big.records = {fx::bare("a", 0)};
    struct Case {
        const char* what;
        std::optional<std::string> dat;
        std::optional<std::string> dump;
        std::string out;
        int status;
    };
    const std::vector<Case> cases = {
        {"no dat file", std::nullopt, "", "Error open dat file\n", 255},
        {"wrong version", "3" + good.substr(1), "", "Unknown version of dat file\n", 2},
        {"wrong version, no dump", std::string("X"), std::nullopt, "Unknown version of dat file\n", 2},
        {"no dump", good, std::nullopt, "Error open text update of dat file:a.dat.txt\n", 2},
        {"empty dat file", std::string(), "",
         "a.dat: the header is cut off: the version byte and symbol count take 5 bytes, the file ends at byte "
         "offset 0\n",
         255},
        {"count cut", std::string("2\x00\x00", 3), "",
         "a.dat: the header is cut off: the version byte and symbol count take 5 bytes, the file ends at byte "
         "offset 3\n",
         255},
        {"count beyond the file", big.bytes(), "",
         "a.dat: symbol count 70 needs a sort index of 280 bytes from byte offset 5, but the file ends at byte "
         "offset " + std::to_string(big.bytes().size()) + "\n",
         255},
    };
    for (const auto& c : cases) {
        for (const bool existing : {false, true}) {
            TempDir dir;
            if (c.dat) dir.write("a.dat", *c.dat);
            if (c.dump) dir.write("a.dat.txt", *c.dump);
            if (existing) dir.write("a.dat.new", "old\n");
            const auto r = kit_test::run("symfold", {"a.dat"}, dir.path());
            EXPECT_EQ(r.out, c.out) << c.what;
            EXPECT_EQ(r.status, c.status) << c.what;
            if (existing) {
                EXPECT_EQ(dir.read("a.dat.new"), "old\n") << c.what;
            } else {
                EXPECT_FALSE(dir.exists("a.dat.new")) << c.what;
            }
        }
    }
}

TEST(Symfold, NewFileCannotBeCreated) {
    TempDir dir;
    dir.write("a.dat", fx::every_kind().bytes());
    dir.write("a.dat.txt", fx::every_kind().dump());
    std::filesystem::create_directory(dir / "a.dat.new");
    const auto r = kit_test::run("symfold", {"a.dat"}, dir.path());
    EXPECT_EQ(r.out, "Error create new dat file:a.dat.new\n");
    EXPECT_EQ(r.status, 255);
}

// The dump that symspill wrote folds back to the same file, byte for byte,
// however an editor saved it.
TEST(Symfold, RoundTripOfEveryKind) {
    const fx::File f = fx::every_kind();
    const std::string dat = f.bytes();
    const std::string dump = spill(dat);
    ASSERT_EQ(dump, f.dump());
    std::string lower = dump;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    }
    ASSERT_NE(lower, dump);
    std::string junk_after_parent;
    std::string markers_changed;
    for (const auto& l : split_lines(dump)) {
        junk_after_parent += l + " \t@ note\n";  // a "^" there would end a single string (its last "^")
        // Record 2 holds the word DEADBEAF, which is no marker.
        markers_changed += (l.rfind("00000002@", 0) == 0 ? l : replace_all(l, "DEADBEAF@", "-- xx --@")) + "\n";
    }
    struct Case {
        const char* what;
        std::string dump;
    };
    const std::vector<Case> cases = {
        {"untouched", dump},
        {"CR LF line ends", replace_all(dump, "\n", "\r\n")},
        {"lower-case digits", lower},
        {"byte order mark", "\xEF\xBB\xBF" + dump},
        {"byte order mark and CR LF", "\xEF\xBB\xBF" + replace_all(dump, "\n", "\r\n")},
        {"last line without LF", dump.substr(0, dump.size() - 1)},
        {"lines after the last record", dump + "extra line\nnot a dump line at all\n"},
        {"anything after the parent field", junk_after_parent},
        {"marker characters changed", markers_changed},
        {"index fields changed", replace_all(dump, "\n000000", "\nFFFFFF")},
    };
    for (const auto& c : cases) {
        const Fold r = fold(dat, c.dump);
        EXPECT_EQ(r.run.out, kDone) << c.what;
        EXPECT_EQ(r.run.status, 0) << c.what;
        EXPECT_TRUE(r.made == dat) << c.what;
    }

    fx::File no_tail = f;
    no_tail.tail.clear();
    const Fold r = fold(no_tail.bytes(), dump);
    EXPECT_EQ(r.run.status, 0);
    EXPECT_TRUE(r.made == no_tail.bytes());
}

// Dump lines longer than the programs' read and write buffers, between short
// ones, are dumped whole and fold back.
TEST(Symfold, RoundTripOfLinesLongerThanTheBuffers) {
    fx::File f;
    f.records = {fx::bare("a", 0), fx::bare(std::string(300000, 'N'), 0),
                 fx::string_list("s", {std::string(300000, 's'), "t"}), fx::bare("z", 0)};
    f.tail = "tail";
    const std::string dat = f.bytes();
    ASSERT_EQ(spill(dat), f.dump());
    const Fold r = fold(dat, f.dump());
    EXPECT_EQ(r.run.out, kDone);
    EXPECT_EQ(r.run.status, 0);
    EXPECT_TRUE(r.made == dat);
}

TEST(Symfold, NoRecords) {
    fx::File f;
    f.tail = "tail\n";
    const Fold r = fold(f.bytes(), "lines after the N-th are never read\n");
    EXPECT_EQ(r.run.out, kDone);
    EXPECT_EQ(r.run.status, 0);
    EXPECT_EQ(r.made, f.bytes());
}

fx::File edit_base() {
    fx::File f;
    f.records = {fx::string_list("greet", {"Hello"}), fx::word_list("w", 1, {1, 2}), fx::no_content("flag", 2, 3),
                 fx::bare("t0", 0),  fx::one_word("five", 5, 7),   fx::string_list("pair", {"a", "b"}),
                 fx::bare("t9", 9)};
    for (std::size_t i = 0; i < f.records.size(); ++i) f.records[i].parent = static_cast<std::uint32_t>(0x100 + i);
    f.tail = std::string("\x00tail\x1A", 6);
    return f;
}

// What an edit of the dump carries into the new file: the records change,
// the sort index and the code tail stay.
TEST(Symfold, Edits) {
    const fx::File base = edit_base();
    const std::string dump = base.dump();
    struct Case {
        const char* what;
        std::string dump;
        std::function<void(fx::File&)> expect;
    };
    const std::vector<Case> cases = {
        {"longer string", edit_line(dump, 0, "Hello^", "Hello, a longer world^"),
         [](fx::File& f) { f.records[0].strings[0] = "Hello, a longer world"; }},
        {"shorter string", edit_line(dump, 0, "Hello^", "H^"), [](fx::File& f) { f.records[0].strings[0] = "H"; }},
        {"a^b in a single string", edit_line(dump, 0, "Hello^", "a^b^"),
         [](fx::File& f) { f.records[0].strings[0] = "a^b"; }},
        {"CR and @ in strings", edit_line(dump, 5, "a^b^", "x@\r^\ry^"),
         [](fx::File& f) { f.records[5].strings = {"x@\r", "\ry"}; }},
        {"count raised with a string added",
         edit_line(edit_line(dump, 0, "01300000", "02300000"), 0, "Hello^", "Hello^again^"),
         [](fx::File& f) { f.records[0] = fx::string_list("greet", {"Hello", "again"}), f.records[0].parent = 0x100; }},
        {"count lowered with a string removed",
         edit_line(edit_line(dump, 5, "02300000", "01300000"), 5, "a^b^", "a^"),
         [](fx::File& f) { f.records[5].strings = {"a"}, f.records[5].element_count = 1; }},
        {"word elements", edit_line(dump, 1, "0000000100000002@", "0000000aFFFFFFFF@"),
         [](fx::File& f) { f.records[1].words = {10, 0xFFFFFFFF}; }},
        {"one word of a type 5 record with count 0", edit_line(dump, 4, "@00000007@", "@deadBEEF@"),
         [](fx::File& f) { f.records[4].words = {0xDEADBEEF}; }},
        {"parent right after a type 0 record's property field", edit_line(dump, 3, "@00000103", "@0000abcd"),
         [](fx::File& f) { f.records[3].parent = 0xABCD; }},
        {"parent of a type 9 record", edit_line(dump, 6, "@00000106", "@00000000"),
         [](fx::File& f) { f.records[6].parent = 0; }},
        {"no-content marker replaced", edit_line(dump, 2, "DEADBEAF@", "12345678@"), [](fx::File&) {}},
        {"empty name", edit_line(dump, 0, "@greet@", "@@"), [](fx::File& f) { f.records[0].name = ""; }},
        {"name with CR, ^ and NUL", edit_line(dump, 1, "@w@", std::string("@n\r^\0m@", 7)),
         [](fx::File& f) { f.records[1].name = std::string("n\r^\0m", 5); }},
        {"property words and other descriptor bits",
         edit_line(dump, 4, "00500000", "0050F0FF"),
         [](fx::File& f) { f.records[4].other_bits = 0xFFF00000; }},
        {"type changed from 5 to 3, content read as a string",
         edit_line(edit_line(dump, 4, "00500000", "01300000"), 4, "@00000007@", "@00000007^@"),
         [](fx::File& f) {
             f.records[4] = fx::string_list("five", {"00000007"}), f.records[4].parent = 0x104;
         }},
        {"lines swapped",
         [&] {
             auto lines = split_lines(dump);
             std::swap(lines[0], lines[1]);
             return join_lines(lines);
         }(),
         [](fx::File& f) { std::swap(f.records[0], f.records[1]); }},
    };
    for (const auto& c : cases) {
        fx::File want = base;
        c.expect(want);
        const Fold r = fold(base.bytes(), c.dump);
        EXPECT_EQ(r.run.out, kDone) << c.what;
        EXPECT_EQ(r.run.status, 0) << c.what;
        EXPECT_TRUE(r.made == want.bytes()) << c.what;
    }
}

// A dump line that would be read as something other than what it says is
// rejected with its line number; the new file keeps the header and the
// records before it, and nothing of the rejected one.
TEST(Symfold, RejectedDumpLines) {
    const fx::File base = edit_base();
    const std::string dat = base.bytes();
    const std::string dump = base.dump();
    const auto lines = split_lines(dump);
    const auto set_line = [&](std::size_t k, const std::string& text) {
        auto l = lines;
        l[k] = text;
        return join_lines(l);
    };
    const std::string P0 = "000000000130000000000000000000000000000000000000000000";  // 54 of line 0's 56 digits
    struct Case {
        std::string dump;
        std::size_t line;  // from 1
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", 1, "a.dat.txt: ends after 0 lines, but a.dat holds 7 symbol records\n"},
        {join_lines({lines[0], lines[1]}), 3, "a.dat.txt: ends after 2 lines, but a.dat holds 7 symbol records\n"},
        {replace_all(dump, "Hello^", "Hel\x1Alo^"), 1,
         "a.dat.txt: line 1, column 82: expected a string ended by \"^\"\n"},
        {set_line(1, "0000"), 2,
         "a.dat.txt: line 2, column 1: expected the 8 hexadecimal digits of the index field, but the line ends "
         "after 4 characters\n"},
        {set_line(1, ""), 2,
         "a.dat.txt: line 2, column 1: expected the 8 hexadecimal digits of the index field, but the line ends "
         "after 0 characters\n"},
        {edit_line(dump, 1, "00000001@", "0000000G@"), 2,
         "a.dat.txt: line 2, column 1: expected the 8 hexadecimal digits of the index field\n"},
        {edit_line(dump, 1, "00000001@00000001", "00000001#00000001"), 2,
         "a.dat.txt: line 2, column 9: expected the separator \"@\"\n"},
        {edit_line(dump, 0, "@00000001@", "@00000002@"), 1,
         "a.dat.txt: line 1, column 10: name-present field 00000002 is not 00000001\n"},
        {edit_line(dump, 0, "@00000001@", "@00000000@"), 1,
         "a.dat.txt: line 1, column 10: name-present field 00000000 is not 00000001\n"},
        {edit_line(dump, 0, "@00000001@", "@ 0000001@"), 1,
         "a.dat.txt: line 1, column 10: expected the 8 hexadecimal digits of the name-present field\n"},
        {edit_line(dump, 0, "@00000001@", "@00000001#"), 1,
         "a.dat.txt: line 1, column 18: expected the separator \"@\"\n"},
        {set_line(0, "00000000@00000001@greet"), 1,
         "a.dat.txt: line 1, column 19: expected the \"@\" that ends the name\n"},
        {set_line(0, "00000000@00000001@"), 1,
         "a.dat.txt: line 1, column 19: expected the \"@\" that ends the name, but the line ends after 18 "
         "characters\n"},
        {edit_line(dump, 0, "@greet@", "@gre@et@"), 1,
         "a.dat.txt: line 1, column 23: expected the 56 hexadecimal digits of the property field\n"},
        {set_line(0, "00000000@00000001@greet@" + P0), 1,
         "a.dat.txt: line 1, column 25: expected the 56 hexadecimal digits of the property field, but the line "
         "ends after 78 characters\n"},
        {edit_line(dump, 0, "01300000", "013000x0"), 1,
         "a.dat.txt: line 1, column 25: expected the 56 hexadecimal digits of the property field\n"},
        {edit_line(dump, 0, "@Hello", "#Hello"), 1, "a.dat.txt: line 1, column 81: expected the separator \"@\"\n"},
        {edit_line(dump, 0, "Hello^@", "Hello"), 1, "a.dat.txt: line 1, column 82: expected a string ended by \"^\"\n"},
        {edit_line(dump, 0, "Hello^@", "Hello^#"), 1, "a.dat.txt: line 1, column 88: expected the separator \"@\"\n"},
        {edit_line(dump, 0, "01300000", "02300000"), 1,
         "a.dat.txt: line 1, column 88: expected string 2 of 2 ended by \"^\", as the element count asks\n"},
        {edit_line(dump, 5, "a^b^@", "a^b@"), 6,
         "a.dat.txt: line 6, column 83: expected string 2 of 2 ended by \"^\", as the element count asks\n"},
        {edit_line(dump, 5, "a^b^@", "a^b^#"), 6, "a.dat.txt: line 6, column 85: expected the separator \"@\"\n"},
        {edit_line(dump, 1, "0000000100000002@", "00000001000000x2@"), 2,
         "a.dat.txt: line 2, column 86: expected the 8 hexadecimal digits of word element 2 of 2\n"},
        {edit_line(dump, 1, "0000000100000002@", "000000010000002@"), 2,
         "a.dat.txt: line 2, column 86: expected the 8 hexadecimal digits of word element 2 of 2\n"},
        {edit_line(dump, 1, "0000000100000002@", "0000000100000002#"), 2,
         "a.dat.txt: line 2, column 94: expected the separator \"@\"\n"},
        {edit_line(dump, 2, "DEADBEAF@", "DEADBEAF#"), 3, "a.dat.txt: line 3, column 89: expected the separator \"@\"\n"},
        {set_line(2, lines[2].substr(0, 84)), 3,
         "a.dat.txt: line 3, column 81: expected the 9 characters of the empty content field, but the line ends "
         "after 84 characters\n"},
        {edit_line(dump, 4, "@00000007@", "@0000007@"), 5,
         "a.dat.txt: line 5, column 81: expected the 8 hexadecimal digits of the word element\n"},
        {edit_line(dump, 4, "@00000007@", "@00000007 "), 5, "a.dat.txt: line 5, column 89: expected the separator \"@\"\n"},
        {edit_line(dump, 3, "@00000103", "@0000103"), 4,
         "a.dat.txt: line 4, column 79: expected the 8 hexadecimal digits of the parent field, but the line ends "
         "after 85 characters\n"},
        {edit_line(dump, 6, "@00000106", "@+0000106"), 7,
         "a.dat.txt: line 7, column 79: expected the 8 hexadecimal digits of the parent field\n"},
        {edit_line(dump, 6, "@00000106", "@0x000106"), 7,
         "a.dat.txt: line 7, column 79: expected the 8 hexadecimal digits of the parent field\n"},
    };
    for (const auto& c : cases) {
        const Fold r = fold(dat, c.dump);
        EXPECT_EQ(r.run.out, "working...\n" + c.message);
        EXPECT_EQ(r.run.status, 255) << c.message;
        EXPECT_TRUE(r.made == dat.substr(0, base.record_offset(c.line - 1))) << c.message;
    }
}

// The tail walk passes over the records of the script data file after the
// rebuild pass: a bad record there is reported then, and the new file holds
// every rebuilt record but no code tail.
TEST(Symfold, BadRecordInTheTailWalk) {
    const fx::File base = edit_base();
    fx::File edited = base;
    edited.records[0].strings[0] = "rebuilt from the dump";
    const std::string dump = edited.dump();
    const std::string rebuilt = edited.bytes();
    const std::string rebuilt_without_tail = rebuilt.substr(0, rebuilt.size() - base.tail.size());

    fx::File bad = base;
    bad.records[3].name_present = 0;
    const std::string full = base.bytes();
    const std::uint64_t at4 = base.record_offset(4);
    struct Case {
        std::string dat;
        std::string message;
    };
    const std::vector<Case> cases = {
        {bad.bytes(), "Error parse file:item=00000003\n"},
        {full.substr(0, at4 + 10), "a.dat: record 00000004 (from byte offset " + std::to_string(at4) +
                                       ") is cut off in its property block: the file ends at byte offset " +
                                       std::to_string(at4 + 10) + "\n"},
    };
    for (const auto& c : cases) {
        const Fold r = fold(c.dat, dump);
        EXPECT_EQ(r.run.out, "working...\n" + c.message);
        EXPECT_EQ(r.run.status, 255);
        EXPECT_TRUE(r.made == rebuilt_without_tail) << c.message;
    }
}

// The tail walk runs beside the rebuild pass, yet a bad dump line is still
// reported before a bad record of the script data file, whichever of the two
// is met first, and the new file holds the same bytes as when the walk came
// after the rebuild pass: the records rebuilt before the bad line.
TEST(Symfold, BadDumpLineIsReportedBeforeABadRecord) {
    const fx::File small = edit_base();
    fx::File small_bad = small;
    small_bad.records[0].name_present = 0;  // met at once by the walk
    const fx::File big = fx::random_file(21, 1500000);
    const std::string big_dat = big.bytes();
    const std::string big_dump = big.dump();
    std::string bad_second_line = big_dump;
    bad_second_line.at(big_dump.find('\n') + 9) = '#';  // line 2, column 9
    const std::uint64_t last = big.record_offset(big.records.size() - 1);
    struct Case {
        std::string what;
        std::string dat;
        std::string dump;
        std::size_t rebuilt;  // records rebuilt before the failure
        std::string message;
    };
    const std::vector<Case> cases = {
        {"bad first record, bad third line", small_bad.bytes(), edit_line(small.dump(), 2, "@DEADBEAF@", "@DEADBEAF#"),
         2, "a.dat.txt: line 3, column 89: expected the separator \"@\"\n"},
        {"last record cut, bad second line", big_dat.substr(0, last + 2), bad_second_line, 1,
         "a.dat.txt: line 2, column 9: expected the separator \"@\"\n"},
        {"last record cut, dump too short", big_dat.substr(0, last + 2), big_dump.substr(0, big_dump.find('\n') + 1), 1,
         "a.dat.txt: ends after 1 lines, but a.dat holds " + std::to_string(big.records.size()) +
             " symbol records\n"},
    };
    for (const auto& c : cases) {
        const Fold r = fold(c.dat, c.dump);
        EXPECT_EQ(r.run.out, "working...\n" + c.message) << c.what;
        EXPECT_EQ(r.run.status, 255) << c.what;
        const fx::File& f = c.dat.size() < 1000 ? small : big;
        const std::string& bytes = c.dat.size() < 1000 ? small.bytes() : big_dat;
        EXPECT_TRUE(r.made == bytes.substr(0, f.record_offset(c.rebuilt))) << c.what;
    }
}

// A file of a few MB whose last record is cut: the walk fails long after it
// started, and is reported once every record was rebuilt.
TEST(Symfold, RecordCutAtTheEndOfAFileOfAFewMegabytes) {
    const fx::File big = fx::random_file(22, 1500000);
    const std::string dat = big.bytes();
    const std::size_t n = big.records.size();
    const std::uint64_t last = big.record_offset(n - 1);
    char index[9];
    std::snprintf(index, sizeof index, "%08zX", n - 1);
    const Fold r = fold(dat.substr(0, last + 2), big.dump());
    EXPECT_EQ(r.run.out, "working...\na.dat: record " + std::string(index) +
                             " (from byte offset " + std::to_string(last) +
                             ") is cut off in its name-present word: the file ends at byte offset " +
                             std::to_string(last + 2) + "\n");
    EXPECT_EQ(r.run.status, 255);
    EXPECT_TRUE(r.made == dat.substr(0, big.record_offset(n)));
    // Whole, it folds back.
    const Fold whole = fold(dat, big.dump());
    EXPECT_EQ(whole.run.out, kDone);
    EXPECT_TRUE(whole.made == dat);
}

TEST(Symfold, LongArgument) {
    const std::string name(240, 'n');
    const fx::File f = fx::every_kind();
    TempDir dir;
    dir.write(name, f.bytes());
    dir.write(name + ".txt", f.dump());
    const auto r = kit_test::run("symfold", {name, "ignored"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(dir.read(name + ".new") == f.bytes());
}

// Dump, fold, compare, over many generated files; every third dump is saved
// with CR LF line ends.
TEST(Symfold, PropertyRoundTripOfGeneratedFiles) {
    TempDir dir;
    for (std::uint64_t seed = 1; seed <= 120; ++seed) {
        const std::uint64_t size = 5 + (seed * 7919) % (seed % 10 == 0 ? 200000 : 12000);
        const fx::File f = fx::random_file(seed, size);
        const std::string dat = f.bytes();
        ASSERT_EQ(dat.size(), size) << "seed " << seed;
        dir.write("g.dat", dat);
        const auto spilled = kit_test::run("symspill", {"g.dat"}, dir.path());
        ASSERT_EQ(spilled.status, 0) << "seed " << seed;
        const std::string dump = dir.read("g.dat.txt").value_or("");
        ASSERT_TRUE(dump == f.dump()) << "seed " << seed;
        if (seed % 3 == 0) dir.write("g.dat.txt", replace_all(dump, "\n", "\r\n"));
        const auto folded = kit_test::run("symfold", {"g.dat"}, dir.path());
        ASSERT_EQ(folded.out, kDone) << "seed " << seed << ", status " << folded.status;
        ASSERT_TRUE(dir.read("g.dat.new") == dat) << "seed " << seed;
    }
}

}  // namespace
