#include "stream/stream.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "stream/failure.hpp"
#include "stream/hex.hpp"
#include "stream/simd.hpp"

#ifdef _WIN32
#include <windows.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
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

// Buffers handed between the program's thread and a stream's own thread. The
// filling side takes an empty buffer, fills it and gives it over full; the
// other side takes it full and gives it back empty. Either side holds at most
// one buffer, and gives it back before it takes the next.
//
// A side that finds nothing to take waits until a batch of buffers is there
// (or the relay stops), so that the two sides wake each other once a batch
// rather than once a buffer. With twice the batch in buffers, both cannot
// wait at once: the buffers that neither holds are all in one of the queues.
// After stop(), take_empty() gives nothing and take_full() gives what is
// still full, then nothing.
class Relay {
public:
    struct Slot {
        char* bytes = nullptr;
        std::size_t size = 0;
        bool failed = false;
    };

    static constexpr std::size_t kBatch = 2;
    static constexpr std::size_t kCount = 2 * kBatch;

    // kCount buffers of `size` bytes, one after the other from `memory`; the
    // first starts in the caller's hands when `first_taken`, rather than
    // among the empty ones.
    Relay(char* memory, std::size_t size, bool first_taken) : slots_(kCount) {
        for (std::size_t i = 0; i < kCount; ++i) {
            slots_[i].bytes = memory + i * size;
            if (i != 0 || !first_taken) empty_.push_back(&slots_[i]);
        }
    }
    Slot* first() { return &slots_[0]; }

    Slot* take_empty() { return take(empty_, wanted_empty_, true); }
    Slot* take_full() { return take(full_, wanted_full_, false); }
    void give_empty(Slot* slot) { give(empty_, wanted_empty_, slot); }
    void give_full(Slot* slot) { give(full_, wanted_full_, slot); }

    void stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }

private:
    Slot* take(std::deque<Slot*>& from, std::size_t& wanted, bool nothing_once_stopped) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (from.empty() && !stopped_) {
            wanted = kBatch;
            changed_.wait(lock, [&] { return stopped_ || from.size() >= kBatch; });
            wanted = 0;
        }
        if (from.empty() || (stopped_ && nothing_once_stopped)) return nullptr;
        Slot* slot = from.front();
        from.pop_front();
        return slot;
    }
    // Wakes the other side only when it waits and its batch is complete.
    void give(std::deque<Slot*>& to, const std::size_t& wanted, Slot* slot) {
        bool wake = false;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            to.push_back(slot);
            wake = wanted != 0 && to.size() >= wanted;
        }
        if (wake) changed_.notify_all();
    }

    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Slot*> empty_;
    std::deque<Slot*> full_;
    std::size_t wanted_empty_ = 0;  // the batch a side waits for, 0 while none waits
    std::size_t wanted_full_ = 0;
    bool stopped_ = false;
};

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

// ---------------------------------------------------------------- Buffers

// A stream's buffers are one block. A stream that holds more than one
// buffer (an input file larger than that, an output that has filled one)
// has them in a block of large pages where the system takes a hint for them
// (Linux): laid on 2 MB bounds, rounded up to whole 2 MB, and the hint given.
// Fresh memory costs a page fault per page when first touched, and on some
// machines a 4 KB fault costs more than reading 4 KB of a cached file, so a
// stream's 1 MB of buffers in small pages cost milliseconds before its first
// byte moved. A short stream keeps small pages, of which it touches only
// what it uses: a large page is cleared whole when first touched.
#if defined(__linux__)
namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
}

BufferBlock buffer_block(std::size_t size, bool large_pages) {
    const std::size_t rounded = (size + kLargePage - 1) / kLargePage * kLargePage;
    void* p = large_pages ? std::aligned_alloc(kLargePage, rounded) : std::malloc(size);
    if (p == nullptr) throw std::bad_alloc();
    if (large_pages) madvise(p, rounded, MADV_HUGEPAGE);  // only a hint: its failure changes nothing
    return BufferBlock(static_cast<char*>(p));
}

