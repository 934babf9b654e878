#include "symspill/symspill.hpp"

#include <cstdint>

#include "scriptdata/dump_line.hpp"
#include "scriptdata/reader.hpp"
#include "stream/failure.hpp"
#include "stream/stream.hpp"

namespace symspill {
namespace {

constexpr char kUsage[] = "Usage:  symspill <dat file>\n";
constexpr char kHelp[] =
    "Usage:  symspill <dat file>\n"
    "Writes the symbol dump of <dat file> to <dat file>.txt, one line per symbol record.\n";

}  // namespace

int run(const std::vector<std::string>& args, kit::Console& console) {
    if (auto status = kit::standard_options(args, console, "symspill", kHelp)) return *status;
    if (args.empty()) {
        console.print(kUsage);
        return 1;
    }
    const std::string& dat_name = args[0];

    // The whole header is read and checked before the dump is created, so a
    // run that cannot start leaves an existing (perhaps edited) dump alone.
    scriptdata::FileReader in;
    if (!in.open(dat_name)) kit::fail(-1, "Error open dat file\n");
    in.read_version();
    const std::uint32_t count = in.read_count();
    in.skip_sort_index(count);  // not used by the dump

    const std::string dump_name = dat_name + ".txt";
    kit::Writer out;
    if (!out.open(dump_name, kit::Translation::binary)) kit::fail(-1, "Error create dump file:" + dump_name + "\n");
    out.expect(in.stream().stored_size());  // a dump is longer than its file

    console.print("working...\n");
    scriptdata::RecordView record;
    std::string spill;  // a record that runs past the reader's buffer
    std::string line;   // a dump line too long for the writer's buffer
    for (std::uint32_t i = 0; i < count; ++i) {
        in.read_record(i, record, spill);
        // Formatted in place in the output buffer; a line too long for it goes through `line`.
        const std::size_t size = scriptdata::dump::line_size(record);
        if (char* room = out.room(size)) {
            scriptdata::dump::format_line(i, record, room);
        } else {
            scriptdata::dump::format_line(i, record, line);
            out.write(line);
        }
    }
    out.close();
    console.print("end working\n");
    return 0;
}

}  // namespace symspill
