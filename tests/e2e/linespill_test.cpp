// linespill end to end: the text archive "ou.csl" in, the line list "ou.txt"
// out, compared byte for byte together with the console and the exit status.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "stream/stream.hpp"
#include "tests/support/harness.hpp"
#include "tools/fixtures/sample_inputs.hpp"
#include "tools/fixtures/textarchive_fixture.hpp"

namespace {

using kit_test::TempDir;
using namespace std::string_literals;

const std::string kDone = "working...\nend working\n";

struct Outcome {
    kit_test::RunResult run;
    std::optional<std::string> list;
};

Outcome spill(const std::string& archive) {
    TempDir dir;
    dir.write("ou.csl", archive);
    auto r = kit_test::run("linespill", {}, dir.path());
    return {r, dir.read("ou.txt")};
}

std::string repeat(char c, std::size_t n) { return std::string(n, c); }

struct Case {
    const char* what;
    std::string archive;
    std::string list;
};

TEST(Linespill, ListLines) {
    const std::vector<Case> cases = {
        {"one item as the unpacker lays it out",
         "h0\nh1\nh2\nh3\nh4\n\t\tblockName=string:B1\n\t\tnumOfBlocks=int:1\n\t\tsubBlock0=int:0\n"
         "\t\t[b]\n\t\t\t[c]\n\t\t\t\tsubType=int:0\n\t\t\t\tname=string:x\n"
         "\t\t\t\ttext=string:Hello\n\t\t\t[]\n",
         "00000005@B1@Hello\r\n"},
        {"name on the first line, empty name and text",
         "blockName=string:\ntext=string:\n", "00000000@@\r\n"},
        {"blank and short lines are counted but hold nothing",
         "\n\nab\nabcde\n\tblockName=string:N\n\ttext=string:T\n", "00000004@N@T\r\n"},
        {"both markers on one line make a whole list line",
         "x\n\tblockName=string:Ntext=string:T\n", "00000001@Ntext=string:T@T\r\n"},
        {"the first occurrence of each marker counts",
         "blockName=string:blockName=string:X\ntext=string:text=string:Y\n",
         "00000000@blockName=string:X@text=string:Y\r\n"},
        {"\"=\" before, inside and after the markers; a marker cut short is none",
         "=x=blockName=string:N=M\n==text=string:=T=\nblockName=strin\ntext=string", "00000000@N=M@=T=\r\n"},
        {"a longer key ending in text is a text marker, a capital T is not",
         "blockName=string:N\n\tsubText=string:no\n\tsubtext=string:S\n", "00000000@N@S\r\n"},
        {"\"@\" in names and texts is written unchanged",
         "blockName=string:a@b\ntext=string:x@y@\n", "00000000@a@b@x@y@\r\n"},
        {"a lone CR stays, CR LF pairs become line ends",
         "blockName=string:N\r\ntext=string:a\rb\r\n", "00000000@N@a\rb\r\n"},
        {"NUL bytes inside a line are kept",
         "blockName=string:N\0M\ntext=string:a\0b\n"s, "00000000@N\0M@a\0b\r\n"s},
        {"0x1A ends the archive", "blockName=string:N\ntext=string:T\n\x1A" "blockName=string:M\ntext=string:U\n",
         "00000000@N@T\r\n"},
        {"0x1A inside a line ends it there", "blockName=string:N\ntext=string:ab\x1A" "cd\n", "00000000@N@ab\r\n"},
        {"names and texts are paired by order alone",
         "text=string:T0\nblockName=string:A\nblockName=string:B\ntext=string:T\n",
         "T0\r\n00000001@A@00000002@B@T\r\n"},
        {"a last line without LF keeps all its bytes",
         "blockName=string:N\ntext=string:Tail", "00000000@N@Tail\r\n"},
        {"a last line ending in a lone CR keeps it", "blockName=string:N\ntext=string:T\r", "00000000@N@T\r\r\n"},
        {"no marker at all", "a\nb\n", ""},
        {"empty archive", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto got = spill(c.archive);
        EXPECT_EQ(got.run.out, kDone);
        EXPECT_EQ(got.run.status, 0);
        EXPECT_EQ(got.list, c.list);
    }
}

// Block line numbers count reads of at most 8999 bytes (LF included, after
// CR LF became LF): a longer line advances the number once per started piece.
// Markers and texts beyond the first piece are still found and carried whole.
TEST(Linespill, ReadCounterAndLongLines) {
    const std::string item = "blockName=string:N\ntext=string:T\n";
    const std::string far_text = repeat('t', 20000);
    const std::vector<Case> cases = {
        {"a 20000-byte line takes three reads", repeat('x', 19999) + "\n" + item, "00000003@N@T\r\n"},
        {"a line longer than the read buffer takes 34 reads", repeat('x', 300000) + "\n" + item,
         "00000022@N@T\r\n"},
        {"8999 bytes with the LF take one read", repeat('x', 8998) + "\n" + item, "00000001@N@T\r\n"},
        {"9000 bytes with the LF take two reads", repeat('x', 8999) + "\n" + item, "00000002@N@T\r\n"},
        {"CR LF counts as one byte", repeat('x', 8998) + "\r\n" + item, "00000001@N@T\r\n"},
        {"a last line of 9000 bytes without LF", item + "blockName=string:" + repeat('n', 8983),
         "00000000@N@T\r\n00000002@" + repeat('n', 8983) + "@"},
        {"a marker that straddles the first piece's end",
         repeat('x', 8990) + "blockName=string:S\ntext=string:T\n", "00000000@S@T\r\n"},
        {"a marker past the first piece numbers with the read that holds it",
         "x\n" + repeat('x', 9000) + "blockName=string:Far\n" + "\t\t\t\ttext=string:" + far_text + "\n" + item,
         "00000002@Far@" + far_text + "\r\n00000006@N@T\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto got = spill(c.archive);
        EXPECT_EQ(got.run.out, kDone);
        EXPECT_EQ(got.run.status, 0);
        EXPECT_EQ(got.list, c.list);
    }
}

// Lines are walked where they lie in the read buffer, and a line that runs
// past it is read by itself: both give the list that a line-by-line reading
// of the whole archive gives, with markers across the buffer's ends and
// lines longer than a read and than the buffer. The CR LF copy moves every
// line against the buffer's ends. linespill reads its archive ahead, in
// buffers of kit::Reader::kAheadSize.
TEST(Linespill, ArchiveOfManyBuffers) {
    const std::string archive = kit_fixtures::text_archive_across_buffers(kit::Reader::kAheadSize);
    const std::string want = kit_fixtures::samples::line_list_of(archive);
    ASSERT_GT(want.size(), 1000000u);
    for (const std::string& csl : {archive, kit_fixtures::samples::with_crlf(archive)}) {
        const auto got = spill(csl);
        EXPECT_EQ(got.run.out, kDone);
        EXPECT_EQ(got.run.status, 0);
        EXPECT_TRUE(got.list == want) << "the list differs";
    }
}

// The lines are looked at in blocks of 64 bytes for their LFs and for the
// bytes that begin the search of a marker: markers at every place of a line
// and of a block, after near misses ("blockNam", "tex", lone N and x, each
// marker with one byte changed), two in a line in either order, all give the
// list of a line-by-line reading.
TEST(Linespill, MarkersAtEveryPlaceOfABlock) {
    std::string archive;
    std::vector<std::string> decoys = {"", "N", "x", "blockNam", "tex", "Nx", "blockName=strin", "text=strin"};
    for (const std::string marker : {"blockName=string:", "text=string:"}) {
        for (std::size_t i = 0; i < marker.size(); ++i) {
            std::string changed = marker;
            changed[i] = '#';
            decoys.push_back(changed);
        }
    }
    for (std::size_t lead = 0; lead < 70; ++lead) {
        for (const std::string& decoy : decoys) {
            const std::string pad(lead, lead % 3 == 0 ? ' ' : 'a');
            archive += pad + decoy + "blockName=string:B" + std::to_string(lead) + "\n";
            archive += decoy + pad + "text=string:T " + decoy + "\n";
            archive += pad + "text=string:first blockName=string:second" + decoy + "\n";
            archive += std::string(lead, '\n') + decoy + "\n";
        }
    }
    const std::string want = kit_fixtures::samples::line_list_of(archive);
    ASSERT_GT(want.size(), 10000u);
    EXPECT_TRUE(spill(archive).list == want) << "the list differs";
}

TEST(Linespill, CrLfAndLfArchivesGiveTheSameList) {
    std::string lf = "h\nEND\n\n";
    for (int i = 0; i < 3; ++i) {
        lf += "\t[item]\n\t\tblockName=string:B" + std::to_string(i) + "\n\t\t\t[x]\n";
        lf += "\t\t\t\ttext=string:text " + std::to_string(i) + " a\rb\n\t[]\n";
    }
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::string want = "00000004@B0@text 0 a\rb\r\n00000009@B1@text 1 a\rb\r\n0000000E@B2@text 2 a\rb\r\n";
    EXPECT_EQ(spill(lf).list, want);
    EXPECT_EQ(spill(crlf).list, want);
}

TEST(Linespill, MissingArchiveLeavesTheListAlone) {
    TempDir dir;
    auto r = kit_test::run("linespill", {}, dir.path());
    EXPECT_EQ(r.out, "Error open input file");
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(dir.files().empty());

    dir.write("ou.txt", "00000001@B@edited\r\n");
    r = kit_test::run("linespill", {}, dir.path());
    EXPECT_EQ(r.out, "Error open input file");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(dir.read("ou.txt"), "00000001@B@edited\r\n");
}

TEST(Linespill, ListThatCannotBeCreated) {
    TempDir dir;
    dir.write("ou.csl", "blockName=string:N\ntext=string:T\n");
    std::filesystem::create_directory(dir / "ou.txt");
    const auto r = kit_test::run("linespill", {}, dir.path());
    EXPECT_EQ(r.out, "Error create output file ou.txt\n");
    EXPECT_EQ(r.status, 255);
}

TEST(Linespill, ReadErrorEndsTheRun) {
    if (kit_test::foreign_programs()) GTEST_SKIP() << "a folder does not open as a file there";
    TempDir dir;
    std::filesystem::create_directory(dir / "ou.csl");  // opens, but cannot be read
    const auto r = kit_test::run("linespill", {}, dir.path());
    EXPECT_EQ(r.out, "working...\nError reading ou.csl at byte offset 0\n");
    EXPECT_EQ(r.status, 255);
}

TEST(Linespill, OptionsTouchNoFileAndOtherArgumentsAreIgnored) {
    TempDir dir;
    dir.write("ou.csl", "blockName=string:N\ntext=string:T\n");
    auto r = kit_test::run("linespill", {"--help"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("usage: linespill\n"));
    r = kit_test::run("linespill", {"--version", "x"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("linespill "));
    EXPECT_EQ(dir.files(), std::vector<std::string>{"ou.csl"});

    r = kit_test::run("linespill", {"ou.bin", "--help"}, dir.path());
    EXPECT_EQ(r.out, kDone);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("ou.txt"), "00000000@N@T\r\n");
}

}  // namespace
