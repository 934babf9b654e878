#include "stream/stream.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "stream/failure.hpp"
#include "stream/hex.hpp"
#include "tests/support/harness.hpp"

namespace {

using kit::ReadAhead;
using kit::Reader;
using kit::Translation;
using kit::Writer;

// Reads the whole file line by line and returns the delivered bytes.
std::string read_all_lines(const std::string& path, Translation t, ReadAhead ahead = ReadAhead::none) {
    Reader r;
    EXPECT_TRUE(r.open(path, t, ahead));
    std::string all;
    std::string line;
    while (r.read_line(line)) all += line;
    return all;
}

TEST(TextRead, TranslatesLineEndsAndStopsAt1A) {
    struct Case {
        std::string in;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"A\r\nB\rC", "A\nB\rC"},
        {"x\r\r\ny", "x\r\ny"},
        {"end\r", "end\r"},
        {"ab\x1A" "cd\r\n", "ab"},
        {"\x1A", ""},
        {"\r\n\r\n", "\n\n"},
        {std::string("a\0b\r\n", 5), std::string("a\0b\n", 4)},
    };
    kit_test::TempDir dir;
    for (const auto& c : cases) {
        dir.write("f", c.in);
        EXPECT_EQ(read_all_lines((dir / "f").string(), Translation::text), c.text) << c.in;
        EXPECT_EQ(read_all_lines((dir / "f").string(), Translation::binary), c.in) << c.in;
    }
}

TEST(TextRead, CrLfAcrossBufferBoundaries) {
    // Place CR LF pairs (and lone CRs) at every offset around the fill size.
    kit_test::TempDir dir;
    for (std::size_t at = Reader::kBufferSize - 3; at <= Reader::kBufferSize + 2; ++at) {
        std::string in(at, 'x');
        in += "\r\n";
        in += std::string(10, 'y');
        in += "\r";
        dir.write("f", in);
        std::string want(at, 'x');
        want += "\n" + std::string(10, 'y') + "\r";
        EXPECT_EQ(read_all_lines((dir / "f").string(), Translation::text), want) << at;
    }
}

// Text-mode reading and writing against a byte-by-byte model of the line end
// rules, on inputs from sparse in CR and LF to made of nothing else, short
// and running over several buffers, ended by the file or by a 0x1A.
// Where two long byte strings first differ, for a failure message that a
// test can print (a full comparison of strings this long would not end).
std::string first_difference(const std::string& got, const std::string& want) {
    const auto at = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    if (at.first == got.end() && at.second == want.end()) return "none";
    const auto offset = static_cast<std::size_t>(at.first - got.begin());
    return "at byte " + std::to_string(offset) + " of " + std::to_string(got.size()) + " (expected " +
           std::to_string(want.size()) + ")";
}

TEST(TextModel, ReadAndWriteAgreeWithAByteByByteModel) {
    const auto read_model = [](const std::string& in) {
        std::string out;
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (in[i] == '\x1A') break;
            if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') continue;
            out += in[i];
        }
        return out;
    };
    const auto write_model = [](const std::string& in) {
        std::string out;
        for (const char c : in) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    std::mt19937 rng(11);
    kit_test::TempDir dir;
    for (const unsigned density : {2u, 3u, 9u, 40u, 5000u}) {
        for (const std::size_t size : {std::size_t{1}, std::size_t{47}, Reader::kAheadSize + Reader::kBufferSize + 77}) {
            std::string in(size, 'a');
            for (char& c : in) {
                const unsigned roll = rng() % density;
                c = roll == 0 ? '\r' : roll == 1 ? '\n' : static_cast<char>('a' + rng() % 3);
            }
            std::string ended = in;
            ended.insert(rng() % (size + 1), "\x1A");
            for (const std::string* input : {&in, &ended}) {
                dir.write("f", *input);
                for (const ReadAhead ahead : {ReadAhead::none, ReadAhead::on_thread}) {
                    const std::string got = read_all_lines((dir / "f").string(), Translation::text, ahead);
                    const std::string want = read_model(*input);
                    EXPECT_TRUE(got == want) << density << " " << size << ": differs " << first_difference(got, want);
                }
                Writer w;
                const auto behind = density % 2 == 0 ? kit::WriteBehind::on_thread : kit::WriteBehind::none;
                ASSERT_TRUE(w.open((dir / "w").string(), Translation::text, behind));
                for (std::size_t at = 0; at < input->size();) {  // in pieces of every length up to 100
                    const std::size_t n = std::min<std::size_t>(input->size() - at, rng() % 101);
                    w.write(std::string_view(*input).substr(at, n));
                    at += n;
                }
                w.close();
                const std::string written = *dir.read("w");
                const std::string want = write_model(*input);
                EXPECT_TRUE(written == want) << density << " " << size << ": differs "
                                             << first_difference(written, want);
            }
        }
    }
}

