// The dump line formatting and parsing agree on every field, and parsing
// rejects every line cut short without reading past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "scriptdata/dump_line.hpp"
#include "scriptdata/reader.hpp"
#include "stream/failure.hpp"
#include "tests/support/harness.hpp"
#include "tools/fixtures/scriptdata_fixture.hpp"

namespace {

namespace fx = kit_fixtures::script;
using scriptdata::Content;
using scriptdata::Record;

// Reads every record of `file` with the reader.
std::vector<Record> read_all(const fx::File& file) {
    kit_test::TempDir dir;
    dir.write("a.dat", file.bytes());
    scriptdata::FileReader in;
    EXPECT_TRUE(in.open((dir / "a.dat").string()));
    in.read_version();
    const std::uint32_t n = in.read_count();
    in.skip_sort_index(n);
    std::vector<Record> records(n);
    for (std::uint32_t i = 0; i < n; ++i) in.read_record(i, records[i]);
    return records;
}

TEST(DumpLine, FormatMatchesTheFixtureAndParsesBack) {
    const fx::File file = fx::every_kind();
    const std::vector<Record> records = read_all(file);
    ASSERT_EQ(records.size(), file.records.size());
    std::string line;
    scriptdata::dump::Line parsed;
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        scriptdata::dump::format_line(i, r, line);
        EXPECT_EQ(line, file.records[i].dump_line(i)) << "record " << i;

        line.pop_back();  // the LF
        scriptdata::dump::parse_line(line, {"a.dat.txt", i + 1}, parsed);
        EXPECT_EQ(parsed.name, r.name);
        EXPECT_EQ(parsed.block, r.block);
        EXPECT_EQ(parsed.content, r.content);
        if (r.content == Content::words || r.content == Content::one_word) {
            EXPECT_EQ(parsed.words, r.words);
        }
        if (r.content == Content::strings) {
            ASSERT_EQ(parsed.strings.size(), r.string_count);
            for (std::size_t j = 0; j < r.string_count; ++j) EXPECT_EQ(parsed.strings[j], r.strings[j]);
        }
        EXPECT_EQ(parsed.parent, r.parent);
    }
}

// Passing over the records reads their fixed fields as reading them does and
// ends where the records end, at the code tail.
TEST(FileReader, PassingOverRecordsMatchesReadingThem) {
    const fx::File file = fx::every_kind();
    const std::vector<Record> records = read_all(file);
    kit_test::TempDir dir;
    dir.write("a.dat", file.bytes());
    scriptdata::FileReader in;
    ASSERT_TRUE(in.open((dir / "a.dat").string()));
    in.read_version();
    const std::uint32_t n = in.read_count();
    in.skip_sort_index(n);
    Record passed;
    for (std::uint32_t i = 0; i < n; ++i) {
        in.pass_record(i, passed);
        EXPECT_EQ(passed.name_present, records[i].name_present) << i;
        EXPECT_EQ(passed.block, records[i].block) << i;
        EXPECT_EQ(passed.content, records[i].content) << i;
        EXPECT_EQ(passed.parent, records[i].parent) << i;
        EXPECT_EQ(passed.string_count, 0u) << i;
        EXPECT_EQ(in.stream().offset(), file.record_offset(i + 1)) << i;
    }
}

TEST(DumpLine, EveryLineCutShortIsRejected) {
    const fx::File file = fx::every_kind();
    scriptdata::dump::Line parsed;
    for (std::uint32_t i = 0; i < file.records.size(); ++i) {
        if (file.records[i].name.size() > 100) continue;  // long texts add nothing here
        std::string line = file.records[i].dump_line(i);
        line.pop_back();
        for (std::size_t len = 0; len < line.size(); ++len) {
            // An exact-size copy, so a read past the cut would leave the buffer.
            const std::unique_ptr<char[]> cut(new char[len == 0 ? 1 : len]);
            std::copy_n(line.data(), len, cut.get());
            try {
                scriptdata::dump::parse_line(std::string_view(cut.get(), len), {"a.dat.txt", 1}, parsed);
                ADD_FAILURE() << "record " << i << " cut to " << len << " characters was accepted";
            } catch (const kit::Failure& f) {
                EXPECT_EQ(f.status, -1);
                EXPECT_EQ(f.message.rfind("a.dat.txt: line 1, column ", 0), 0u) << f.message;
            }
        }
    }
}

}  // namespace

namespace {

// The benchmarks' files are written piece by piece; they must be the files
// that the property test describes.
TEST(RandomFile, WrittenPieceByPieceAsDescribed) {
    kit_test::TempDir dir;
    for (const std::uint64_t size : {0u, 5u, 64u, 5000u, 300000u}) {
        const std::string path = (dir / "r.dat").string();
        ASSERT_TRUE(fx::write_random_file(path, size + 3, size));
        const std::string want = fx::random_file(size + 3, size).bytes();
        EXPECT_TRUE(kit_test::read_file(path) == want) << size;
        EXPECT_EQ(want.size(), std::max<std::uint64_t>(size, 5)) << size;
    }
}

}  // namespace
