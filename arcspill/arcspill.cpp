#include "arcspill/arcspill.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "arcspill/archive.hpp"
#include "arcspill/text_end.hpp"
#include "stream/failure.hpp"
#include "stream/stream.hpp"

namespace arcspill {
namespace {

constexpr const char* kOutputName = "ou_unpack.csl";
constexpr std::string_view kCrashed = "Crashed:don't apply subblock !=0\n";

constexpr std::string_view kUsage =
    "usage: arcspill\n"
    "Unpacks the text library archive \"ou.bin\" of the current directory into the\n"
    "text archive \"ou_unpack.csl\" beside it. Other arguments are ignored.\n"
    "  --help     print this text\n"
    "  --version  print the version\n";

// The 12 lines of an item, in the order of its values: a bare string, or a
// property (its key entry, dropped, and its value) with the name in its lead.
enum class Kind { bare, string_property, number_property };
struct ItemLine {
    Kind kind;
    std::string_view lead;  // tabs, and a property's name with "="
    const char* what;       // the value's place
    const char* key;        // the key entry's place, for a property
};
constexpr std::array<ItemLine, 12> kItemLines = {{
    {Kind::bare, "\t", "bare string 1", nullptr},
    {Kind::string_property, "\t\tblockName=", "blockName", "key of blockName"},
    {Kind::number_property, "\t\tnumOfBlocks=", "numOfBlocks", "key of numOfBlocks"},
    {Kind::number_property, "\t\tsubBlock0=", "subBlock0", "key of subBlock0"},
    {Kind::bare, "\t\t", "bare string 2", nullptr},
    {Kind::bare, "\t\t\t", "bare string 3", nullptr},
    {Kind::number_property, "\t\t\t\tsubType=", "subType", "key of subType"},
    {Kind::string_property, "\t\t\t\ttext=", "text", "key of text"},
    {Kind::string_property, "\t\t\t\tname=", "name", "key of name"},
    {Kind::bare, "\t\t\t", "bare string 4", nullptr},
    {Kind::bare, "\t\t", "bare string 5", nullptr},
    {Kind::bare, "\t", "bare string 6", nullptr},
}};
// The line whose value must be 0, else the run stops.
constexpr std::size_t kSubBlock0Line = 3;

// Heads and short strings are written as one copy of kWide bytes, somewhat
// longer strings as one of kWidest (see Unpacker::line).
constexpr std::size_t kWide = 32;
constexpr std::size_t kWidest = 64;

// What goes before the value in an item's line, for one type byte of the
// value: the lead and, for a property, the type name and ":".
struct Head {
    std::array<char, kWide> bytes{};
    std::size_t size = 0;
};
// Type bytes that have a size field width: 0 to 20.
constexpr std::size_t kTypesWithWidth = 21;
constexpr auto kHeads = [] {
    std::array<std::array<Head, kTypesWithWidth>, kItemLines.size()> heads{};
    for (std::size_t k = 0; k < kItemLines.size(); ++k) {
        for (std::size_t type = 0; type < kTypesWithWidth; ++type) {
            Head& head = heads[k][type];
            const auto add = [&head](std::string_view part) {
                for (const char c : part) head.bytes[head.size++] = c;
            };
            add(kItemLines[k].lead);
            if (kItemLines[k].kind != Kind::bare) {
                add(type_name(static_cast<std::uint8_t>(type)));
                add(":");
            }
        }
    }
    return heads;
}();
static_assert(kSizeWidths[kTypesWithWidth - 1] >= 0 && kSizeWidths[kTypesWithWidth] < 0);

// The most bytes an item's line gives beyond its value's bytes in the
// archive: head, a number's 11 characters, LF.
constexpr std::size_t kLineOverhead = kWide + 11 + 1;

// Writes the text archive while the archive is read, one line per value.
class Unpacker {
public:
    Unpacker(ArchiveReader& in, kit::Writer& out) : in_(in), out_(out) {}

    // A bare string: `tabs`, its bytes up to the first zero byte, LF.
    void bare(std::string_view tabs, const Place& place) {
        const Typed v = in_.value(place);
        in_.check_string(place, v);
        out_.write(tabs);
        in_.string_to(place, v, out_);
        out_.put('\n');
    }

    // The same, with the bytes kept in `kept` as well.
    void bare_kept(std::string_view tabs, const Place& place, std::string& kept) {
        const Typed v = in_.value(place);
        in_.string_into(place, v, kept);
        out_.write(tabs);
        out_.write(up_to_zero(kept));
        out_.put('\n');
    }