void FreeBufferBlock::operator()(char* p) const noexcept { std::free(p); }
#else
BufferBlock buffer_block(std::size_t size, bool) { return BufferBlock(new char[size]); }

void FreeBufferBlock::operator()(char* p) const noexcept { delete[] p; }
#endif

// ---------------------------------------------------------------- Reader

struct Reader::Ahead {
    explicit Ahead(char* memory) : relay(memory, kAheadSize, false) {}
    Relay relay;
    std::thread thread;
    Relay::Slot* current = nullptr;  // the buffer being delivered
    bool done = false;               // the last buffer was taken
};

Reader::Reader() = default;

Reader::~Reader() {
    if (ahead_) {
        ahead_->relay.stop();
        ahead_->thread.join();
    }
    if (file_ != nullptr) std::fclose(file_);
}

bool Reader::open(const std::string& name, Translation translation, ReadAhead ahead) {
    file_ = open_file(name, "rb");
    if (file_ == nullptr) return false;
    name_ = name;
    translation_ = translation;
    // The stream layer does its own buffering; the C stream only moves blocks.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    const std::uint64_t size = file_size_of(file_);
    stored_size_ = size;
    if (translation == Translation::binary) file_size_ = size;
    if (ahead == ReadAhead::on_thread && size > kBufferSize) {
        // More than one buffer: read ahead on a thread of its own, if one can be started.
        memory_ = buffer_block(Relay::kCount * kAheadSize, true);
        capacity_ = kAheadSize;
        ahead_ = std::make_unique<Ahead>(memory_.get());
        try {
            ahead_->thread = std::thread(&Reader::read_ahead, this);
            return true;
        } catch (const std::system_error&) {
            ahead_.reset();
        }
    } else {
        memory_ = buffer_block(kBufferSize, size > kBufferSize);
    }
    buf_ = memory_.get();
    return true;
}

namespace {

// The first part of a text stream's translation, on the bytes from b[r] on:
// moves them down to b[w], dropping every CR that an LF follows, and
// advances w and r past what it did. It goes a register of V::kWidth bytes
// at a time, looking at each byte and the one after it together, as long as
// more than a register's width is left; the rest is for the loop after it.
// A lone CR costs nothing here, where a search for CRs would stop at each.
template <class V>
[[gnu::always_inline]] inline void drop_cr_before_lf(char* b, std::size_t len, std::size_t& w, std::size_t& r) {
    // Until the first pair nothing moves: it is looked for four registers at
    // a time (a text with lone CRs but LF line ends has none at all).
    if (w == r) {
        constexpr std::size_t kStep = 4 * V::kWidth;
        while (len - r > kStep && (V::cr_lf(b + r) | V::cr_lf(b + r + V::kWidth) | V::cr_lf(b + r + 2 * V::kWidth) |
                                   V::cr_lf(b + r + 3 * V::kWidth)) == 0) {
            r += kStep;
        }
        w = r;
    }
    while (len - r > V::kWidth) {
        const unsigned pairs = V::cr_lf(b + r);
        if (pairs == 0) {
            if (w != r) V::move(b + w, b + r);
            w += V::kWidth;
            r += V::kWidth;
            continue;
        }
        // Keeps b[r, r + k) and drops the CR at r + k. The whole register
        // may be stored at w only where that leaves the bytes from r + k + 1
        // on, still to be looked at, untouched.
        const auto k = static_cast<std::size_t>(std::countr_zero(pairs));
        if (r - w >= V::kWidth - 1) {
            V::move(b + w, b + r);
        } else if (w != r) {
            std::memmove(b + w, b + r, k);
        }
        w += k;
        r += k + 1;
    }
}

#if KIT_SSE2
struct Sse2Bytes {
    static constexpr std::size_t kWidth = 16;
    // Bit i set where p[i] is CR and p[i + 1] is LF, for the kWidth bytes at p.
    [[gnu::always_inline]] static unsigned cr_lf(const char* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        return static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(next, _mm_set1_epi8('\n')))));
    }
    // Copies the kWidth bytes at `from` to `to` (taken whole before any is stored).
    [[gnu::always_inline]] static void move(char* to, const char* from) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
    }
};
#endif

