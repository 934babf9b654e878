// The dump line formatting and parsing agree on every field, and parsing
// rejects every line cut short without reading past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <memory>
#include <string>
#include <vector>

#include "scriptdata/bytes.hpp"
#include "scriptdata/dump_line.hpp"
#include "scriptdata/reader.hpp"
#include "stream/failure.hpp"
#include "stream/hex.hpp"
#include "stream/stream.hpp"
#include "tests/support/harness.hpp"
#include "tools/fixtures/scriptdata_fixture.hpp"

namespace {

namespace fx = kit_fixtures::script;
using scriptdata::Content;
using scriptdata::RecordView;

// Opens `path` and passes over the header and the sort index; returns the
// symbol count.
std::uint32_t open_records(scriptdata::FileReader& in, const std::string& path) {
    EXPECT_TRUE(in.open(path));
    in.read_version();
    const std::uint32_t n = in.read_count();
    in.skip_sort_index(n);
    return n;
}

// True when the views of `r` are into `spill`: the record was read the
// careful way.
bool in_spill(const RecordView& r, const std::string& spill) {
    return !spill.empty() && r.block >= reinterpret_cast<const unsigned char*>(spill.data()) &&
           r.block < reinterpret_cast<const unsigned char*>(spill.data() + spill.size());
}

TEST(DumpLine, FormatMatchesTheFixtureAndParsesBack) {
    const fx::File file = fx::every_kind();
    kit_test::TempDir dir;
    dir.write("a.dat", file.bytes());
    scriptdata::FileReader in;
    const std::uint32_t n = open_records(in, (dir / "a.dat").string());
    ASSERT_EQ(n, file.records.size());
    std::string spill;
    std::string line;
    scriptdata::dump::Line parsed;
    for (std::uint32_t i = 0; i < n; ++i) {
        RecordView r;
        in.read_record(i, r, spill);
        const fx::Record& want = file.records[i];
        scriptdata::dump::format_line(i, r, line);
        EXPECT_EQ(line, want.dump_line(i)) << "record " << i;
        EXPECT_EQ(line.size(), scriptdata::dump::line_size(r)) << "record " << i;

        line.pop_back();  // the LF
        scriptdata::dump::parse_line(line, {"a.dat.txt", i + 1}, parsed);
        EXPECT_EQ(parsed.name, r.name);
        EXPECT_TRUE(std::equal(parsed.block.begin(), parsed.block.end(), r.block));
        EXPECT_EQ(parsed.content, r.content);
        if (r.content == Content::words || r.content == Content::one_word) {
            ASSERT_EQ(parsed.words.size(), r.word_count());
            for (std::size_t j = 0; j < r.word_count(); ++j) EXPECT_EQ(parsed.words[j], r.word(j));
        }
        if (r.content == Content::strings) {
            ASSERT_EQ(parsed.strings.size(), want.strings.size());
            for (std::size_t j = 0; j < want.strings.size(); ++j) EXPECT_EQ(parsed.strings[j], want.strings[j]);
        }
        EXPECT_EQ(parsed.parent, r.parent);

        // And the record that the parsed line gives is the stored one.
        std::string bytes(scriptdata::dump::record_size(parsed), '\0');
        scriptdata::dump::write_record(parsed, bytes.data());
        EXPECT_TRUE(bytes == want.bytes()) << "record " << i;
    }
}

// Passing over the records ends where each ends, and at the code tail.
TEST(FileReader, PassingOverRecordsEndsWhereTheyEnd) {
    for (const fx::File& file : {fx::every_kind(), fx::random_file(5, 1500000)}) {
        kit_test::TempDir dir;
        dir.write("a.dat", file.bytes());
        scriptdata::FileReader in;
        const std::uint32_t n = open_records(in, (dir / "a.dat").string());
        ASSERT_EQ(n, file.records.size());
        std::uint64_t at = file.record_offset(0);
        for (std::uint32_t i = 0; i < n; ++i) {
            in.pass_record(i);
            at += file.records[i].bytes().size();
            ASSERT_EQ(in.stream().offset(), at) << i;
        }
    }
}

// A file of a few MB, whose records straddle the ends of the reader's buffer
// and one of which is longer than the buffer: records read in place and
// records read the careful way (both occur) give the same lines as reading
// every record the careful way, and as the fixture says.
TEST(FileReader, InPlaceAndCarefulReadingAgree) {
    fx::File file = fx::random_file(11, 3000000);
    file.records.insert(file.records.begin() + 1000, fx::string_list("long", {std::string(300000, 'x'), "y"}));
    file.records.insert(file.records.begin() + 1001, fx::bare(std::string(kit::Reader::kBufferSize + 10, 'n'), 9));
    kit_test::TempDir dir;
    dir.write("a.dat", file.bytes());
    scriptdata::FileReader mixed;
    scriptdata::FileReader careful;
    const std::uint32_t n = open_records(mixed, (dir / "a.dat").string());
    ASSERT_EQ(open_records(careful, (dir / "a.dat").string()), n);
    ASSERT_EQ(n, file.records.size());
    std::string spill_mixed;
    std::string spill_careful;
    std::string line_mixed;
    std::string line_careful;
    std::size_t taken_carefully = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        RecordView a;
        RecordView b;
        mixed.read_record(i, a, spill_mixed);
        careful.read_record_carefully(i, b, spill_careful);
        ASSERT_TRUE(in_spill(b, spill_careful)) << i;
        taken_carefully += in_spill(a, spill_mixed) ? 1 : 0;
        scriptdata::dump::format_line(i, a, line_mixed);
        scriptdata::dump::format_line(i, b, line_careful);
        ASSERT_TRUE(line_mixed == line_careful) << "record " << i;
        ASSERT_TRUE(line_mixed == file.records[i].dump_line(i)) << "record " << i;
        ASSERT_EQ(mixed.stream().offset(), careful.stream().offset()) << i;
    }
    EXPECT_EQ(mixed.stream().offset(), file.record_offset(n));
    // Each buffer end inside a record sends that record the careful way.
    EXPECT_GE(taken_carefully, file.bytes().size() / kit::Reader::kBufferSize / 2);
    EXPECT_LT(taken_carefully, n / 100);
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

// Parses the first line of `text` both ways, folded in place and the careful
// way, and expects the same outcome: both reject it, or both give the same
// record.
void expect_same_parse(std::string_view text, const std::string& what) {
    const std::size_t lf = text.find('\n');
    const std::string_view line = text.substr(0, lf);
    scriptdata::dump::Line careful;
    bool careful_ok = true;
    try {
        scriptdata::dump::parse_line(line, {"a.dat.txt", 1}, careful);
    } catch (const kit::Failure&) {
        careful_ok = false;
    }
    // Exact-size copies, so a look past the end or a write past the room
    // given would leave the buffer.
    const std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::copy_n(text.data(), text.size(), copy.get());
    const std::unique_ptr<char[]> record(new char[text.size() + 1]);
    const scriptdata::dump::Folded folded =
        scriptdata::dump::fold_line_in_place(std::string_view(copy.get(), text.size()), record.get());
    if (lf == std::string_view::npos) {
        ASSERT_EQ(folded.line_size, 0u) << what << ": a line without its LF is left to the careful way";
        return;
    }
    ASSERT_EQ(folded.line_size != 0, careful_ok) << what;
    if (folded.line_size == 0) {
        EXPECT_EQ(folded.record_size, 0u) << what;
        return;
    }
    ASSERT_EQ(folded.line_size, line.size() + 1) << what;
    std::string want(scriptdata::dump::record_size(careful), '\0');
    scriptdata::dump::write_record(careful, want.data());
    EXPECT_TRUE(std::string_view(record.get(), folded.record_size) == want) << what;
}

// Parsing in place accepts exactly the lines that the careful parsing
// accepts, with the same result: every line of every kind, followed by more
// lines or not, cut short anywhere, and with any byte at any place changed
// to a set of values that matter to the format (separators, string ends,
// LF, CR, digits, letters, others).
TEST(DumpLine, InPlaceParsingAgreesWithTheCarefulParsing) {
    fx::File file = fx::every_kind();
    const fx::File extra = fx::random_file(8, 3000);
    file.records.insert(file.records.end(), extra.records.begin(), extra.records.end());
    file.records.push_back(fx::string_list("a", {"ends^with^carets^"}));
    file.records.push_back(fx::string_list("b", {"x", "y", ""}));
    const std::string after = "00000000@00000001@next@" + std::string(56, '0') + "@00000000\n";
    const std::string values = std::string("@^\n\r0129aAfFgG \x00\x80\xFF", 18);
    for (std::uint32_t i = 0; i < file.records.size(); ++i) {
        std::string line = file.records[i].dump_line(i);
        line.pop_back();  // the LF
        expect_same_parse(line + "\n" + after, "line " + std::to_string(i));
        expect_same_parse(line + "\n", "line " + std::to_string(i) + " alone");
        expect_same_parse(line + "trailing\n", "line " + std::to_string(i) + " with more after the parent");
        if (line.size() > 200) continue;  // long texts add nothing below
        for (std::size_t len = 0; len <= line.size(); ++len) {
            expect_same_parse(line.substr(0, len), "line " + std::to_string(i) + " cut to " + std::to_string(len));
            expect_same_parse(line.substr(0, len) + "\n" + after,
                              "line " + std::to_string(i) + " ended after " + std::to_string(len));
        }
        for (std::size_t at = 0; at < line.size(); ++at) {
            for (const char c : values) {
                std::string changed = line;
                changed[at] = c;
                expect_same_parse(changed + "\n" + after, "line " + std::to_string(i) + " with " +
                                                               std::to_string(static_cast<unsigned char>(c)) + " at " +
                                                               std::to_string(at));
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

namespace {

namespace bytes = scriptdata::bytes;

TEST(Bytes, HexDigitsWritten) {
    std::mt19937 rng(1);
    std::vector<std::uint32_t> values = {0, 1, 0x9, 0xA, 0xF, 0x10, 0x9ABCDEF0, 0x12345678, 0xFFFFFFFF, 0x80000000};
    for (int i = 0; i < 1000; ++i) values.push_back(rng());
    for (const std::uint32_t v : values) {
        char out[8];
        bytes::put_hex8(out, v);
        EXPECT_EQ(std::string(out, 8), kit::hex8(v));
    }
    std::array<unsigned char, 28> block;
    for (int round = 0; round < 64; ++round) {
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(round * 28 + i * 9 + rng());
        char out[56];
        bytes::put_hex_bytes<28>(out, block.data());
        std::string want;
        for (const unsigned char b : block) want += kit::hex8(b).substr(6);
        EXPECT_EQ(std::string(out, 56), want);
    }
}

// Runs of words, of every length up to a few registers' worth, both ways.
TEST(Bytes, HexWordRuns) {
    std::mt19937 rng(2);
    for (std::size_t count = 0; count <= 13; ++count) {
        std::vector<std::uint32_t> words(count);
        for (auto& w : words) w = rng();
        std::string stored(4 * count, '\0');
        std::string want;
        for (std::size_t j = 0; j < count; ++j) {
            for (int b = 0; b < 4; ++b) stored[4 * j + b] = static_cast<char>(words[j] >> (8 * b));
            want += kit::hex8(words[j]);
        }
        std::string out(8 * count, '?');
        bytes::put_hex_words_le(out.data(), reinterpret_cast<const unsigned char*>(stored.data()), count);
        EXPECT_EQ(out, want) << count;
        std::string back(4 * count, '?');
        ASSERT_TRUE(bytes::get_hex_words_le(want.data(), count, reinterpret_cast<unsigned char*>(back.data())))
            << count;
        EXPECT_EQ(back, stored) << count;
        for (std::size_t at = 0; at < want.size(); ++at) {
            for (int c = 0; c < 256; ++c) {
                if (kit::hex_digit_value(static_cast<unsigned char>(c)) >= 0) continue;
                std::string bad = want;
                bad[at] = static_cast<char>(c);
                EXPECT_FALSE(bytes::get_hex_words_le(bad.data(), count, reinterpret_cast<unsigned char*>(back.data())))
                    << count << " " << at << " " << c;
            }
        }
    }
}

// Every byte value at every place of a field: taken exactly when it is a
// hexadecimal digit, and then with its value.
TEST(Bytes, HexDigitsRead) {
    const std::string word = "0123abCD";
    for (std::size_t at = 0; at < word.size(); ++at) {
        for (int c = 0; c < 256; ++c) {
            std::string text = word;
            text[at] = static_cast<char>(c);
            std::uint32_t value = 7;
            const bool ok = bytes::get_hex8(text.data(), value);
            const int digit = kit::hex_digit_value(static_cast<unsigned char>(c));
            ASSERT_EQ(ok, digit >= 0) << at << " " << c;
            if (ok) {
                EXPECT_EQ(value, (0x0123ABCDu & ~(0xF0000000u >> (4 * at))) | std::uint32_t(digit) << (28 - 4 * at));
            } else {
                EXPECT_EQ(value, 7u);
            }
        }
    }
    std::string field;
    for (int i = 0; i < 28; ++i) field += kit::hex8(static_cast<std::uint32_t>(i * 37 + 5)).substr(6);
    for (std::size_t at = 0; at < field.size(); ++at) {
        for (int c = 0; c < 256; ++c) {
            std::string text = field;
            text[at] = static_cast<char>(c);
            std::array<unsigned char, 28> block{};
            const bool ok = bytes::get_hex_bytes<28>(text.data(), block.data());
            ASSERT_EQ(ok, kit::hex_digit_value(static_cast<unsigned char>(c)) >= 0) << at << " " << c;
            if (!ok) continue;
            for (std::size_t b = 0; b < block.size(); ++b) {
                const int want = kit::hex_digit_value(static_cast<unsigned char>(text[2 * b])) * 16 +
                                 kit::hex_digit_value(static_cast<unsigned char>(text[2 * b + 1]));
                ASSERT_EQ(block[b], want) << at << " " << c << " " << b;
            }
        }
    }
}

TEST(Bytes, FindsTheFirstOfABytePastEveryWindowEdge) {
    for (std::size_t size = 0; size < 260; ++size) {
        for (std::size_t at = 0; at <= size; ++at) {
            // An exact-size copy, so a look past the end would leave the buffer.
            const std::unique_ptr<char[]> text(new char[size + 1]);
            std::fill_n(text.get(), size, 'x');
            if (at < size) text[at] = '\n';
            if (at + 1 < size) text[at + 1] = '\n';
            const char* const want = at < size ? text.get() + at : nullptr;
            EXPECT_EQ(bytes::find_lf(text.get(), text.get() + size), want) << size << " " << at;
            if (at < size) text[at] = '@';
            EXPECT_EQ(bytes::find_first<'@'>(text.get(), text.get() + size), want) << size << " " << at;
            // Either of two: the first of them, whichever it is.
            if (at < size) text[at] = '^';
            EXPECT_EQ((bytes::find_first<'^', '\n'>(text.get(), text.get() + size)), want) << size << " " << at;
            EXPECT_EQ((bytes::find_first<'^', '\n', 16>(text.get(), text.get() + size)), want) << size << " " << at;
            EXPECT_EQ((bytes::find_first<'^', '\n', 32>(text.get(), text.get() + size)), want) << size << " " << at;
            if (at < size) text[at] = '\n';
            if (at + 1 < size) text[at + 1] = '^';
            EXPECT_EQ((bytes::find_first<'^', '\n'>(text.get(), text.get() + size)), want) << size << " " << at;
            EXPECT_EQ((bytes::find_first<'^', '\n', 16>(text.get(), text.get() + size)), want) << size << " " << at;
            EXPECT_EQ((bytes::find_first<'^', '\n', 32>(text.get(), text.get() + size)), want) << size << " " << at;
        }
    }
}

// Copies of every length up to past a few pieces, exactly as long as asked:
// the bytes, with every "^" (and only those) turned into an LF where asked.
TEST(Bytes, CopiesExactly) {
    std::mt19937 rng(3);
    for (std::size_t n = 0; n < 70; ++n) {
        std::string src(n, '\0');
        for (char& c : src) c = "^a\n@\xFF"[rng() % 5];
        std::string want = src;
        std::replace(want.begin(), want.end(), '^', '\n');
        // Exact-size buffers, so a look or a write past either would leave it.
        const std::unique_ptr<char[]> in(new char[n + 1]);
        std::copy_n(src.data(), n, in.get());
        const std::unique_ptr<char[]> out(new char[n + 1]);
        bytes::copy_replacing<'^', '\n'>(out.get(), in.get(), n);
        EXPECT_EQ(std::string(out.get(), n), want) << n;
        bytes::copy(out.get(), in.get(), n);
        EXPECT_EQ(std::string(out.get(), n), src) << n;
    }
}

// The short copies that go a word at a time: every byte value at every
// place, among bytes next to the one replaced, which a carry or a borrow from
// one byte into the next could make look like it.
TEST(Bytes, ReplacesExactlyTheGivenByteInShortCopies) {
    for (const std::size_t n : {1u, 3u, 4u, 5u, 7u, 8u, 9u, 15u}) {
        for (const char other : {'\0', ']', '_', '\xDE', '\xFF'}) {
            for (std::size_t at = 0; at < n; ++at) {
                for (int c = 0; c < 256; ++c) {
                    std::string src(n, other);
                    src[at] = static_cast<char>(c);
                    std::string want = src;
                    std::replace(want.begin(), want.end(), '^', '\n');
                    const std::unique_ptr<char[]> out(new char[n]);
                    bytes::copy_replacing<'^', '\n'>(out.get(), src.data(), n);
                    ASSERT_EQ(std::string(out.get(), n), want) << n << " " << int(other) << " " << at << " " << c;
                }
            }
        }
    }
}

// The head of a line: 8 digits (either case), then exactly the 8 given.
TEST(Bytes, HexWordFollowedByGivenCharacters) {
    const std::string good = "09afAF00@0000000";
    EXPECT_TRUE(bytes::hex8_followed_by(good.data(), "@0000000"));
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (int c = 0; c < 256; ++c) {
            std::string text = good;
            text[at] = static_cast<char>(c);
            const bool want = at < 8 ? kit::hex_digit_value(static_cast<unsigned char>(c)) >= 0 : text == good;
            EXPECT_EQ(bytes::hex8_followed_by(text.data(), "@0000000"), want) << at << " " << c;
        }
    }
}

// The last of a byte, wherever it lies before or across the 16-byte steps
// taken back from the end; the one before it is not taken.
TEST(Bytes, FindsTheLastOfABytePastEveryWindowEdge) {
    for (std::size_t size = 0; size < 80; ++size) {
        for (std::size_t at = 0; at <= size; ++at) {
            const std::unique_ptr<char[]> text(new char[size + 1]);
            std::fill_n(text.get(), size, 'x');
            if (at < size) text[at] = '^';
            if (at > 0 && at < size) text[at - 1] = '^';
            const char* const want = at < size ? text.get() + at : nullptr;
            EXPECT_EQ(bytes::find_last<'^'>(text.get(), text.get() + size), want) << size << " " << at;
        }
    }
}

// Every byte value at every place of 8, among others that a borrow from one
// byte into the next could make look like an LF.
TEST(Bytes, TellsWhetherEightBytesHoldAnLf) {
    for (const char other : {'\0', '\x0B', '\x09', '\x8A', '\xFF', 'x'}) {
        for (std::size_t at = 0; at < 8; ++at) {
            for (int c = 0; c < 256; ++c) {
                char text[8];
                std::fill_n(text, 8, other);
                text[at] = static_cast<char>(c);
                EXPECT_EQ(bytes::holds8<'\n'>(text), c == '\n') << int(other) << " " << at << " " << c;
            }
        }
    }
}

// Texts of LF-ended lines of every length, short and past the 64 bytes
// looked at together, taken a given number of lines at a time; asking for
// more lines than there are gives null.
TEST(Bytes, FindsTheEndOfLines) {
    std::mt19937 rng(4);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t size = rng() % 300;
        const int lf_in = round % 3 == 0 ? 3 : round % 3 == 1 ? 20 : 200;  // one byte in so many is an LF
        const std::unique_ptr<char[]> text(new char[size + 1]);
        std::vector<std::size_t> ends;  // past each LF
        for (std::size_t i = 0; i < size; ++i) {
            text[i] = rng() % lf_in == 0 ? '\n' : 'a';
            if (text[i] == '\n') ends.push_back(i + 1);
        }
        for (std::size_t n = 0; n <= ends.size() + 1; ++n) {
            const char* const want = n == 0 ? text.get() : n <= ends.size() ? text.get() + ends[n - 1] : nullptr;
            EXPECT_EQ(bytes::past_lines(text.get(), text.get() + size, n), want) << round << " " << n;
        }
    }
}

// Pieces ended by "^" copied with each "^" turned into an LF, stopped by an
// LF before the last of them; the copy never writes past as many bytes as
// the text holds.
TEST(Bytes, CopiesPiecesToTheirEnds) {
    std::mt19937 rng(5);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t size = rng() % 120;
        const char* const alphabet = round % 2 == 0 ? "aaaaaaa^^@" : "aaaaaaaaaaaaaaaaaaaaaaaaaaa^\n";
        std::string src(size, '\0');
        for (char& c : src) c = alphabet[rng() % std::strlen(alphabet)];
        const std::unique_ptr<char[]> in(new char[size + 1]);
        std::copy_n(src.data(), size, in.get());
        for (std::size_t n = 1; n <= 6; ++n) {
            // The model: the n-th "^", unless an LF or the end comes first.
            std::size_t want = std::string::npos;
            for (std::size_t i = 0, left = n; i < size && src[i] != '\n'; ++i) {
                if (src[i] == '^' && --left == 0) {
                    want = i + 1;
                    break;
                }
            }
            const std::unique_ptr<char[]> out(new char[size + 1]);
            const char* const got = bytes::copy_pieces<'^', '\n', '\n'>(out.get(), in.get(), in.get() + size, n);
            if (want == std::string::npos) {
                EXPECT_EQ(got, nullptr) << round << " " << n;
                continue;
            }
            ASSERT_EQ(got, in.get() + want) << round << " " << n;
            std::string copied = src.substr(0, want);
            std::replace(copied.begin(), copied.end(), '^', '\n');
            EXPECT_EQ(std::string(out.get(), want), copied) << round << " " << n;
        }
    }
}

// The bytes up to the first LF copied, wherever it lies among the 16-byte
// steps; none there gives null. The copy never writes past as many bytes as
// the text holds.
TEST(Bytes, CopiesUpToTheFirstLf) {
    for (std::size_t size = 0; size < 80; ++size) {
        for (std::size_t at = 0; at <= size; ++at) {
            std::string src(size, '\0');
            for (std::size_t i = 0; i < size; ++i) src[i] = static_cast<char>('a' + i % 26);
            if (at < size) src[at] = '\n';
            if (at + 1 < size) src[at + 1] = '\n';
            const std::unique_ptr<char[]> in(new char[size + 1]);
            std::copy_n(src.data(), size, in.get());
            const std::unique_ptr<char[]> out(new char[size + 1]);
            const char* const got = bytes::copy_to_lf(out.get(), in.get(), in.get() + size);
            if (at == size) {
                EXPECT_EQ(got, nullptr) << size;
                continue;
            }
            ASSERT_EQ(got, in.get() + at) << size << " " << at;
            EXPECT_EQ(std::string(out.get(), at), src.substr(0, at)) << size << " " << at;
        }
    }
}

}  // namespace