    // A property's key entry, read and dropped, then its value.
    Typed property(const Place& key, const Place& place) {
        in_.value(key);
        return in_.value(place);
    }

    // `lead` (tabs, name and "="), the type name, ":".
    void head(std::string_view lead, const Typed& v) {
        out_.write(lead);
        out_.write(type_name(v.type));
        out_.put(':');
    }

    void string_property(std::string_view lead, const Place& key, const Place& place) {
        const Typed v = property(key, place);
        in_.check_string(place, v);
        head(lead, v);
        in_.string_to(place, v, out_);
        out_.put('\n');
    }

    // A number goes out as the signed decimal of its 32 bits, whatever its type.
    void number_line(std::string_view lead, const Typed& v) {
        head(lead, v);
        out_.put_dec(static_cast<std::int32_t>(v.value));
        out_.put('\n');
    }

    // Items that lie whole in the input's buffer, up to `count` of them,
    // walked in place and formatted in one pass straight into the output's
    // buffer, in room for kStage bytes at a time: the same lines as the
    // reads above give. Stops, with nothing read or written of it, at an
    // item that runs past the buffer or past kWindow bytes, or that the
    // reads must stop at (a type byte without a size width, subBlock0 other
    // than 0): the reads take it then. Returns how many items it took.
    std::uint32_t items_in_place(std::uint32_t count) {
        std::uint32_t done = 0;
        while (done < count) {
            const std::string_view buffer = in_.buffered();
            const char* const start = buffer.data();
            const char* const end = start + std::min(buffer.size(), kWindow);
            const char* in = start;
            const std::span<char> room = out_.spare(kStage);
            char* out = room.data();
            const char* const room_end = out + room.size();
            std::uint32_t in_window = 0;
            for (; done < count; ++done, ++in_window) {
                // An item's lines take at most its bytes in the window and
                // kLineOverhead a line, and the last wide copy kWidest more.
                const std::size_t most = static_cast<std::size_t>(end - in) + kItemOverhead;
                if (static_cast<std::size_t>(room_end - out) < most) break;
                const char* item_in = in;
                char* item_out = out;
                if (!item(item_in, end, item_out)) break;
                in = item_in;
                out = item_out;
            }
            out_.claim(static_cast<std::size_t>(out - room.data()));
            in_.consume(static_cast<std::size_t>(in - start));
            if (in_window == 0) break;
        }
        return done;
    }

private:
    // Bytes of the input's buffer that items_in_place walks at a time, and
    // the room in the output's buffer that it takes for them: enough for the
    // lines of any items that lie in them.
    static constexpr std::size_t kWindow = 1 << 13;
    static constexpr std::size_t kItemOverhead = kItemLines.size() * kLineOverhead + kWidest;
    static constexpr std::size_t kStage = kWindow + kItemOverhead;

    // The lines of the item at `in`, which lies whole before `end`, written
    // at `out`; both move past what they took. False where items_in_place
    // stops.
    [[gnu::always_inline]] bool item(const char*& in, const char* end, char*& out) {
        return lines(std::make_index_sequence<kItemLines.size()>{}, in, end, out);
    }
    template <std::size_t... K>
    [[gnu::always_inline]] bool lines(std::index_sequence<K...>, const char*& in, const char* end, char*& out) {
        return (line<K>(in, end, out) && ...);
    }

    // Line K of an item. Heads and strings of up to kWidest bytes are moved
    // as one copy of kWide or kWidest bytes, a few moves where a copy of a
    // varying length is a call: the room taken has space for it, and what
    // such a copy writes past the bytes it is for is written over by what
    // follows.
    template <std::size_t K>
    [[gnu::always_inline]] bool line(const char*& in, const char* end, char*& out) {
        constexpr Kind kind = kItemLines[K].kind;
        ExpectedLine& expected = expected_[K];
        std::uint32_t value;
        if constexpr (kind != Kind::bare) {
            if (!field_in(in, end, expected.key, value)) return false;  // the key entry, dropped
        }
        if (!field_in(in, end, expected.value, value)) return false;
        // The head's place comes from the type byte expected, not from the
        // one read, so it is known before that byte is.
        const Head& head = kHeads[K][expected.value.type];
        std::memcpy(out, head.bytes.data(), kWide);
        out += head.size;
        if constexpr (kind == Kind::number_property) {
            if (K == kSubBlock0Line && value != 0) return false;
            // A number goes out as the signed decimal of its 32 bits; most are one digit.
            if (value < 10) {
                *out++ = static_cast<char>('0' + value);
            } else {
                out += kit::put_dec(out, static_cast<std::int32_t>(value));
            }
        } else {
            if (static_cast<std::size_t>(end - in) < value) return false;
            if (value <= kWide && end - in >= static_cast<std::ptrdiff_t>(kWide)) {
                std::memcpy(out, in, kWide);
                out += text_length<kWide>(in, value);
            } else if (value <= kWidest && end - in >= static_cast<std::ptrdiff_t>(kWidest)) {
                std::memcpy(out, in, kWidest);
                out += text_length<kWidest>(in, value);
            } else {
                const std::string_view text = up_to_zero({in, value});
                std::memcpy(out, text.data(), text.size());
                out += text.size();
            }
            in += value;
        }
        *out++ = '\n';
        return true;
    }