TEST(ReadLine, PiecesAndEndOfFileRule) {
    kit_test::TempDir dir;
    dir.write("f", std::string(5000, 'a') + "\nlast\n");
    Reader r;
    ASSERT_TRUE(r.open((dir / "f").string(), Translation::text));
    std::string piece;
    ASSERT_TRUE(r.read_line_piece(piece, 3999));
    EXPECT_EQ(piece.size(), 3999u);
    ASSERT_TRUE(r.read_line_piece(piece, 3999));
    EXPECT_EQ(piece.size(), 1002u);  // the remaining 1001 bytes and the LF
    EXPECT_EQ(piece.back(), '\n');
    ASSERT_TRUE(r.read_line(piece));
    EXPECT_EQ(piece, "last\n");
    EXPECT_FALSE(r.eof());  // taking the last byte does not set the indicator
    EXPECT_FALSE(r.read_line(piece));
    EXPECT_TRUE(r.eof());
    EXPECT_EQ(piece, "last\n");  // an empty read leaves the line as it was

    dir.write("g", "no end");
    Reader g;
    ASSERT_TRUE(g.open((dir / "g").string(), Translation::binary));
    ASSERT_TRUE(g.read_line(piece));
    EXPECT_EQ(piece, "no end");
    EXPECT_TRUE(g.eof());  // the read went past the last byte
}

TEST(ReadLine, ViewsMatchCopiesAcrossBufferFills) {
    // Lines that end just before, on and just after a fill boundary, a line
    // longer than a whole buffer, and a last line without LF; the views read
    // ahead on a thread, whose buffers are larger: the boundaries of both.
    for (const std::size_t n : {Reader::kBufferSize, Reader::kAheadSize}) {
        kit_test::TempDir dir;
        std::string in;
        for (const std::size_t len : {n - 3, std::size_t{1}, std::size_t{2}, n + 5, std::size_t{0}, n / 2}) {
            in += std::string(len, 'v') + "\r\n";
        }
        in += "tail";
        dir.write("f", in);
        for (const Translation t : {Translation::text, Translation::binary}) {
            Reader copies;
            Reader views;
            Reader skips;
            ASSERT_TRUE(copies.open((dir / "f").string(), t));
            ASSERT_TRUE(views.open((dir / "f").string(), t, ReadAhead::on_thread));
            ASSERT_TRUE(skips.open((dir / "f").string(), t));
            std::string copy;
            std::string spill;
            std::string_view view = "kept";
            while (copies.read_line(copy)) {
                ASSERT_TRUE(views.read_line(view, spill));
                EXPECT_EQ(view, copy);
                EXPECT_EQ(views.eof(), copies.eof());
                // A skip says whether an LF ended the line, and lands where the copy did.
                EXPECT_EQ(skips.skip_line(), copy.back() == '\n');
                EXPECT_EQ(skips.offset(), copies.offset());
                EXPECT_EQ(skips.eof(), copies.eof());
            }
            EXPECT_FALSE(views.read_line(view, spill));
            EXPECT_TRUE(views.eof());
            EXPECT_EQ(view, "tail");  // an empty read leaves the view as it was
            EXPECT_FALSE(skips.skip_line());
            EXPECT_TRUE(skips.eof());
        }
    }
}

TEST(BinaryRead, ViewsInPiecesAcrossFills) {
    kit_test::TempDir dir;
    std::string in;
    for (std::size_t i = 0; i < Reader::kBufferSize * 2 + 100; ++i) in += static_cast<char>(i % 251);
    dir.write("f", in);
    Reader r;
    ASSERT_TRUE(r.open((dir / "f").string(), Translation::binary));
    EXPECT_TRUE(r.read_view(0).empty());
    std::string got;
    for (const std::size_t max : {std::size_t{7}, Reader::kBufferSize, Reader::kBufferSize * 3}) {
        const std::string_view piece = r.read_view(max);
        EXPECT_LE(piece.size(), max);
        EXPECT_FALSE(piece.empty());
        got += piece;
        EXPECT_EQ(r.offset(), got.size());
    }
    while (!r.eof()) got += r.read_view(1000);
    EXPECT_EQ(got, in);
}

