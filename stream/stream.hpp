// Buffered file streams with the kit's own text-mode translation, so every
// platform reads and writes the same bytes.
//
// Reading in text mode: every CR LF pair arrives as one LF (also where the
// pair straddles two internal buffer fills), a CR not followed by LF arrives
// as a CR, and the first byte 0x1A ends the input. Writing in text mode: every
// LF goes out as CR LF. Binary mode moves bytes unchanged.
//
// The end-of-file indicator is set only when a read finds no byte left; a read
// that takes the last byte does not set it. A read error throws a Failure that
// names the file.
//
// An output larger than one buffer is written behind by a thread of the
// stream's own, so that the system's copy of the bytes (and the line-end
// translation) runs beside the program's work; one opened with
// WriteBehind::none is written out by the program's thread, for a program
// whose other threads keep the second core busy. An input is read by the
// thread that reads the stream, where the bytes the system copies land in
// the cache that the program then looks at them in; one opened with
// ReadAhead::on_thread and larger than one buffer is read (and translated)
// ahead by a thread of its own instead, which pays where reading costs more
// than moving the bytes between processor cores: a long text-mode input of a
// program thread with much work of its own. The bytes, messages and offsets
// are those of reading and writing in turn; a write error is reported by a
// later flush or by close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "stream/hex.hpp"
#include "stream/simd.hpp"

