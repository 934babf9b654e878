// arcspill end to end: archives made with the archive fixtures, the program
// run in a scratch folder, and the exact bytes of "ou_unpack.csl", standard
// output and exit status compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "stream/stream.hpp"
#include "tests/support/harness.hpp"
#include "tools/fixtures/archive_fixture.hpp"

namespace {

using kit_fixtures::ArcNumber;
using kit_fixtures::ArcString;
using kit_fixtures::Archive;
using kit_fixtures::ArchiveBuilder;
using kit_fixtures::ArchiveItem;
using kit_fixtures::archive_bytes;
using kit_fixtures::normal_item;
using kit::Reader;
using namespace std::string_literals;

struct Outcome {
    std::string out;
    int status;
    std::optional<std::string> csl;  // "ou_unpack.csl", or nothing when it does not exist
};

// Runs arcspill on `bin` (no "ou.bin" when unset), with `old_csl` as an
// "ou_unpack.csl" that is there before the run.
Outcome unpack(const std::optional<std::string>& bin, const std::optional<std::string>& old_csl = std::nullopt,
               const std::vector<std::string>& args = {}) {
    kit_test::TempDir dir;
    if (bin) dir.write("ou.bin", *bin);
    if (old_csl) dir.write("ou_unpack.csl", *old_csl);
    const auto r = kit_test::run("arcspill", args, dir.path());
    return {r.out, r.status, dir.read("ou_unpack.csl")};
}

// A small archive: header "END\n" only, root "R", the given items.
Archive small(std::vector<ArchiveItem> items = {}) {
    Archive a;
    a.header = {"END\n"};
    a.root = {1, "R"};
    a.items = std::move(items);
    return a;
}

// The output of small() up to and including its NumOfItems line.
std::string small_head(const std::string& count) {
    return "END\nobjects 0\nEND\n\nR\n\tNumOfItems=int:" + count + "\n";
}

// The 12 lines of a default item (fixture defaults) with this block name and text.
std::string item_lines(const std::string& block_name, const std::string& text, const std::string& last = "[]") {
    return "\t[block % 0 0]\n\t\tblockName=string:" + block_name +
           "\n\t\tnumOfBlocks=int:1\n\t\tsubBlock0=int:0\n\t\t[list % 0 0]\n\t\t\t[entry % 0 0]\n"
           "\t\t\t\tsubType=int:0\n\t\t\t\ttext=string:" +
           text + "\n\t\t\t\tname=string:\n\t\t\t[]\n\t\t[]\n\t" + last + "\n";
}

// ---------------------------------------------------------------- complete runs

struct GoodCase {
    const char* what;
    std::string bin;
    std::string csl;
};

std::vector<GoodCase> good_cases() {
    std::vector<GoodCase> cases;

    {  // Rewrites wherever the line stands; CR LF lines and near misses copied as they are.
       // Type bytes above 20 where no width is needed: the root string and the
       // item count keep their fixed widths, and the count's type name is empty.
        Archive a = small();
        a.root = {200, "R"};
        a.count_key = {255, 0};
        a.count_type = 21;
        a.header = {"BIN_SAFE\n", "x\n", "zCArchiverBinSafe\n", "BIN_SAFE\r\n", "zCArchiverBinSafe\r\n",
                    "xBIN_SAFE\n", "a\0b\n"s, "END\r\n", "BIN_SAFE\n", "END\n"};
        a.objects = 7;
        cases.push_back({"header rewrites, N = 0", archive_bytes(a),
                         "ASCII\nx\nzCArchiverGeneric\nBIN_SAFE\r\nzCArchiverBinSafe\r\nxBIN_SAFE\na\0b\nEND\r\n"
                         "ASCII\nEND\nobjects 7\nEND\n\nR\n\tNumOfItems=:0\nR\n"s});
    }
    {  // Long header lines are compared in pieces of 3999 bytes and copied whole.
        Archive a = small();
        a.header = {std::string(3999, 'y') + "BIN_SAFE\n", std::string(5000, 'z') + "\n",
                    std::string(3999, 'x') + "END\n"};
        cases.push_back({"long header lines", archive_bytes(a),
                         std::string(3999, 'y') + "ASCII\n" + std::string(5000, 'z') + "\n" + std::string(3999, 'x') +
                             "END\nobjects 0\nEND\n\nR\n\tNumOfItems=int:0\nR\n"});
    }
    {  // Numbers in signed decimal, whatever the type; the count keeps its type name;
       // fixed widths for the root string and the item count; unread tail.
        Archive a = small({{.num_of_blocks = {2, 0xFFFFFFFFu},
                            .sub_block0 = {0, 0},
                            .sub_type = {3, 0x3F800000u}},
                           {.num_of_blocks = {1, 65535}, .sub_type = {2, 0x80000000u}}});
        a.objects = 0x80000000u;
        a.root = {2, "R"};
        a.count_key = {0, 0x12345678};
        a.count_type = 3;
        a.tail = "\x07garbage";
        const std::string rest = "\t\t[list % 0 0]\n\t\t\t[entry % 0 0]\n";
        const std::string tail = "\t\t\t\ttext=string:\n\t\t\t\tname=string:\n\t\t\t[]\n\t\t[]\n\t[]\n";
        cases.push_back({"signed decimals and fixed widths", archive_bytes(a),
                         "END\nobjects -2147483648\nEND\n\nR\n\tNumOfItems=float:2\n"
                         "\t[block % 0 0]\n\t\tblockName=string:BLOCK\n\t\tnumOfBlocks=int:-1\n\t\tsubBlock0=nul:0\n" +
                             rest + "\t\t\t\tsubType=float:1065353216\n" + tail +
                             "\t[block % 0 0]\n\t\tblockName=string:BLOCK\n\t\tnumOfBlocks=string:65535\n"
                             "\t\tsubBlock0=int:0\n" +
                             rest + "\t\t\t\tsubType=int:-2147483648\n" + tail + "[]\n"});
    }
    {  // Type bytes decide widths and names: 0 reads nothing, 1 two bytes, 2 to 20 four;
       // 4 to 16, 19 and 20 have the empty name.
        ArchiveItem it{.open = {0, ""},
                       .block_name_key = {0, 0},
                       .block_name = {2, "B4"},
                       .num_of_blocks_key = {1, 7},
                       .num_of_blocks = {17, 3},
                       .sub_block0_key = {20, 9},
                       .sub_block0 = {19, 0},
                       .list_open = {20, "L"},
                       .entry_open = {16, "E"},
                       .sub_type = {18, 5},
                       .text = {0, ""},
                       .name = {5, "N"},
                       .close = {19, "C"}};
        cases.push_back({"type bytes", archive_bytes(small({it})),
                         small_head("1") +
                             "\t\n\t\tblockName=int:B4\n\t\tnumOfBlocks=enum:3\n\t\tsubBlock0=:0\n\t\tL\n\t\t\tE\n"
                             "\t\t\t\tsubType=item:5\n\t\t\t\ttext=nul:\n\t\t\t\tname=:N\n\t\t\t[]\n\t\t[]\n\tC\nC\n"});
    }
    {  // Strings as stored: LF splits a line, CR stays, a zero byte cuts the string
       // off (the text archive holds a string only up to its first zero byte);
       // no length limit.
        ArchiveItem odd = normal_item("B\rX", "one\ntwo");
        odd.name = {1, "x\0hidden"s};
        odd.close = {1, "end\0cut"s};
        const std::string text(60000, 't');
        const std::string bare(70000, 'b');
        cases.push_back({"string bytes", archive_bytes(small({{.text = {1, text}, .close = {2, bare}}, odd})),
                         small_head("2") + item_lines("BLOCK", text, bare) +
                             "\t[block % 0 0]\n\t\tblockName=string:B\rX\n\t\tnumOfBlocks=int:1\n\t\tsubBlock0=int:0\n"
                             "\t\t[list % 0 0]\n\t\t\t[entry % 0 0]\n\t\t\t\tsubType=int:0\n"
                             "\t\t\t\ttext=string:one\ntwo\n\t\t\t\tname=string:x\n\t\t\t[]\n\t\t[]\n\tend\nend\n"});
    }
    return cases;
}

TEST(Arcspill, WritesTheTextArchive) {
    for (const auto& c : good_cases()) {
        const Outcome r = unpack(c.bin);
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.out, "") << c.what;
        EXPECT_EQ(r.csl, c.csl) << c.what;
    }
}

