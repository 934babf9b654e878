#include "stream/stream.hpp"

#include <algorithm>
#include <cstring>

#include "stream/failure.hpp"
#include "stream/hex.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kit {
namespace {

constexpr char kEndOfText = 0x1A;

#ifdef _WIN32
std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}
#endif

std::uint64_t file_size_of(std::FILE* f) {
#ifdef _WIN32
    const __int64 here = _ftelli64(f);
    if (here < 0 || _fseeki64(f, 0, SEEK_END) != 0) return 0;
    const __int64 size = _ftelli64(f);
    _fseeki64(f, here, SEEK_SET);
#else
    const off_t here = ftello(f);
    if (here < 0 || fseeko(f, 0, SEEK_END) != 0) return 0;
    const off_t size = ftello(f);
    fseeko(f, here, SEEK_SET);
#endif
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

std::FILE* open_file(const std::string& name, const char* mode) {
#ifdef _WIN32
    return _wfopen(widen(name).c_str(), widen(mode).c_str());
#else
    return std::fopen(name.c_str(), mode);
#endif
}

bool can_read(const std::string& name) {
    std::FILE* f = open_file(name, "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// ---------------------------------------------------------------- Reader

Reader::~Reader() {
    if (file_ != nullptr) std::fclose(file_);
}

bool Reader::open(const std::string& name, Translation translation) {
    file_ = open_file(name, "rb");
    if (file_ == nullptr) return false;
    name_ = name;
    translation_ = translation;
    // The stream layer does its own buffering; the C stream only moves blocks.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buf_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
    if (translation == Translation::binary) file_size_ = file_size_of(file_);
    return true;
}

// Turns buf_[0, raw_len) into delivered bytes in place and returns their
// count. A CR as the last raw byte is held back (carry_cr_) until the next
// fill shows whether an LF follows; at the true end it is delivered as is.
std::size_t Reader::translate(std::size_t raw_len, bool source_done) {
    char* b = buf_.get();
    if (const void* stop = std::memchr(b, kEndOfText, raw_len)) {
        raw_len = static_cast<std::size_t>(static_cast<const char*>(stop) - b);
        source_done_ = true;
        source_done = true;
    }
    std::size_t w = 0;
    std::size_t r = 0;
    while (r < raw_len) {
        const void* cr = std::memchr(b + r, '\r', raw_len - r);
        const std::size_t stop = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - b) : raw_len;
        if (w != r) std::memmove(b + w, b + r, stop - r);
        w += stop - r;
        r = stop;
        if (r == raw_len) break;
        // b[r] is a CR.
        if (r + 1 < raw_len) {
            if (b[r + 1] != '\n') b[w++] = '\r';
            ++r;  // a CR before LF is dropped; the LF is copied next round
        } else if (source_done) {
            b[w++] = '\r';
            ++r;
        } else {
            carry_cr_ = true;
            ++r;
        }
    }
    return w;
}

bool Reader::fill() {
    delivered_base_ += end_;
    pos_ = 0;
    end_ = 0;
    if (file_ == nullptr) return false;
    while (end_ == 0) {
        if (source_done_) {
            if (carry_cr_) {
                carry_cr_ = false;
                buf_[0] = '\r';
                end_ = 1;
                return true;
            }
            return false;
        }
        std::size_t start = 0;
        if (carry_cr_) {
            buf_[0] = '\r';
            start = 1;
            carry_cr_ = false;
        }
        const std::size_t got = std::fread(buf_.get() + start, 1, kBufferSize - start, file_);
        if (got < kBufferSize - start) {
            if (std::ferror(file_)) fail(-1, "Error reading " + name_ + " at byte offset " + std::to_string(offset()) + "\n");
            source_done_ = true;
        }
        const std::size_t raw = start + got;
        // Binary mode delivers everything as stored, 0x1A and CR included.
        end_ = translation_ == Translation::text ? translate(raw, source_done_) : raw;
    }
    return true;
}

bool Reader::read_line(std::string& line) {
    if (pos_ == end_ && !fill()) {
        eof_ = true;
        return false;
    }
    line.clear();
    for (;;) {
        const char* start = buf_.get() + pos_;
        const std::size_t avail = end_ - pos_;
        if (const void* lf = std::memchr(start, '\n', avail)) {
            const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
            line.append(start, n);
            pos_ += n;
            return true;
        }
        line.append(start, avail);
        pos_ = end_;
        if (!fill()) {
            eof_ = true;  // the read went past the last byte
            return true;
        }
    }
}

// The buffer is empty or holds no LF: after a fill the line may lie in the
// buffer whole; else it goes on past the buffer and is gathered in `spill`.
bool Reader::read_line_across(std::string_view& line, std::string& spill) {
    if (pos_ == end_ && !fill()) {
        eof_ = true;
        return false;
    }
    const char* start = buf_.get() + pos_;
    if (const void* lf = std::memchr(start, '\n', end_ - pos_)) {
        const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
        pos_ += n;
        line = std::string_view(start, n);
        return true;
    }
    read_line(spill);
    line = spill;
    return true;
}

bool Reader::skip_line() {
    for (;;) {
        if (pos_ == end_ && !fill()) {
            eof_ = true;
            return false;
        }
        const char* start = buf_.get() + pos_;
        if (const void* lf = std::memchr(start, '\n', end_ - pos_)) {
            pos_ += static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
            return true;
        }
        pos_ = end_;
    }
}

bool Reader::read_line_piece(std::string& line, std::size_t max) {
    if (pos_ == end_ && !fill()) {
        eof_ = true;
        return false;
    }
    line.clear();
    while (line.size() < max) {
        const char* start = buf_.get() + pos_;
        const std::size_t avail = std::min(end_ - pos_, max - line.size());
        if (const void* lf = std::memchr(start, '\n', avail)) {
            const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
            line.append(start, n);
            pos_ += n;
            return true;
        }
        line.append(start, avail);
        pos_ += avail;
        if (line.size() == max) break;
        if (!fill()) {
            eof_ = true;
            return true;
        }
    }
    return true;
}

std::size_t Reader::read_across(void* out, std::size_t count) {
    char* dst = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < count) {
        if (pos_ == end_ && !fill()) {
            eof_ = true;
            break;
        }
        const std::size_t n = std::min(end_ - pos_, count - done);
        std::memcpy(dst + done, buf_.get() + pos_, n);
        pos_ += n;
        done += n;
    }
    return done;
}

std::size_t Reader::read_le_across(std::size_t width, std::uint32_t& value) {
    value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const int c = get();
        if (c < 0) return i;
        value |= static_cast<std::uint32_t>(c) << (8 * i);
    }
    return width;
}

