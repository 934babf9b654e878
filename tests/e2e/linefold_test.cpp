// linefold end to end: the text archive "ou.csl" and the line list "ou.txt"
// in, "ou.cls.new" out, compared byte for byte together with the console and
// the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

// Two items: block names at lines 1 and 3, texts at lines 2 and 4.
const std::string kArchive =
    "head\n"
    "\t\tblockName=string:B1\n"
    "\t\t\t\ttext=string:Hello\n"
    "\t\tblockName=string:B2\n"
    "\t\t\t\ttext=string:World\n"
    "tail\n";
const std::string kList = "00000001@B1@Hello\r\n00000003@B2@World\r\n";

// kArchive up to and including the first or the second text marker, as a run
// that fails there leaves it.
const std::string kCutAtFirst = "head\n\t\tblockName=string:B1\n\t\t\t\ttext=string:";
const std::string kCutAtSecond = "head\n\t\tblockName=string:B1\n\t\t\t\ttext=string:A\n"
                                 "\t\tblockName=string:B2\n\t\t\t\ttext=string:";

// kArchive with the two texts given.
std::string archive_with(const std::string& first, const std::string& second) {
    return "head\n\t\tblockName=string:B1\n\t\t\t\ttext=string:" + first + "\t\tblockName=string:B2\n\t\t\t\ttext=string:" +
           second + "tail\n";
}

struct Case {
    const char* what;
    std::string archive;
    std::string list;
    std::string out;
    int status;
    std::string merged;
};

void check(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("ou.csl", c.archive);
        dir.write("ou.txt", c.list);
        const auto r = kit_test::run("linefold", {}, dir.path());
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, c.status);
        if (c.merged.size() < 100000) {
            EXPECT_EQ(dir.read("ou.cls.new"), c.merged);
        } else {  // no diff: it would take minutes for MBs
            EXPECT_TRUE(dir.read("ou.cls.new") == c.merged) << "the merged archive differs";
        }
    }
}

TEST(Linefold, Merges) {
    std::string crlf;
    for (char c : kArchive) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::string long_text = std::string(20000, 'L');
    check({
        {"an untouched list gives the archive back", kArchive, kList, kDone, 0, kArchive},
        {"CR LF line ends become LF", crlf, kList, kDone, 0, kArchive},
        {"edited texts, one emptied", kArchive, "00000001@B1@Bonjour\r\n00000003@B2@\r\n", kDone, 0,
         archive_with("Bonjour\n", "\n")},
        {"the text is what follows the last \"@\"; names are not looked at", kArchive,
         "00000001@B1@a@b\r\n00000003@renamed@@c\r\n", kDone, 0, archive_with("b\n", "c\n")},
        {"the last \"@\" just inside and just past 16 bytes from the line end", kArchive,
         "00000001@B1@a@" + std::string(14, 'b') + "\r\n00000003@B2@@" + std::string(15, 'c') + "\r\n", kDone, 0,
         archive_with(std::string(14, 'b') + "\n", std::string(15, 'c') + "\n")},
        {"short, lower-case, signed and prefixed numbers", kArchive, "  1@x@A\r\n+0xa@y@B\r\n", kDone, 0,
         archive_with("A\n", "B\n")},
        {"a byte order mark before the first number is skipped", kArchive,
         "\xEF\xBB\xBF" "00000001@B1@A\r\n00000003@B2@B\r\n", kDone, 0, archive_with("A\n", "B\n")},
        {"surplus list lines are ignored", kArchive, kList + "00000009@B9@more\r\nno number\r\n", kDone, 0, kArchive},
        {"a lone CR and a NUL in a text are kept", kArchive, "1@B1@a\rb\r\n3@B2@c\0d\r\n"s, kDone, 0,
         archive_with("a\rb\n", "c\0d\n"s)},
        {"a last list line without line end runs into the next archive line", kArchive,
         "00000001@B1@A\r\n00000003@B2@B", kDone, 0, archive_with("A\n", "B")},
        {"a last archive line without LF is copied as it is", "a\nb", "", kDone, 0, "a\nb"},
        {"0x1A ends the archive", "head\n\t\t\t\ttext=string:T\n\x1A" "\t\t\t\ttext=string:U\n", "1@x@A\r\n", kDone,
         0, "head\n\t\t\t\ttext=string:A\n"},
        {"an empty archive needs no list", "", "w", kDone, 0, ""},
        {"the marker inside a longer key, and after a name marker on the same line",
         "\tsubtext=string:S\n\tblockName=string:Ntext=string:T\n\ttext=string:\n", "1@@A\r\n2@@B\r\n3@@C\r\n", kDone,
         0, "\tsubtext=string:A\n\tblockName=string:Ntext=string:B\n\ttext=string:C\n"},
        {"long archive lines and long list lines are taken whole",
         std::string(9000, 'x') + "\ttext=string:old\n", "1@B@" + long_text + "\r\n", kDone, 0,
         std::string(9000, 'x') + "\ttext=string:" + long_text + "\n"},
        {"archive lines longer than the read buffer, with a text marker and without",
         std::string(300000, 'y') + "\n" + std::string(300000, 'x') + "\ttext=string:old\n", "1@B@new\r\n", kDone, 0,
         std::string(300000, 'y') + "\n" + std::string(300000, 'x') + "\ttext=string:new\n"},
    });
}