TEST(Arcspill, GeneratedArchiveUnpacksToNormalItems) {
    // Every item of a generated archive gives one blockName=string: line and one text=string: line.
    const std::string bin = kit_fixtures::generated_archive_bytes(200000, 5);
    ASSERT_EQ(bin.size(), 200000u);
    const Outcome r = unpack(bin);
    ASSERT_EQ(r.status, 0);
    ASSERT_TRUE(r.csl);
    std::size_t names = 0, texts = 0, lines = 0;
    for (std::size_t at = 0, lf; (lf = r.csl->find('\n', at)) != std::string::npos; at = lf + 1) {
        const std::string_view line(r.csl->data() + at, lf - at);
        ++lines;
        names += line.starts_with("\t\tblockName=string:");
        texts += line.starts_with("\t\t\t\ttext=string:");
    }
    EXPECT_GT(names, 500u);
    EXPECT_EQ(names, texts);
    EXPECT_EQ(lines, 7 + 3 + 2 + 12 * names + 1);
}

// Items are walked where they lie in the read buffer, and an item that runs
// past it takes the reads: a few MB of varied items (every value of some
// item across a buffer's end, strings with zero bytes, strings with 4-byte
// lengths, texts longer than the buffer, type bytes with empty names,
// negative numbers) against the text archive written line by line from the
// description.
TEST(Arcspill, ArchiveOfManyBuffers) {
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t below) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % below;
    };
    const auto bytes = [&](std::size_t size) {
        std::string s;
        for (std::size_t i = 0; i < size; ++i) s += "ab c\0=\n\xE9"[next(8)];
        return s;
    };
    constexpr std::uint8_t kTypes[] = {1, 2, 3, 5, 17, 18, 19, 20};  // types with a 2- or 4-byte size field
    const auto string_value = [&](std::size_t size) {
        const std::uint8_t type = size > 65535 ? 2 : kTypes[next(8)];
        return ArcString{type, bytes(type == 1 ? std::min<std::size_t>(size, 65535) : size)};
    };
    const auto number = [&] {  // a 4-byte size field
        return ArcNumber{kTypes[1 + next(7)], next(4) == 0 ? 0xFFFFFFF6u - next(100) : next(1000)};
    };

    Archive a;
    std::size_t size = 0;
    for (std::uint32_t i = 0; size < (4u << 20); ++i) {
        ArchiveItem item;
        item.open = string_value(next(30));
        item.block_name = next(10) == 0 ? ArcString{0, ""} : string_value(next(40));
        item.num_of_blocks = number();
        item.sub_block0 = {kTypes[next(8)], 0};
        item.list_open = string_value(next(20));
        item.entry_open = string_value(next(20));
        item.sub_type = number();
        item.text = string_value(i % 1000 == 999 ? Reader::kBufferSize + next(1000) : next(400));
        item.name = string_value(next(3) == 0 ? next(30) : 0);
        item.entry_close = string_value(next(5));
        item.list_close = string_value(next(5));
        item.close = string_value(next(5));
        size += 60 + item.text.bytes.size();
        a.items.push_back(std::move(item));
    }

    // The unpacked text archive, line by line.
    constexpr std::string_view kNames[] = {"nul", "string", "int", "float", "", "", "", "", "", "",
                                           "",    "",       "",    "",      "", "", "", "enum", "item"};
    const auto name = [&](std::uint8_t type) { return type < 19 ? std::string(kNames[type]) : std::string(); };
    const auto text = [](const ArcString& v) { return v.bytes.substr(0, v.bytes.find('\0')); };
    const auto dec = [](std::uint32_t v) { return std::to_string(static_cast<std::int32_t>(v)); };
    std::string want;
    for (const std::string& line : a.header) {
        want += line == "BIN_SAFE\n" ? "ASCII\n" : line == "zCArchiverBinSafe\n" ? "zCArchiverGeneric\n" : line;
    }
    want += "objects 0\nEND\n\n" + text(a.root) + "\n\tNumOfItems=int:" + dec(static_cast<std::uint32_t>(a.items.size())) + "\n";
    for (const ArchiveItem& it : a.items) {
        want += "\t" + text(it.open) + "\n";
        want += "\t\tblockName=" + name(it.block_name.type) + ":" + text(it.block_name) + "\n";
        want += "\t\tnumOfBlocks=" + name(it.num_of_blocks.type) + ":" + dec(it.num_of_blocks.value) + "\n";
        want += "\t\tsubBlock0=" + name(it.sub_block0.type) + ":0\n";
        want += "\t\t" + text(it.list_open) + "\n\t\t\t" + text(it.entry_open) + "\n";
        want += "\t\t\t\tsubType=" + name(it.sub_type.type) + ":" + dec(it.sub_type.value) + "\n";
        want += "\t\t\t\ttext=" + name(it.text.type) + ":" + text(it.text) + "\n";
        want += "\t\t\t\tname=" + name(it.name.type) + ":" + text(it.name) + "\n";
        want += "\t\t\t" + text(it.entry_close) + "\n\t\t" + text(it.list_close) + "\n\t" + text(it.close) + "\n";
    }
    want += text(a.items.back().close) + "\n";

    const Outcome r = unpack(archive_bytes(a));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.csl == want) << "the text archive differs";
}