#if KIT_AVX2
// As Sse2Bytes, 32 bytes at a time; inlined where flattened into code for AVX2.
struct Avx2Bytes {
    static constexpr std::size_t kWidth = 32;
    [[KIT_TARGET_AVX2]] static unsigned cr_lf(const char* p) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
        return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(
            _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')), _mm256_cmpeq_epi8(next, _mm256_set1_epi8('\n')))));
    }
    [[KIT_TARGET_AVX2]] static void move(char* to, const char* from) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
    }
};

[[KIT_TARGET_AVX2, gnu::flatten]] void drop_cr_before_lf_avx2(char* b, std::size_t len, std::size_t& w,
                                                              std::size_t& r) {
    drop_cr_before_lf<Avx2Bytes>(b, len, w, r);
}
#endif

// drop_cr_before_lf with the widest registers the processor has.
void drop_cr_before_lf(char* b, std::size_t len, std::size_t& w, std::size_t& r) {
#if KIT_AVX2
    if (has_avx2()) drop_cr_before_lf_avx2(b, len, w, r);
#endif
#if KIT_SSE2
    drop_cr_before_lf<Sse2Bytes>(b, len, w, r);
#else
    (void)b, (void)len, (void)w, (void)r;
#endif
}

}  // namespace

// Turns b[0, raw_len) into delivered bytes in place and returns their count.
// A CR as the last raw byte is held back (carry_cr_) until the next fill shows
// whether an LF follows; at the true end it is delivered as is.
std::size_t Reader::translate(char* b, std::size_t raw_len, bool source_done) {
    if (const void* stop = std::memchr(b, kEndOfText, raw_len)) {
        raw_len = static_cast<std::size_t>(static_cast<const char*>(stop) - b);
        source_done_ = true;
        source_done = true;
    }
    // Most text holds no CR at all: one search, and the bytes stay as they
    // are. Bytes before the first CR stay where they are in any case.
    const void* first_cr = std::memchr(b, '\r', raw_len);
    if (first_cr == nullptr) return raw_len;
    std::size_t w = static_cast<std::size_t>(static_cast<const char*>(first_cr) - b);
    std::size_t r = w;
    drop_cr_before_lf(b, raw_len, w, r);
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

// Fills `buf` (capacity_ bytes) with the next delivered bytes and returns
// their count: 0 when nothing more can be delivered, or with `failed` set when
// the file could not be read.
std::size_t Reader::produce(char* buf, bool& failed) {
    std::size_t delivered = 0;
    while (delivered == 0) {
        if (source_done_) {
            if (!carry_cr_) return 0;
            carry_cr_ = false;
            buf[0] = '\r';
            return 1;
        }
        std::size_t start = 0;
        if (carry_cr_) {
            buf[0] = '\r';
            start = 1;
            carry_cr_ = false;
        }
        const std::size_t got = std::fread(buf + start, 1, capacity_ - start, file_);
        if (got < capacity_ - start) {
            if (std::ferror(file_)) {
                failed = true;
                return 0;
            }
            source_done_ = true;
        }
        const std::size_t raw = start + got;
        // Binary mode delivers everything as stored, 0x1A and CR included.
        delivered = translation_ == Translation::text ? translate(buf, raw, source_done_) : raw;
    }
    return delivered;
}

// The read-ahead thread: fills buffers until the input ends or fails, handing
// over the last one (empty, or marked failed) as well.
void Reader::read_ahead() {
    Relay& relay = ahead_->relay;
    for (;;) {
        Relay::Slot* slot = relay.take_empty();
        if (slot == nullptr) return;  // the stream is being closed
        slot->failed = false;
        slot->size = produce(slot->bytes, slot->failed);
        const bool last = slot->failed || slot->size == 0;
        relay.give_full(slot);
        if (last) {
            relay.stop();  // no batch is waited for after the last buffer
            return;
        }
    }
}

bool Reader::fill() {
    delivered_base_ += end_;
    pos_ = 0;
    end_ = 0;
    if (file_ == nullptr) return false;
    if (ahead_) return fill_ahead();
    bool failed = false;
    end_ = produce(buf_, failed);
    if (failed) fail(-1, "Error reading " + name_ + " at byte offset " + std::to_string(offset()) + "\n");
    return end_ != 0;
}

bool Reader::fill_ahead() {
    Ahead& a = *ahead_;
    if (a.current != nullptr) {
        a.relay.give_empty(a.current);
        a.current = nullptr;
        buf_ = nullptr;
    }
    if (a.done) return false;
    Relay::Slot* slot = a.relay.take_full();
    if (slot == nullptr || slot->failed || slot->size == 0) {
        a.done = true;
        const bool failed = slot != nullptr && slot->failed;
        if (slot != nullptr) a.relay.give_empty(slot);
        if (failed) fail(-1, "Error reading " + name_ + " at byte offset " + std::to_string(offset()) + "\n");
        return false;
    }
    a.current = slot;
    buf_ = slot->bytes;
    end_ = slot->size;
    return true;
}

bool Reader::read_line(std::string& line) {
    if (pos_ == end_ && !fill()) {
        eof_ = true;
        return false;
    }
    line.clear();
    for (;;) {
        const char* start = buf_ + pos_;
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
    const char* start = buf_ + pos_;
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
        const char* start = buf_ + pos_;
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
        const char* start = buf_ + pos_;
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
        std::memcpy(dst + done, buf_ + pos_, n);
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
    const char* start = buf_ + pos_;
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
        out.append(buf_ + pos_, n);
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

struct Writer::Behind {
    // The buffers from `memory` on, the first of them the one being filled.
    explicit Behind(char* memory) : relay(memory, kBufferSize, true) {}
    Relay relay;
    std::thread thread;
    Relay::Slot* current = nullptr;  // the buffer being filled
    std::atomic<bool> failed{false};  // a write out failed (set by the thread)
};

Writer::Writer() = default;

Writer::~Writer() {
    if (file_ != nullptr) {
        finish();  // errors are ignored here: close() reports them
        std::fclose(file_);
    }
}

bool Writer::open(const std::string& name, Translation translation, WriteBehind behind) {
    file_ = open_file(name, "wb");
    if (file_ == nullptr) return false;
    name_ = name;
    translation_ = translation;
    write_behind_ = behind;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    memory_ = buffer_block(block_size(1), false);
    buf_ = memory_.get();
    set_stage(1);
    return true;
}

// A block of `buffers` buffers, then for a text stream room for a buffer's
// bytes with their line ends translated: twice the buffer holds any.
std::size_t Writer::block_size(std::size_t buffers) const {
    return buffers * kBufferSize + (translation_ == Translation::text ? 2 * kBufferSize : 0);
}
void Writer::set_stage(std::size_t buffers) {
    stage_ = translation_ == Translation::text ? memory_.get() + buffers * kBufferSize : nullptr;
}

// The first time the buffer is full: the output is longer than one buffer,
// so its buffers (as many as it will use) move to a block of large pages,
// the pending bytes with them.
void Writer::grow() {
    const std::size_t buffers = write_behind_ == WriteBehind::on_thread ? Relay::kCount : 1;
    BufferBlock block = buffer_block(block_size(buffers), true);
    std::memcpy(block.get(), buf_, len_);
    memory_ = std::move(block);
    buf_ = memory_.get();
    set_stage(buffers);
    grown_ = true;
}

[[noreturn]] void Writer::write_failed() { fail(-1, "Error writing " + name_ + "\n"); }

// Writes `count` bytes to the file, a text stream's LF as CR LF; false when
// the file takes fewer.
bool Writer::write_out(const char* bytes, std::size_t count) {
    if (translation_ == Translation::binary) return std::fwrite(bytes, 1, count, file_) == count;
    char* d = stage_;
    const char* const end = bytes + count;
    while (bytes != end) {
        const void* lf = std::memchr(bytes, '\n', static_cast<std::size_t>(end - bytes));
        const char* stop = lf != nullptr ? static_cast<const char*>(lf) : end;
        std::memcpy(d, bytes, static_cast<std::size_t>(stop - bytes));
        d += stop - bytes;
        bytes = stop;
        if (lf != nullptr) {
            *d++ = '\r';
            *d++ = '\n';
            ++bytes;
        }
    }
    const auto n = static_cast<std::size_t>(d - stage_);
    return std::fwrite(stage_, 1, n, file_) == n;
}

// The write-behind thread: writes out full buffers until the stream closes.
// After a failed write out the rest is dropped; the program's thread reports
// the failure.
void Writer::write_behind() {
    Behind& b = *behind_;
    while (Relay::Slot* slot = b.relay.take_full()) {
        if (!b.failed.load() && !write_out(slot->bytes, slot->size)) b.failed.store(true);
        b.relay.give_empty(slot);
    }
}

// A write that does not fit what is left of the buffer: it fills the buffer,
// and goes on in the next ones.
void Writer::write_across(const char* bytes, std::size_t count) {
    while (count != 0) {
        if (len_ == kBufferSize) flush();
        const std::size_t n = std::min(count, kBufferSize - len_);
        std::memcpy(buf_ + len_, bytes, n);
        len_ += n;
        bytes += n;
        count -= n;
    }
}

void Writer::flush() {
    if (file_ == nullptr || len_ == 0) return;
    if (failed_) write_failed();
    if (!grown_) grow();
    if (!behind_ && write_behind_ == WriteBehind::on_thread) {
        // The output fills more than one buffer: write behind on a thread of
        // its own from now on, if one can be started.
        auto behind = std::make_unique<Behind>(memory_.get());
        behind->current = behind->relay.first();
        behind_ = std::move(behind);
        try {
            behind_->thread = std::thread(&Writer::write_behind, this);
        } catch (const std::system_error&) {
            behind_.reset();  // the buffer being filled stays the first
        }
    }
    if (!behind_) {
        const bool ok = write_out(buf_, len_);
        len_ = 0;
        if (!ok) {
            failed_ = true;
            write_failed();
        }
        return;
    }
    Behind& b = *behind_;
    b.current->size = len_;
    b.relay.give_full(b.current);
    b.current = b.relay.take_empty();
    buf_ = b.current->bytes;
    len_ = 0;
    if (b.failed.load()) {
        failed_ = true;
        write_failed();
    }
}

// Writes out everything pending and ends the write-behind thread; false when
// a write out failed.
bool Writer::finish() {
    if (behind_) {
        Behind& b = *behind_;
        if (len_ != 0 && !failed_) {
            b.current->size = len_;
            b.relay.give_full(b.current);
        }
        b.relay.stop();
        b.thread.join();
        if (b.failed.load()) failed_ = true;
        behind_.reset();
        buf_ = nullptr;
    } else if (len_ != 0 && !failed_) {
        if (!write_out(buf_, len_)) failed_ = true;
    }
    len_ = 0;
    return !failed_;
}

void Writer::close() {
    if (file_ == nullptr) return;
    bool ok = finish();
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) ok = false;
    if (!ok) write_failed();
}

}  // namespace kit