// Every way the sort-order check fails, with the output the run leaves: every
// earlier line complete and the failing line cut after its text marker.
// Lines are walked where they lie in the read buffer, and a line that runs
// past it is read by itself. A large archive (markers across the buffer's
// ends, lines longer than the buffer) merged with a list of new texts, whole
// and with a list line without "@" far down, against a line-by-line merge.
TEST(Linefold, ArchiveOfManyBuffers) {
    const std::string archive = kit_fixtures::text_archive_across_buffers(kit::Reader::kBufferSize);
    const std::string list = kit_fixtures::samples::line_list_of(archive);
    constexpr std::string_view kMarker = "text=string:";
    // The archive with the k-th text replaced by T<k>, up to the marker of
    // the `stop`-th text line when that one fails.
    const auto merged = [&](std::size_t stop) {
        std::string out;
        std::size_t k = 0;
        for (std::size_t at = 0; at < archive.size();) {
            const std::size_t end = archive.find('\n', at) + 1;
            const std::string_view line = std::string_view(archive).substr(at, end - at);
            at = end;
            const std::size_t m = line.find(kMarker);
            if (m == std::string_view::npos) {
                out += line;
                continue;
            }
            out += line.substr(0, m + kMarker.size());
            if (k == stop) break;
            out += "T" + std::to_string(k++) + "\n";
        }
        return out;
    };
    // The list with the same new texts, and no "@" in line `stop`.
    const auto edited = [&](std::size_t stop) {
        std::string out;
        std::size_t k = 0;
        for (std::size_t at = 0; at < list.size(); ++k) {
            const std::size_t end = list.find("\r\n", at);
            std::string line = list.substr(at, end - at);
            at = end + 2;
            line = line.substr(0, line.rfind('@') + 1) + "T" + std::to_string(k);
            if (k == stop) std::erase(line, '@');
            out += line + "\r\n";
        }
        return out;
    };
    const std::size_t none = std::string::npos;
    const std::size_t far = 8000;
    ASSERT_GT(std::count(list.begin(), list.end(), '\n'), 10000);
    check({
        {"all texts replaced", archive, edited(none), kDone, 0, merged(none)},
        {"a list line without \"@\"", archive, edited(far),
         "working...\nou.txt: line " + std::to_string(far + 1) + " holds no \"@\" before its block text\n", 255,
         merged(far)},
    });
}