// Strings are copied and searched for their first zero byte in blocks of a
// fixed size: every length around those sizes, with a zero byte nowhere, first,
// last or just inside and outside a block, gives the bytes before the zero.
TEST(Arcspill, StringsAroundTheCopySizes) {
    std::vector<ArchiveItem> items;
    std::string want_items;
    for (const std::size_t length : {0, 1, 15, 16, 31, 32, 33, 47, 63, 64, 65, 100, 200}) {
        for (const std::size_t zero : {std::string::npos, std::size_t{0}, length - 1, std::size_t{31}, std::size_t{32},
                                       std::size_t{63}, std::size_t{64}}) {
            std::string text;
            for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
            if (zero < length) text[zero] = '\0';
            items.push_back(normal_item(text, text + "!"));
            const std::string shown = text.substr(0, text.find('\0'));
            want_items += item_lines(shown, zero < length ? shown : text + "!");
        }
    }
    items.push_back(normal_item("last", "x"));  // the last item takes the reads
    want_items += item_lines("last", "x");
    const Outcome r = unpack(archive_bytes(small(items)));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.csl == small_head(std::to_string(items.size())) + want_items + "[]\n") << *r.csl;
}

// ---------------------------------------------------------------- failures

struct BadCase {
    const char* what;
    std::optional<std::string> bin;
    std::string out;
    int status;
    std::optional<std::string> csl;
    std::optional<std::string> old_csl = std::nullopt;
};

