#include "arcspill/arcspill.hpp"

#include <cstdint>
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

private:
    ArchiveReader& in_;
    kit::Writer& out_;
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
        const auto at = [i](const char* what) { return Place{what, i}; };
        un.bare("\t", at("bare string 1"));
        un.string_property("\t\tblockName=", at("key of blockName"), at("blockName"));
        un.number_line("\t\tnumOfBlocks=", un.property(at("key of numOfBlocks"), at("numOfBlocks")));
        const Typed sub_block0 = un.property(at("key of subBlock0"), at("subBlock0"));
        if (sub_block0.value != 0) {
            out.write(kCrashed);
            out.close();
            console.print(kCrashed);
            return 1;
        }
        un.number_line("\t\tsubBlock0=", sub_block0);
        un.bare("\t\t", at("bare string 2"));
        un.bare("\t\t\t", at("bare string 3"));
        un.number_line("\t\t\t\tsubType=", un.property(at("key of subType"), at("subType")));
        un.string_property("\t\t\t\ttext=", at("key of text"), at("text"));
        un.string_property("\t\t\t\tname=", at("key of name"), at("name"));
        un.bare("\t\t\t", at("bare string 4"));
        un.bare("\t\t", at("bare string 5"));
        if (i + 1 < n) {
            un.bare("\t", at("bare string 6"));
        } else {
            un.bare_kept("\t", at("bare string 6"), last);
        }
    }

    out.write(up_to_zero(last));
    out.put('\n');
    out.close();
    return 0;
}

}  // namespace arcspill