    // The type bytes of each line's key entry and value, as items_in_place
    // met them last.
    struct ExpectedLine {
        Expected key;
        Expected value;
    };

    ArchiveReader& in_;
    kit::Writer& out_;
    std::array<ExpectedLine, kItemLines.size()> expected_{};
};

}  // namespace

int run(const std::vector<std::string>& args, kit::Console& console) {
    if (const auto status = kit::standard_options(args, console, "arcspill", kUsage)) return *status;

    kit::Reader file;
    if (!file.open(kArchiveName, kit::Translation::binary)) kit::fail(-1, "Don't find ou.bin\n");
    ArchiveReader in(file);

    // The first header line is read before the output is created, so an
    // "ou.bin" that opens but cannot be read leaves "ou_unpack.csl" alone.
    std::string line;
    bool have = in.header_piece(line);

    kit::Writer out;
    if (!out.open(kOutputName, kit::Translation::binary)) {
        kit::fail(-1, std::string("Cannot create ") + kOutputName + "\n");
    }
    out.expect(file.stored_size());  // the text archive is longer than the archive

    // Header lines through "END\n", each compared whole, LF included, and
    // copied byte for byte unless it is one of the two rewritten lines. A
    // line longer than kHeaderPiece bytes comes in pieces, each compared by
    // itself and copied one after the other.
    for (;;) {
        if (!have) in.header_without_end();
        if (line == "BIN_SAFE\n") {
            out.write("ASCII\n");
        } else if (line == "zCArchiverBinSafe\n") {
            out.write("zCArchiverGeneric\n");
        } else {
            out.write(line);
        }
        if (line == "END\n") break;
        have = in.header_piece(line);
    }

    // Binary header: word 2 is the object count; words 1 and 3 are dropped.
    in.word(1);
    const std::uint32_t objects = in.word(2);
    out.write("objects ");
    out.put_dec(static_cast<std::int32_t>(objects));
    out.write("\nEND\n\n");
    in.word(3);

    Unpacker un(in, out);

    // The closing line repeats the last string read: the root string when
    // there is no item, else the last item's last bare string.
    std::string last;

    // Root string: always a 2-byte length, whatever its type byte.
    const Place root{"root string"};
    in.string_into(root, in.fixed(root, 2), last);
    out.write(up_to_zero(last));
    out.put('\n');

    // Item count and its key entry: always 4-byte fields; the count's type name is written.
    in.fixed({"key of item count"}, 4);
    const Typed count = in.fixed({"item count"}, 4);
    un.number_line("\tNumOfItems=", count);

    const std::uint32_t n = count.value;
    for (std::uint32_t i = 0; i < n; ++i) {
        // The last item keeps its last bare string for the closing line: it
        // takes the reads, as does an item that cannot be walked in place.
        if (i + 1 < n) i += un.items_in_place(n - 1 - i);
        const auto at = [i](const char* what) { return Place{what, i}; };
        for (std::size_t k = 0; k < kItemLines.size(); ++k) {
            const ItemLine& line = kItemLines[k];
            switch (line.kind) {
                case Kind::bare:
                    if (k + 1 == kItemLines.size() && i + 1 == n) {
                        un.bare_kept(line.lead, at(line.what), last);
                    } else {
                        un.bare(line.lead, at(line.what));
                    }
                    break;
                case Kind::string_property:
                    un.string_property(line.lead, at(line.key), at(line.what));
                    break;
                case Kind::number_property: {
                    const Typed v = un.property(at(line.key), at(line.what));
                    if (k == kSubBlock0Line && v.value != 0) {
                        out.write(kCrashed);
                        out.close();
                        console.print(kCrashed);
                        return 1;
                    }
                    un.number_line(line.lead, v);
                    break;
                }
            }
        }
    }

    out.write(up_to_zero(last));
    out.put('\n');
    out.close();
    return 0;
}

}  // namespace arcspill