std::string at(std::size_t offset) { return std::to_string(offset); }

std::vector<BadCase> bad_cases() {
    std::vector<BadCase> cases;
    const std::string head = ArchiveBuilder().line("END\n").word(0).word(0).word(0).take();  // 16 bytes
    const std::string head_out = "END\nobjects 0\nEND\n\n";
    const std::string start = ArchiveBuilder().raw(head).root(1, "R").count(2).take();  // 30 bytes
    const std::string start_out = small_head("2");
    const std::string one = archive_bytes(small({normal_item("A", "a")}));
    const std::string one_out = small_head("1") + item_lines("A", "a");

    cases.push_back({"no ou.bin", std::nullopt, "Don't find ou.bin\n", 255, std::nullopt});
    cases.push_back({"no ou.bin, old output kept", std::nullopt, "Don't find ou.bin\n", 255, "old\n", "old\n"});

    cases.push_back({"empty file", "", "ou.bin: header cut off at byte offset 0: no END line\n", 255, ""});
    cases.push_back({"no END line", "a\nEND\r\nEN", "ou.bin: header cut off at byte offset 9: no END line\n", 255,
                     "a\nEND\r\nEN"});
    cases.push_back({"binary header: word 2 short", "END\n\1\2\3\4\5\6",
                     "ou.bin: binary header cut off at byte offset 8: word 2 needs 4 bytes, 2 bytes left\n", 255,
                     "END\n"});
    cases.push_back({"binary header: no word 3", ArchiveBuilder().line("END\n").word(1).word(5).take(),
                     "ou.bin: binary header cut off at byte offset 12: word 3 needs 4 bytes, 0 bytes left\n", 255,
                     "END\nobjects 5\nEND\n\n"});

    cases.push_back({"root string: no type byte", head,
                     "ou.bin: root string cut off at byte offset 16: the file ends before its type byte\n", 255,
                     head_out});
    cases.push_back({"root string: size field", head + "\1\5",
                     "ou.bin: root string cut off at byte offset 16: 2-byte size field, 1 byte left\n", 255, head_out});
    cases.push_back({"root string: bytes", ArchiveBuilder().raw(head).fixed(1, 2, 40).raw("twelve bytes").take(),
                     "ou.bin: root string cut off at byte offset 16: 40 string bytes announced, 12 bytes left\n", 255,
                     head_out});
    cases.push_back({"item count", ArchiveBuilder().raw(head).root(1, "R").fixed(18, 4, 0).raw("\2\1").take(),
                     "ou.bin: item count cut off at byte offset 25: 4-byte size field, 1 byte left\n", 255,
                     head_out + "R\n"});

    {  // A text announcing more than the file holds: reported before any of it is read.
        const std::string item = ArchiveBuilder().raw(start).item(normal_item("A", "a")).take();
        ArchiveBuilder b;
        b.raw(start).string(1, "[block % 0 0]").number(18, 0).string(1, "A").number(18, 0).number(2, 1);
        b.number(18, 0).number(2, 0).string(1, "[list % 0 0]").string(1, "[entry % 0 0]").number(18, 0).number(2, 0);
        b.number(18, 0);
        const std::size_t text_at = b.bytes().size();
        b.number(2, 0xFFFFFFFFu).raw("abc");
        cases.push_back({"text longer than the file", b.take(),
                         "ou.bin: item 0 text cut off at byte offset " + at(text_at) +
                             ": 4294967295 string bytes announced, 3 bytes left\n",
                         255,
                         start_out + "\t[block % 0 0]\n\t\tblockName=string:A\n\t\tnumOfBlocks=int:1\n"
                                     "\t\tsubBlock0=int:0\n\t\t[list % 0 0]\n\t\t\t[entry % 0 0]\n"
                                     "\t\t\t\tsubType=int:0\n"});
        // The second item cut in its last byte.
        std::string cut = item + ArchiveBuilder().item(normal_item("B", "b")).take();
        cut.pop_back();
        cases.push_back({"last byte missing", cut,
                         "ou.bin: item 1 bare string 6 cut off at byte offset " + at(cut.size() - 4) +
                             ": 2 string bytes announced, 1 byte left\n",
                         255, start_out + item_lines("A", "a") + item_lines("B", "b").substr(0, item_lines("B", "b").size() - 4)});
    }
    {  // A type byte without a size width, where a width is needed.
        std::string bin = one;
        bin[start.size()] = '\x15';
        cases.push_back({"type byte 21", bin,
                         "ou.bin: item 0 bare string 1 at byte offset 30 has type byte 21, which has no size field "
                         "width\n",
                         255, small_head("1")});
    }
    {  // An item count with its top bit set is written negative and read unsigned.
        Archive a = small({normal_item("A", "a")});
        a.count = 0x80000000u;
        cases.push_back({"huge item count", archive_bytes(a),
                         "ou.bin: item 1 bare string 1 cut off at byte offset " + at(one.size()) +
                             ": the file ends before its type byte\n",
                         255, small_head("-2147483648") + item_lines("A", "a")});
    }
    {  // subBlock0 other than 0: the failing item's first three lines, then the message.
        ArchiveItem bad = normal_item("B", "b");
        bad.sub_block0 = {2, 0x00010000u};
        bad.num_of_blocks = {2, 2};
        const std::string crashed = "Crashed:don't apply subblock !=0\n";
        cases.push_back({"subBlock0 not 0", archive_bytes(small({normal_item("A", "a"), bad, normal_item("C", "c")})),
                         crashed, 1,
                         small_head("3") + item_lines("A", "a") +
                             "\t[block % 0 0]\n\t\tblockName=string:B\n\t\tnumOfBlocks=int:2\n" + crashed});
    }
    return cases;
}