namespace kit {

enum class Translation { binary, text };
enum class ReadAhead { none, on_thread };
enum class WriteBehind { on_thread, none };

// The memory of a stream's buffers: one block, laid out and freed as
// buffer_block (in stream.cpp) chooses.
struct FreeBufferBlock {
    void operator()(char* p) const noexcept;
};
using BufferBlock = std::unique_ptr<char[], FreeBufferBlock>;
BufferBlock buffer_block(std::size_t size, bool large_pages);

// Little-endian words, built from bytes by shifting.
inline std::uint32_t word_le(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void store_word_le(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Opens a file by its UTF-8 name ("rb" or "wb"); on Windows through the
// wide-character file API so that non-ASCII names work. Returns null when the
// file cannot be opened; prints nothing.
std::FILE* open_file(const std::string& name, const char* mode);

// True when `name` names an existing file that can be opened for reading.
bool can_read(const std::string& name);

class Reader {
public:
    static constexpr std::size_t kBufferSize = 1 << 18;
    // The buffers of a stream read ahead are larger: the two threads hand
    // them over (a wake-up each time, dearer than a read on a virtual
    // machine) a quarter as often.
    static constexpr std::size_t kAheadSize = 1 << 20;

    Reader();
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Opens `name` for reading; false (and no stream) when it cannot be opened.
    bool open(const std::string& name, Translation translation, ReadAhead ahead = ReadAhead::none);
    bool is_open() const { return file_ != nullptr; }
    const std::string& name() const { return name_; }

    // Reads bytes through the next LF (LF included) into `line`, replacing its
    // content; the string's capacity is reused, so steady reading allocates
    // nothing. Returns false, leaving `line` as it was and setting the
    // end-of-file indicator, when no byte was left. A last line without LF
    // comes back without one.
    bool read_line(std::string& line);

    // Reads bytes through the next LF like read_line, and returns them as a
    // view: into the stream's own buffer when the line lies there whole, else
    // into `spill`, which then holds it. The view is good until the next read
    // from the stream. Returns false, leaving `line` as it was and setting the
    // end-of-file indicator, when no byte was left.
    bool read_line(std::string_view& line, std::string& spill) {
        // Most lines lie in the buffer whole: they are found without a call.
        if (const void* lf = pos_ != end_ ? std::memchr(buf_ + pos_, '\n', end_ - pos_) : nullptr) {
            const char* start = buf_ + pos_;
            const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
            pos_ += n;
            line = std::string_view(start, n);
            return true;
        }
        return read_line_across(line, spill);
    }

    // Passes over bytes through the next LF without keeping them. True when
    // an LF ended them; false when the input ended first or had no byte left,
    // which sets the end-of-file indicator.
    bool skip_line();

    // Reads at most `max` bytes through the next LF, appending nothing and
    // replacing `line`: the line read of a caller's buffer of max + 1 bytes.
    // Same end-of-file rule as read_line.
    bool read_line_piece(std::string& line, std::size_t max);

    // Reads up to `count` bytes into `out`; returns how many were there. Fewer
    // than `count` only at the end of the input, which then sets the
    // end-of-file indicator.
    std::size_t read(void* out, std::size_t count) {
        // Most reads are a few bytes that the buffer already holds.
        if (count <= end_ - pos_ && count != 0) {
            std::memcpy(out, buf_ + pos_, count);
            pos_ += count;
            return count;
        }
        return read_across(out, count);
    }

    // Reads `width` (at most 4) bytes as a little-endian number into `value`,
    // the first byte lowest and the missing high bytes zero; returns how many
    // bytes were there, fewer than `width` only at the end of the input (which
    // then sets the end-of-file indicator).
    std::size_t read_le(std::size_t width, std::uint32_t& value) {
        if (end_ - pos_ >= 4) {
            // One load of four bytes, then the bytes past `width` are masked off.
            const std::uint32_t word = word_le(reinterpret_cast<const unsigned char*>(buf_ + pos_));
            value = width >= 4 ? word : word & ((std::uint32_t{1} << (8 * width)) - 1);
            pos_ += width;
            return width;
        }
        return read_le_across(width, value);
    }

    // Takes up to `max` bytes without copying them: a view of what the buffer
    // holds (filled first when empty), good until the next read from the
    // stream. Empty only when `max` is 0 or no byte is left, which then sets
    // the end-of-file indicator.
    std::string_view read_view(std::size_t max);

    // What the buffer holds now, without reading more: a view good until the
    // next read from the stream, for a caller that walks whole items in place
    // and takes the reads above only for an item that runs past it. Empty when
    // the buffer is used up (the next read fills it).
    std::string_view buffered() const { return std::string_view(buf_ + pos_, end_ - pos_); }
    // Passes over `count` bytes of buffered(); `count` must not exceed its size.
    void consume(std::size_t count) { pos_ += count; }

    // Skips up to `count` bytes; returns how many were skipped.
    std::uint64_t skip(std::uint64_t count);

    // Appends up to `count` bytes to `out`; returns how many were appended.
    std::size_t append(std::string& out, std::size_t count);

    // Reads one byte; -1 (and the end-of-file indicator) at the end.
    int get() {
        if (pos_ != end_) return static_cast<unsigned char>(buf_[pos_++]);
        return get_across();
    }

    // Binary streams only: bytes left to deliver, from the file's size as it
    // was at open, so a count read from the file can be checked against what
    // the file can hold before anything is allocated or looped over.
    std::uint64_t remaining() const { return file_size_ > offset() ? file_size_ - offset() : 0; }
    // The size of the file as stored (before any translation), as found at
    // open; 0 where the system tells none.
    std::uint64_t stored_size() const { return stored_size_; }
    bool has_at_least(std::uint64_t count) const { return remaining() >= count; }

    bool eof() const { return eof_; }
    // Bytes delivered so far: the byte offset of the next byte in binary mode.
    std::uint64_t offset() const { return delivered_base_ + pos_; }

private:
    struct Ahead;  // the read-ahead thread and the buffers it fills

    bool fill();  // false when nothing more can be delivered
    bool fill_ahead();
    std::size_t produce(char* buf, bool& failed);
    void read_ahead();
    std::size_t read_across(void* out, std::size_t count);
    int get_across();
    bool read_line_across(std::string_view& line, std::string& spill);
    std::size_t read_le_across(std::size_t width, std::uint32_t& value);
    std::size_t translate(char* b, std::size_t raw_len, bool source_done);

    std::FILE* file_ = nullptr;
    std::string name_;
    Translation translation_ = Translation::binary;
    char* buf_ = nullptr;  // the buffer being delivered, in memory_
    BufferBlock memory_;    // the buffer, or those of ahead_
    std::unique_ptr<Ahead> ahead_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::size_t capacity_ = kBufferSize;  // the size of each buffer
    std::uint64_t file_size_ = 0;
    std::uint64_t stored_size_ = 0;
    std::uint64_t delivered_base_ = 0;  // bytes delivered before buf_[0]
    // Owned by the read-ahead thread while it runs.
    bool carry_cr_ = false;     // a CR held back until the next byte is known
    bool source_done_ = false;  // the file (or a 0x1A) has no more bytes
    bool eof_ = false;
};

class Writer {
public:
    static constexpr std::size_t kBufferSize = 1 << 18;

    Writer();
    ~Writer();  // writes out pending bytes (errors are then ignored)
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Creates (or empties) `name`; false when it cannot be created.
    // WriteBehind::none keeps every write out on the program's thread.
    bool open(const std::string& name, Translation translation, WriteBehind behind = WriteBehind::on_thread);
    bool is_open() const { return file_ != nullptr; }
    const std::string& name() const { return name_; }

    // Tells the stream about how long the output is to be, where the program
    // can judge it from its input: one longer than a buffer has its buffers
    // in large pages from the start rather than from its first full buffer
    // on. Only the speed depends on it.
    void expect(std::uint64_t bytes) {
        if (bytes > kBufferSize && !grown_) grow();
    }

    // The buffer holds the bytes as the program gives them; a text stream's
    // LF becomes CR LF when the buffer is written out.
    void write(std::string_view bytes) { write_raw(bytes.data(), bytes.size()); }
    void write(const void* bytes, std::size_t count) { write_raw(static_cast<const char*>(bytes), count); }
    void put(char c) {
        if (len_ == kBufferSize) flush();
        buf_[len_++] = c;
    }
    void put_hex8(std::uint32_t value) {
        char b[8];
        kit::put_hex8(b, value);
        write_field(b, 8);
    }
    void put_hex2(std::uint8_t value) {
        char b[2];
        kit::put_hex2(b, value);
        write_field(b, 2);
    }
    void put_dec(std::int32_t value) {
        char b[11];
        write_field(b, kit::put_dec(b, value));
    }
    void put_word_le(std::uint32_t value) {
        unsigned char b[4];
        store_word_le(b, value);
        write_field(reinterpret_cast<const char*>(b), 4);
    }

    // Room for `count` more bytes, to be filled whole before the next call,
    // so that a caller can format in place: a pointer into the buffer (written
    // out first when it lacks the room). Null when `count` is more than the
    // buffer holds.
    char* room(std::size_t count) {
        if (count > kBufferSize) return nullptr;
        if (count > kBufferSize - len_) flush();
        char* p = buf_ + len_;
        len_ += count;
        return p;
    }

    // The free rest of the buffer, for formatting in place where the size
    // is known only afterwards: at least `at_least` bytes (at most
    // kBufferSize; the buffer is written out first when it lacks them).
    // Nothing written there counts until claim() takes the first `count`
    // bytes of it.
    std::span<char> spare(std::size_t at_least) {
        if (at_least > kBufferSize - len_) flush();
        return {buf_ + len_, kBufferSize - len_};
    }
    void claim(std::size_t count) { len_ += count; }

    // Passes the pending bytes on to be written out; throws a Failure naming
    // the file when this or an earlier write out failed.
    void flush();
    // Writes out everything and closes; throws a Failure naming the file on
    // error.
    void close();

private:
    struct Behind;  // the write-behind thread and the buffers it writes out

    static constexpr std::size_t kShortWrite = 256;

    // A formatted field of a few bytes, from a small array of the caller's.
    void write_field(const char* bytes, std::size_t count) {
        if (count <= kBufferSize - len_) {
            std::memcpy(buf_ + len_, bytes, count);
            len_ += count;
            return;
        }
        write_across(bytes, count);
    }
    void write_raw(const char* bytes, std::size_t count) {
        // Most writes are a few bytes that fit the buffer: copied in line,
        // without a call to the library's copy, when they are short.
        if (count <= kBufferSize - len_) {
            if (count <= kShortWrite) {
                kit::copy(buf_ + len_, bytes, count);
            } else {
                std::memcpy(buf_ + len_, bytes, count);
            }
            len_ += count;
            return;
        }
        write_across(bytes, count);
    }
    void write_across(const char* bytes, std::size_t count);
    std::size_t block_size(std::size_t buffers) const;
    void set_stage(std::size_t buffers);
    void grow();
    bool write_out(const char* bytes, std::size_t count);
    void write_behind();
    bool finish();
    [[noreturn]] void write_failed();

    std::FILE* file_ = nullptr;
    std::string name_;
    Translation translation_ = Translation::binary;
    WriteBehind write_behind_ = WriteBehind::on_thread;
    char* buf_ = nullptr;  // the buffer being filled, in memory_
    BufferBlock memory_;    // the buffers, then a text stream's stage_
    std::unique_ptr<Behind> behind_;
    char* stage_ = nullptr;  // a text stream's bytes with CR LF line ends
    bool grown_ = false;     // the buffers are in a block of large pages
    std::size_t len_ = 0;
    bool failed_ = false;  // a write out failed (as the program's thread knows it)
};

}  // namespace kit
