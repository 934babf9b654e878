// The whole text library cycle: "ou.bin" through arcspill, its text archive
// copied to "ou.csl", linespill, an edit of some texts in "ou.txt", linefold.
// An untouched line list must give the text archive back byte for byte; an
// edited one must give exactly the text archive of an archive that holds the
// edited texts.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/harness.hpp"
#include "tools/fixtures/archive_fixture.hpp"

namespace {

using kit_test::TempDir;

const std::string kDone = "working...\nend working\n";

// Runs `program` in `dir` and expects a complete run with `out` on the console.
void expect_run(const TempDir& dir, const char* program, const std::string& out) {
    const auto r = kit_test::run(program, {}, dir.path());
    EXPECT_EQ(r.out, out) << program;
    EXPECT_EQ(r.status, 0) << program;
}

// The text archive that arcspill unpacks from `bin`.
std::string unpack(const std::string& bin) {
    TempDir dir;
    dir.write("ou.bin", bin);
    expect_run(dir, "arcspill", "");
    return dir.read("ou_unpack.csl").value_or("");
}

// Runs linespill then linefold on `csl` with the list as linespill wrote it,
// or as `edit` changes it; returns "ou.cls.new".
template <class Edit>
std::string cycle(const std::string& csl, Edit edit) {
    TempDir dir;
    dir.write("ou.csl", csl);
    expect_run(dir, "linespill", kDone);
    dir.write("ou.txt", edit(dir.read("ou.txt").value_or("")));
    expect_run(dir, "linefold", kDone);
    return dir.read("ou.cls.new").value_or("");
}

// The list with the text (after the last "@") of list line k replaced by
// texts.at(k), written back with `eol` line ends and `lead` in front, as an
// editor might save it.
std::string edit_list(const std::string& list, const std::map<std::size_t, std::string>& texts,
                      const std::string& eol = "\r\n", const std::string& lead = "") {
    std::string out = lead;
    std::size_t k = 0;
    for (std::size_t at = 0; at < list.size(); ++k) {
        const std::size_t end = list.find("\r\n", at);
        std::string line = list.substr(at, end - at);
        at = end + 2;
        if (const auto it = texts.find(k); it != texts.end()) line = line.substr(0, line.rfind('@') + 1) + it->second;
        out += line + eol;
    }
    return out;
}

TEST(TextLibraryCycle, UntouchedListGivesTheArchiveBack) {
    for (std::uint64_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        const std::string csl = unpack(kit_fixtures::generated_archive_bytes(300000, seed));
        ASSERT_GT(csl.size(), 200000u);
        EXPECT_EQ(cycle(csl, [](std::string list) { return list; }), csl);
    }
}

TEST(TextLibraryCycle, EditedListGivesExactlyTheEditedTexts) {
    kit_fixtures::Archive original;
    const std::vector<std::string> texts = {
        "Hello.", "", "gr\xFC\xDF dich", "a\rb", std::string(12000, 'x'), "two  spaces", "last one"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        original.items.push_back(kit_fixtures::normal_item("B" + std::to_string(i), texts[i]));
    }
    original.items[2].name.bytes = "Anna";
    const std::map<std::size_t, std::string> edits = {
        {0, "Bonjour."}, {1, "now filled"}, {3, ""}, {4, std::string(20000, 'y')}, {6, "\xE9t\xE9"}};
    kit_fixtures::Archive edited = original;
    for (const auto& [k, text] : edits) edited.items[k].text.bytes = text;

    const std::string csl = unpack(kit_fixtures::archive_bytes(original));
    const std::string want = unpack(kit_fixtures::archive_bytes(edited));
    ASSERT_NE(csl, want);

    EXPECT_EQ(cycle(csl, [&](const std::string& list) { return edit_list(list, edits); }), want);
    // The same edit saved by an editor that writes LF line ends and a byte
    // order mark.
    EXPECT_EQ(cycle(csl, [&](const std::string& list) { return edit_list(list, edits, "\n", "\xEF\xBB\xBF"); }),
              want);
}

}  // namespace
