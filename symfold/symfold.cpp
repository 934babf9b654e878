#include "symfold/symfold.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <span>
#include <system_error>
#include <thread>

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

// The free bytes that the writer's buffer is to have for a line to be folded
// into it: more than nearly every dump line takes.
constexpr std::size_t kFoldRoom = 4096;

// Writes the record of `line`: in place in the output buffer, or through
// `record` when it is too long for it.
void write_record(kit::Writer& out, const scriptdata::dump::Line& line, std::string& record) {
    const std::size_t size = scriptdata::dump::record_size(line);
    if (char* room = out.room(size)) {
        scriptdata::dump::write_record(line, room);
        return;
    }
    record.resize(size);
    scriptdata::dump::write_record(line, record.data());
    out.write(record);
}

// The tail walk passes over the records of the script data file only to find
// where its code tail begins. It needs nothing of the rebuild pass, so it runs
// on a thread of its own meanwhile; what it finds wrong is told only when the
// rebuild pass is done (finish), as if it had run after it, so a bad dump
// line is still reported first. Until then only the walk uses `in`.
class TailWalk {
public:
    TailWalk(scriptdata::FileReader& in, std::uint32_t count) : in_(in), count_(count) {
        try {
            thread_ = std::thread([this] { walk(); });
        } catch (const std::system_error&) {
            // No thread to be had: finish() walks on the caller's thread.
        }
    }
    // A rebuild pass that failed leaves here: the walk is stopped at its next
    // record and waited for; whatever it found is dropped.
    ~TailWalk() {
        stop_.store(true, std::memory_order_relaxed);
        if (thread_.joinable()) thread_.join();
    }
    TailWalk(const TailWalk&) = delete;
    TailWalk& operator=(const TailWalk&) = delete;

    // Waits for the walk and throws what stopped it, if anything; `in` then
    // stands at the code tail.
    void finish() {
        if (thread_.joinable()) {
            thread_.join();
        } else {
            walk();
        }
        if (error_) std::rethrow_exception(error_);
    }

private:
    void walk() noexcept {
        try {
            for (std::uint32_t k = 0; k < count_ && !stop_.load(std::memory_order_relaxed); ++k) in_.pass_record(k);
        } catch (...) {
            error_ = std::current_exception();
        }
    }

    scriptdata::FileReader& in_;
    const std::uint32_t count_;
    std::atomic<bool> stop_{false};
    std::exception_ptr error_;
    std::thread thread_;  // last: started once the members it uses are there
};

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
    // The dump is the longest input, and its translation the costliest
    // reading: read ahead, beside the rebuild pass.
    if (!dump.open(dump_name, kit::Translation::text, kit::ReadAhead::on_thread)) {
        kit::fail(2, "Error open text update of dat file:" + dump_name + "\n");
    }
    const std::uint32_t count = in.read_count();

    kit::Writer out;
    // Written out by this thread: the dump's reading and the tail walk keep
    // the second core busy, and the bytes go out from this core's cache.
    if (!out.open(new_name, kit::Translation::binary, kit::WriteBehind::none)) {
        kit::fail(-1, "Error create new dat file:" + new_name + "\n");
    }
    out.expect(in.stream().stored_size());
    out.put(static_cast<char>(scriptdata::kVersionByte));
    out.put_word_le(count);
    scriptdata::copy_bytes(in.stream(), out, std::uint64_t{count} * scriptdata::kWordSize);  // the sort index
    console.print("working...\n");
    TailWalk tail_walk(in, count);

    // Rebuild pass: line k of the dump gives record k of the new file. A
    // line is checked whole before anything of its record is written.
    std::string spill;   // holds a line that runs past the reader's buffer
    std::string record;  // holds a record too long for the writer's buffer
    std::string folded;  // a record folded in place: as long as the longest rest of the reader's buffer
    std::string_view view;
    scriptdata::dump::Line line;
    for (std::uint32_t k = 0; k < count; ++k) {
        // Most lines are folded into their records where they lie in the
        // reader's buffer; the first (which may start with a byte order
        // mark), one that runs past the buffer and one that is wrong are read
        // and parsed the careful way, which tells what is wrong.
        if (k != 0) {
            const std::string_view text = dump.buffered();
            // Straight into the writer's buffer where the line lies whole in
            // as many bytes as are free there (a record is shorter than its
            // line); else by way of `folded`.
            const std::span<char> room = out.spare(std::min(text.size(), kFoldRoom));
            if (const scriptdata::dump::Folded sizes =
                    scriptdata::dump::fold_line_in_place(text.substr(0, room.size()), room.data());
                sizes.line_size != 0) {
                dump.consume(sizes.line_size);
                out.claim(sizes.record_size);
                continue;
            }
            if (folded.size() < text.size()) folded.resize(text.size());
            if (const scriptdata::dump::Folded sizes = scriptdata::dump::fold_line_in_place(text, folded.data());
                sizes.line_size != 0) {
                dump.consume(sizes.line_size);
                out.write(folded.data(), sizes.record_size);
                continue;
            }
        }
        if (!dump.read_line(view, spill)) {
            kit::fail(-1, dump_name + ": ends after " + std::to_string(k) + " lines, but " + dat_name + " holds " +
                              std::to_string(count) + " symbol records\n");
        }
        if (!view.empty() && view.back() == '\n') view.remove_suffix(1);
        if (k == 0 && view.substr(0, scriptdata::dump::kByteOrderMark.size()) == scriptdata::dump::kByteOrderMark) {
            view.remove_prefix(scriptdata::dump::kByteOrderMark.size());
        }
        scriptdata::dump::parse_line(view, {dump_name, std::uint64_t{k} + 1}, line);
        write_record(out, line, record);
    }

    tail_walk.finish();
    scriptdata::copy_rest(in.stream(), out);
    out.close();
    console.print("end working\n");
    return 0;
}

}  // namespace symfold