TEST(BinaryRead, LittleEndianFieldsOfEveryWidth) {
    // Fields read from a buffer that holds four bytes or more, across a fill
    // boundary, and cut off by the end of the file.
    kit_test::TempDir dir;
    const std::size_t n = Reader::kBufferSize;
    std::string in(n - 2, '\0');
    in += "\x01\x02\x03\x04\x05\x06\x07";
    dir.write("f", in);
    struct Case {
        std::size_t skip;  // bytes passed over before the field
        std::size_t width;
        std::size_t got;
        std::uint32_t value;
    };
    const std::vector<Case> cases = {
        {0, 4, 4, 0},
        {n - 6, 2, 2, 0},
        {n - 4, 4, 4, 0x02010000},  // two bytes before the fill boundary, two after
        {n - 3, 3, 3, 0x00020100},
        {n - 2, 0, 0, 0},
        {n - 1, 1, 1, 0x02},
        {n + 1, 4, 4, 0x07060504},
        {n + 2, 4, 3, 0x00070605},  // the file ends after three
    };
    for (const auto& c : cases) {
        Reader r;
        ASSERT_TRUE(r.open((dir / "f").string(), Translation::binary));
        ASSERT_EQ(r.skip(c.skip), c.skip);
        std::uint32_t value = 0xFFFFFFFF;
        EXPECT_EQ(r.read_le(c.width, value), c.got) << c.skip;
        EXPECT_EQ(value, c.value) << c.skip;
        EXPECT_EQ(r.offset(), c.skip + c.got) << c.skip;
        EXPECT_EQ(r.eof(), c.got < c.width) << c.skip;
    }
}

TEST(BinaryRead, CountsOffsetsAndSize) {
    kit_test::TempDir dir;
    dir.write("f", std::string("\x01\x02\x03\x04\x1A\r\n", 7));
    Reader r;
    ASSERT_TRUE(r.open((dir / "f").string(), Translation::binary));
    EXPECT_EQ(r.remaining(), 7u);
    unsigned char w[4];
    ASSERT_EQ(r.read(w, 4), 4u);
    EXPECT_EQ(kit::word_le(w), 0x04030201u);
    EXPECT_EQ(r.offset(), 4u);
    EXPECT_TRUE(r.has_at_least(3));
    EXPECT_FALSE(r.has_at_least(4));
    EXPECT_EQ(r.get(), 0x1A);
    EXPECT_EQ(r.read(w, 4), 2u);
    EXPECT_TRUE(r.eof());
    EXPECT_FALSE(Reader().open((dir / "missing").string(), Translation::binary));
}

TEST(Write, TextModeAndFormats) {
    kit_test::TempDir dir;
    {
        Writer w;
        ASSERT_TRUE(w.open((dir / "t").string(), Translation::text));
        w.write("A\n\r");
        w.put('\n');
        w.put_hex8(0x1A);
        w.put_hex2(0xbe);
        w.put_dec(-1);
        w.put(' ');
        w.put_dec(static_cast<std::int32_t>(0x80000000u));
        w.close();
    }
    EXPECT_EQ(*dir.read("t"), "A\r\n\r\r\n0000001ABE-1 -2147483648");
    {
        Writer w;
        ASSERT_TRUE(w.open((dir / "b").string(), Translation::binary));
        w.write("A\n");
        w.put_word_le(0x12345678);
        // No close: the destructor writes out what is pending, as on an error path.
    }
    EXPECT_EQ(*dir.read("b"), "A\n\x78\x56\x34\x12");
}

TEST(Write, LargeWritesPassThroughWhole) {
    kit_test::TempDir dir;
    const std::string big(Writer::kBufferSize * 2 + 17, 'q');
    {
        Writer w;
        ASSERT_TRUE(w.open((dir / "b").string(), Translation::binary));
        w.write("head");
        w.write(big);
        w.write("tail");
        w.close();
    }
    EXPECT_EQ(*dir.read("b"), "head" + big + "tail");
}

TEST(Write, RoomInTheBufferForFormattingInPlace) {
    kit_test::TempDir dir;
    const std::size_t n = Writer::kBufferSize;
    {
        // A text stream's bytes are translated as they are written out, so
        // room filled in place gets its LF as CR LF too.
        Writer t;
        ASSERT_TRUE(t.open((dir / "t").string(), Translation::text));
        char* line = t.room(3);
        ASSERT_NE(line, nullptr);
        std::memcpy(line, "a\nb", 3);
        t.close();
        EXPECT_EQ(*dir.read("t"), "a\r\nb");
    }
    Writer w;
    ASSERT_TRUE(w.open((dir / "b").string(), Translation::binary));
    EXPECT_EQ(w.room(n + 1), nullptr);
    w.write("head");
    char* full = w.room(n - 4);  // exactly fills the buffer
    ASSERT_NE(full, nullptr);
    std::memset(full, 'f', n - 4);
    char* next = w.room(3);  // the full buffer goes out first
    ASSERT_NE(next, nullptr);
    std::memcpy(next, "end", 3);
    w.close();
    EXPECT_EQ(*dir.read("b"), "head" + std::string(n - 4, 'f') + "end");
}

