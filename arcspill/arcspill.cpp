#include "arcspill/arcspill.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "arcspill/archive.hpp"
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

// Pieces of an item's lines of at most kWide bytes go to the stage (see
// Unpacker::item_in_place) as one copy of kWide bytes, a few moves where a
// copy of a varying length is a call: the stage has kWide bytes to spare
// past its end, and the bytes such a copy writes past the piece are written
// over by the pieces that follow. `readable` says that the source can be read
// kWide bytes far.
constexpr std::size_t kWide = 32;
char* put(char* out, std::string_view piece, bool readable) {
    if (readable && piece.size() <= kWide) {
        std::memcpy(out, piece.data(), kWide);
    } else {
        std::memcpy(out, piece.data(), piece.size());
    }
    return out + piece.size();
}

// The widest head (see Unpacker::head_of): LF, lead, the longest type name, ":".
constexpr std::size_t kWidestHead = [] {
    std::size_t lead = 0;
    for (const ItemLine& line : kItemLines) lead = std::max(lead, line.lead.size());
    std::size_t name = 0;
    for (const std::string_view type : kTypeNames) name = std::max(name, type.size());
    return 1 + lead + name + 1;
}();
static_assert(kWidestHead <= kWide, "every head of an item line is one wide copy");

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

    // An item that lies whole in the input's buffer, walked in place and
    // formatted on the stage in one pass, then written in one piece: the same
    // lines as the reads above give. False, with nothing read or written, for
    // an item that runs past the buffer, whose lines do not fit the stage, or
    // that the reads must stop at (a type byte without a size width,
    // subBlock0 other than 0): the reads take it then.
    bool item_in_place() {
        const std::string_view buffer = in_.buffered();
        const char* const buffer_end = buffer.data() + buffer.size();
        char* out = stage_.get();
        const char* const stage_end = out + kStage;
        std::size_t pos = 0;
        for (std::size_t k = 0; k < kItemLines.size(); ++k) {
            const Kind kind = kItemLines[k].kind;
            if (kind != Kind::bare && !skip_in(buffer, pos)) return false;
            InPlace v;
            if (!value_in(buffer, pos, kind != Kind::number_property, v)) return false;
            const Head& head = head_of(k, v.type);
            const std::string_view bytes = up_to_zero(v.bytes);
            // Room for the head, the value (a number takes at most 11 bytes) and the last LF.
            if (static_cast<std::size_t>(stage_end - out) < head.size + bytes.size() + 12) return false;
            out = put(out, {head.bytes.data(), head.size}, true);
            if (kind == Kind::number_property) {
                if (k == kSubBlock0Line && v.value != 0) return false;
                out += kit::put_dec(out, static_cast<std::int32_t>(v.value));
            } else {
                out = put(out, bytes, buffer_end - bytes.data() >= static_cast<std::ptrdiff_t>(kWide));
            }
        }
        *out++ = '\n';
        if (!in_.holds(pos)) return false;
        out_.write(stage_.get(), static_cast<std::size_t>(out - stage_.get()));
        in_.consume(pos);
        return true;
    }

private:
    // What goes before a line's value in item_in_place: the LF that ends the
    // line before (none before the first), the lead and, for a property, its
    // type name and ":".
    struct Head {
        std::array<char, kWide> bytes;
        std::size_t size = 0;
        int made_for = -1;  // the type byte it was made for, kAnyType for a bare line; -1 before
    };
    static constexpr int kAnyType = 256;

    // The head of line k for a value of this type byte: kept from item to
    // item, and made anew where the type byte differs from the last one.
    const Head& head_of(std::size_t k, std::uint8_t type) {
        const ItemLine& line = kItemLines[k];
        const int made_for = line.kind == Kind::bare ? kAnyType : type;
        Head& head = heads_[k];
        if (head.made_for != made_for) {
            std::string bytes = k == 0 ? "" : "\n";
            bytes += line.lead;
            if (line.kind != Kind::bare) bytes.append(type_name(type)).push_back(':');
            std::memcpy(head.bytes.data(), bytes.data(), bytes.size());
            head.size = bytes.size();
            head.made_for = made_for;
        }
        return head;
    }

    ArchiveReader& in_;
    kit::Writer& out_;
    std::array<Head, kItemLines.size()> heads_{};
    // Where item_in_place formats an item: kStage bytes and kWide to spare.
    static constexpr std::size_t kStage = 1 << 14;
    std::unique_ptr<char[]> stage_ = std::make_unique<char[]>(kStage + kWide);
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
        if (i + 1 < n && un.item_in_place()) continue;
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