std::string_view Reader::read_view(std::size_t max) {
    if (max == 0) return {};
    if (pos_ == end_ && !fill()) {
        eof_ = true;
        return {};
    }
    const std::size_t n = std::min(end_ - pos_, max);
    const char* start = buf_.get() + pos_;
    pos_ += n;
    return std::string_view(start, n);
}

std::uint64_t Reader::skip(std::uint64_t count) {
    std::uint64_t done = 0;
    while (done < count) {
        if (pos_ == end_ && !fill()) {
            eof_ = true;
            break;
        }
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - pos_, count - done));
        pos_ += n;
        done += n;
    }
    return done;
}

std::size_t Reader::append(std::string& out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (pos_ == end_ && !fill()) {
            eof_ = true;
            break;
        }
        const std::size_t n = std::min(end_ - pos_, count - done);
        out.append(buf_.get() + pos_, n);
        pos_ += n;
        done += n;
    }
    return done;
}

int Reader::get_across() {
    if (pos_ == end_ && !fill()) {
        eof_ = true;
        return -1;
    }
    return static_cast<unsigned char>(buf_[pos_++]);
}

// ---------------------------------------------------------------- Writer

Writer::~Writer() {
    if (file_ != nullptr) {
        if (!failed_) drain();
        std::fclose(file_);
    }
}

bool Writer::open(const std::string& name, Translation translation) {
    file_ = open_file(name, "wb");
    if (file_ == nullptr) return false;
    name_ = name;
    translation_ = translation;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buf_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
    return true;
}

void Writer::drain() {
    if (len_ == 0) return;
    const std::size_t want = len_;
    len_ = 0;
    if (std::fwrite(buf_.get(), 1, want, file_) != want) failed_ = true;
}

// A write that does not fit what is left of the buffer: the pending bytes go
// out first, and bytes that would fill a whole buffer go out directly.
void Writer::write_across(const char* bytes, std::size_t count) {
    flush();
    if (count >= kBufferSize) {
        if (std::fwrite(bytes, 1, count, file_) != count) {
            failed_ = true;
            fail(-1, "Error writing " + name_ + "\n");
        }
        return;
    }
    std::memcpy(buf_.get() + len_, bytes, count);
    len_ += count;
}

// Text mode: every LF goes out as CR LF.
void Writer::write_text(std::string_view bytes) {
    while (!bytes.empty()) {
        const void* lf = std::memchr(bytes.data(), '\n', bytes.size());
        if (lf == nullptr) {
            write_raw(bytes.data(), bytes.size());
            return;
        }
        const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data());
        write_raw(bytes.data(), n);
        write_raw("\r\n", 2);
        bytes.remove_prefix(n + 1);
    }
}

void Writer::flush() {
    if (file_ == nullptr) return;
    if (len_ > 0) {
        const std::size_t want = len_;
        const std::size_t n = std::fwrite(buf_.get(), 1, want, file_);
        len_ = 0;
        if (n != want) {
            failed_ = true;
            fail(-1, "Error writing " + name_ + "\n");
        }
    }
}

void Writer::close() {
    if (file_ == nullptr) return;
    flush();
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) fail(-1, "Error writing " + name_ + "\n");
}

}  // namespace kit