TEST(Write, FailuresAreReportedWhenWrittenBehind) {
    // A device that takes no byte: a short output fails when it is closed, a
    // long one (written out behind the program) by a later flush or by close,
    // and the destructor of a stream that failed neither throws nor hangs;
    // written out by the program's thread, at the first write out.
    for (const std::size_t size : {std::size_t{10}, Writer::kBufferSize * 5 + 3}) {
        for (const Translation t : {Translation::binary, Translation::text}) {
            for (const kit::WriteBehind behind : {kit::WriteBehind::on_thread, kit::WriteBehind::none}) {
                Writer w;
                if (!w.open("/dev/full", t, behind)) GTEST_SKIP() << "no /dev/full here";
                const std::string chunk(1000, '\n');
                std::string message;
                try {
                    for (std::size_t done = 0; done < size; done += chunk.size()) w.write(chunk);
                    w.close();
                } catch (const kit::Failure& f) {
                    message = f.message;
                }
                EXPECT_EQ(message, "Error writing /dev/full\n") << size;
            }
        }
    }
}

TEST(Read, StreamsLeftEarlyAndLongTextInputs) {
    // A long text input read ahead: CR LF pairs around every buffer end, a 0x1A
    // past the first buffers ending it; and readers dropped part way through.
    kit_test::TempDir dir;
    const std::size_t n = Reader::kAheadSize;
    std::string in;
    std::string want;
    for (std::size_t i = 0; in.size() < 3 * n; ++i) {
        const std::string word(i % 97, static_cast<char>('a' + i % 26));
        in += word + (i % 3 == 0 ? "\r" : "") + "\r\n";
        want += word + (i % 3 == 0 ? "\r" : "") + "\n";
    }
    dir.write("f", in + "\x1A" + std::string(n, 'z'));
    EXPECT_EQ(read_all_lines((dir / "f").string(), Translation::text), want);
    EXPECT_EQ(read_all_lines((dir / "f").string(), Translation::text, ReadAhead::on_thread), want);
    for (const std::size_t lines : {0, 1, 5000}) {
        Reader r;
        ASSERT_TRUE(r.open((dir / "f").string(), Translation::text, ReadAhead::on_thread));
        std::string line;
        for (std::size_t i = 0; i < lines; ++i) ASSERT_TRUE(r.read_line(line));
    }
}

TEST(HexField, ReadsLikeTheFormatsNeed) {
    struct Case {
        std::string text;
        unsigned width;
        bool found;
        std::uint32_t value;
        std::size_t end;
    };
    const std::vector<Case> cases = {
        {"0000001A", 8, true, 0x1A, 8},
        {"1a@", 8, true, 0x1A, 2},
        {" 7", 8, true, 7, 2},
        {"0x1A", 8, true, 0x1A, 4},
        {"DEADBEAF", 8, true, 0xDEADBEAF, 8},
        {"123456789", 8, true, 0x12345678, 8},
        {"@1", 8, false, 0, 0},
        {"0x12", 2, false, 0, 0},
        {"-1", 8, true, 0xFFFFFFFF, 2},
        {"+f", 2, true, 0xF, 2},
        {"ff7", 2, true, 0xFF, 2},
        {"0g", 8, true, 0, 1},
        {"", 8, false, 0, 0},
        {"\t\n", 8, false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto r = kit::read_hex_field(c.text, c.width);
        ASSERT_EQ(r.has_value(), c.found) << c.text;
        if (r) {
            EXPECT_EQ(r->value, c.value) << c.text;
            EXPECT_EQ(r->end, c.end) << c.text;
        }
    }
    // The end of the view is the end of the text: nothing past it is read.
    EXPECT_EQ(kit::read_hex_field(std::string_view("12345678", 3), 8)->value, 0x123u);
}

TEST(HexField, StrictRunsAndFormatting) {
    EXPECT_TRUE(kit::is_hex_run("00ab", 4));
    EXPECT_FALSE(kit::is_hex_run("00 b", 4));
    EXPECT_FALSE(kit::is_hex_run("00a", 4));
    EXPECT_EQ(kit::hex_run_value("dEaD", 4), 0xDEADu);
    EXPECT_EQ(kit::hex8(0xDEADBEEF), "DEADBEEF");
    EXPECT_EQ(kit::dec(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(kit::dec(0), "0");
}

}  // namespace