TEST(Arcspill, ReportsEveryFailure) {
    for (const auto& c : bad_cases()) {
        const Outcome r = unpack(c.bin, c.old_csl);
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.csl, c.csl) << c.what;
    }
}

TEST(Arcspill, OutputThatCannotBeCreated) {
    kit_test::TempDir dir;
    dir.write("ou.bin", archive_bytes(small()));
    std::filesystem::create_directory(dir / "ou_unpack.csl");
    const auto r = kit_test::run("arcspill", {}, dir.path());
    EXPECT_EQ(r.out, "Cannot create ou_unpack.csl\n");
    EXPECT_EQ(r.status, 255);
}

TEST(Arcspill, OptionsTouchNoFile) {
    const std::string bin = archive_bytes(small());
    const Outcome help = unpack(bin, std::nullopt, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("usage: arcspill\n"));
    EXPECT_FALSE(help.csl);
    const Outcome version = unpack(bin, std::nullopt, {"--version", "x"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("arcspill "));
    EXPECT_FALSE(version.csl);
    // Any other argument is ignored.
    const Outcome other = unpack(bin, std::nullopt, {"-x", "--help"});
    EXPECT_EQ(other.status, 0);
    EXPECT_EQ(other.csl, "END\nobjects 0\nEND\n\nR\n\tNumOfItems=int:0\nR\n");
}

}  // namespace