TEST(Linefold, SortOrderFailures) {
    check({
        {"a first number of 0", kArchive, "00000000@B1@A\r\n00000003@B2@B\r\n",
         "working...\nWrong sort order 00000000 00000000\n", 255, kCutAtFirst},
        {"equal numbers", kArchive, "00000001@B1@A\r\n00000001@B2@B\r\n",
         "working...\nWrong sort order 00000001 00000001\n", 255, kCutAtSecond},
        {"falling numbers", kArchive, "00000002@B1@A\r\n00000001@B2@B\r\n",
         "working...\nWrong sort order 00000002 00000001\n", 255, kCutAtSecond},
        {"only the first 8 of 9 digits count", kArchive, "123456789@B1@A\r\n12345678@B2@B\r\n",
         "working...\nWrong sort order 12345678 12345678\n", 255, kCutAtSecond},
        {"a line without a number keeps the previous one", kArchive, "00000001@B1@A\r\nw@B2@B\r\n",
         "working...\nWrong sort order 00000001 00000001\n", 255, kCutAtSecond},
        {"a blank list line has no number", kArchive, "00000001@B1@A\r\n\r\n00000003@B2@B\r\n",
         "working...\nWrong sort order 00000001 00000001\n", 255, kCutAtSecond},
        {"fewer list lines than text lines", kArchive, "00000001@B1@A\r\n",
         "working...\nWrong sort order 00000001 00000001\n", 255, kCutAtSecond},
        {"0x1A ends the list", kArchive, "00000001@B1@A\r\n\x1A" "00000003@B2@B\r\n",
         "working...\nWrong sort order 00000001 00000001\n", 255, kCutAtSecond},
        {"an empty list", kArchive, "", "working...\nWrong sort order 00000000 00000000\n", 255, kCutAtFirst},
        {"a byte order mark alone", kArchive, "\xEF\xBB\xBF", "working...\nWrong sort order 00000000 00000000\n",
         255, kCutAtFirst},
    });
}

TEST(Linefold, ListLineWithoutSeparator) {
    check({
        {"a number but no \"@\"", kArchive, "00000001@B1@A\r\n00000003 B2 B\r\n",
         "working...\nou.txt: line 2 holds no \"@\" before its block text\n", 255, kCutAtSecond},
    });
}

TEST(Linefold, MissingInputsTouchNothing) {
    for (const char* missing : {"ou.csl", "ou.txt"}) {
        SCOPED_TRACE(missing);
        TempDir dir;
        dir.write("ou.csl", kArchive);
        dir.write("ou.txt", kList);
        dir.write("ou.cls.new", "earlier");
        std::filesystem::remove(dir / missing);
        const auto r = kit_test::run("linefold", {}, dir.path());
        EXPECT_EQ(r.out, "Error open input file");
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(dir.read("ou.cls.new"), "earlier");
    }
    TempDir dir;
    const auto r = kit_test::run("linefold", {}, dir.path());
    EXPECT_EQ(r.out, "Error open input file");
    EXPECT_TRUE(dir.files().empty());
}

TEST(Linefold, OutputThatCannotBeCreatedAndReadError) {
    TempDir dir;
    dir.write("ou.csl", kArchive);
    dir.write("ou.txt", kList);
    std::filesystem::create_directory(dir / "ou.cls.new");
    auto r = kit_test::run("linefold", {}, dir.path());
    EXPECT_EQ(r.out, "Error create output file ou.cls.new\n");
    EXPECT_EQ(r.status, 255);

    if (kit_test::foreign_programs()) GTEST_SKIP() << "a folder does not open as a file there";
    std::filesystem::remove(dir / "ou.cls.new");
    std::filesystem::remove(dir / "ou.txt");
    std::filesystem::create_directory(dir / "ou.txt");  // opens, but cannot be read
    r = kit_test::run("linefold", {}, dir.path());
    EXPECT_EQ(r.out, "working...\nError reading ou.txt at byte offset 0\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(dir.read("ou.cls.new"), kCutAtFirst);
}

TEST(Linefold, OptionsTouchNoFile) {
    TempDir dir;
    dir.write("ou.csl", kArchive);
    dir.write("ou.txt", kList);
    auto r = kit_test::run("linefold", {"--help"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("usage: linefold\n"));
    r = kit_test::run("linefold", {"--version"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("linefold "));
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ou.csl", "ou.txt"}));

    r = kit_test::run("linefold", {"anything"}, dir.path());
    EXPECT_EQ(r.out, kDone);
    EXPECT_EQ(dir.read("ou.cls.new"), kArchive);
}

}  // namespace
