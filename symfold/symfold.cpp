#include "symfold/symfold.hpp"

#include <cstdint>

#include "scriptdata/dump_line.hpp"
#include "scriptdata/reader.hpp"
#include "stream/failure.hpp"
#include "stream/stream.hpp"

namespace symfold {
namespace {

constexpr char kUsage[] = "Usage:  symfold <dat file>\n";
constexpr char kHelp[] =
    "Usage:  symfold <dat file>\n"
    "Rebuilds <dat file> from its edited symbol dump <dat file>.txt into <dat file>.new.\n";

void write_record(kit::Writer& out, const scriptdata::dump::Line& line) {
    using scriptdata::Content;
    out.put_word_le(scriptdata::kNamePresent);
    out.write(line.name);
    out.put('\n');
    out.write(line.block.data(), line.block.size());
    switch (line.content) {
        case Content::words:
        case Content::one_word:
            for (const std::uint32_t w : line.words) out.put_word_le(w);
            break;
        case Content::strings:
            for (const std::string_view s : line.strings) {
                out.write(s);
                out.put('\n');
            }
            break;
        case Content::marker:
        case Content::absent:
            break;
    }
    out.put_word_le(line.parent);
}

}  // namespace

int run(const std::vector<std::string>& args, kit::Console& console) {
    if (auto status = kit::standard_options(args, console, "symfold", kHelp)) return *status;
    if (args.empty()) {
        console.print(kUsage);
        return 1;
    }
    const std::string& dat_name = args[0];
    const std::string new_name = dat_name + ".new";
    const std::string dump_name = dat_name + ".txt";

    // Both inputs are opened and the header is checked before the new file
    // is created, so a run that cannot start leaves an existing one alone.
    scriptdata::FileReader in;
    if (!in.open(dat_name)) kit::fail(-1, "Error open dat file\n");
    in.read_version();
    kit::Reader dump;
    if (!dump.open(dump_name, kit::Translation::text)) {
        kit::fail(2, "Error open text update of dat file:" + dump_name + "\n");
    }
    const std::uint32_t count = in.read_count();

    kit::Writer out;
    if (!out.open(new_name, kit::Translation::binary)) kit::fail(-1, "Error create new dat file:" + new_name + "\n");
    out.put(static_cast<char>(scriptdata::kVersionByte));
    out.put_word_le(count);
    scriptdata::copy_bytes(in.stream(), out, std::uint64_t{count} * scriptdata::kWordSize);  // the sort index
    console.print("working...\n");

    // Rebuild pass: line k of the dump gives record k of the new file. A
    // line is checked whole before anything of its record is written.
    std::string spill;  // holds a line that runs past the reader's buffer
    std::string_view view;
    scriptdata::dump::Line line;
    for (std::uint32_t k = 0; k < count; ++k) {
        if (!dump.read_line(view, spill)) {
            kit::fail(-1, dump_name + ": ends after " + std::to_string(k) + " lines, but " + dat_name + " holds " +
                              std::to_string(count) + " symbol records\n");
        }
        if (!view.empty() && view.back() == '\n') view.remove_suffix(1);
        if (k == 0 && view.substr(0, scriptdata::dump::kByteOrderMark.size()) == scriptdata::dump::kByteOrderMark) {
            view.remove_prefix(scriptdata::dump::kByteOrderMark.size());
        }
        scriptdata::dump::parse_line(view, {dump_name, std::uint64_t{k} + 1}, line);
        write_record(out, line);
    }

    // Tail walk: the records of the script data file are passed over only to
    // find where its code tail begins.
    scriptdata::Record record;
    for (std::uint32_t k = 0; k < count; ++k) in.pass_record(k, record);
    scriptdata::copy_rest(in.stream(), out);
    out.close();
    console.print("end working\n");
    return 0;
}

}  // namespace symfold
