#include "io/postcard.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "utils/errors.h"

namespace borvane {

namespace {

std::string os_error_text(int err) { return std::strerror(err); }

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no
// sequence cut short.  These are the texts the rest of the system can hold as
// UTF-8 without a second check.
bool valid_utf8(const unsigned char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;  // overlong below U+0800
            if (c == 0xED) hi = 0x9F;  // surrogates U+D800..U+DFFF
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;  // overlong below U+10000
            if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
        } else {
            return false;  // a continuation byte, an overlong C0/C1 lead, or F5..FF
        }
        if (n - i < len) return false;
        if (s[i + 1] < lo || s[i + 1] > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if ((s[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

// A path holding a NUL byte would silently name a shorter path at the
// system call, so it is refused the way the system refuses a bad name.
void check_path(const std::string& path, const char* what) {
    if (path.find('\0') != std::string::npos)
        throw IoError(std::string(what) + "path contains a NUL byte");
}

class FileSink final : public ByteSink {
public:
    explicit FileSink(const std::string& path) {
        check_path(path, "Failed to create file: ");
        do fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) throw IoError("Failed to create file: " + os_error_text(errno));
    }
    ~FileSink() override {
        if (fd_ >= 0) ::close(fd_);
    }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void write(const uint8_t* data, size_t n) override {
        while (n > 0) {
            ssize_t k = ::write(fd_, data, n);
            if (k < 0) {
                if (errno == EINTR) continue;
                Encoder::fail(os_error_text(errno));
            }
            if (k == 0) Encoder::fail("the file accepted no bytes");
            data += k;
            n -= size_t(k);
        }
    }

    // Some file systems only report a failed write when the file is closed,
    // so the result of close() is part of the write.
    void close() {
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) Encoder::fail(os_error_text(errno));
    }

private:
    int fd_ = -1;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::string& path) {
        check_path(path, "Failed to open file: ");
        do fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) throw IoError("Failed to open file: " + os_error_text(errno));
    }
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    size_t read(uint8_t* data, size_t max) override {
        for (;;) {
            ssize_t k = ::read(fd_, data, max);
            if (k >= 0) return size_t(k);
            if (errno != EINTR) Decoder::fail(os_error_text(errno));
        }
    }

private:
    int fd_ = -1;
};

}  // namespace

// --- encoder ------------------------------------------------------------------------

Encoder::Encoder(ByteSink& sink) : sink_(sink), buffer_(new uint8_t[kBufferSize]) {}

void Encoder::fail(const std::string& description) {
    throw ValueError("Failed to write postcard data: " + description);
}

void Encoder::drain() {
    // Forget the bytes before handing them over: after a failed write the
    // encoder must not offer them again.
    size_t n = used_;
    used_ = 0;
    sink_.write(buffer_.get(), n);
}

void Encoder::bytes(const uint8_t* data, size_t n) {
    while (n > 0) {
        if (used_ == kBufferSize) drain();
        size_t k = std::min(n, kBufferSize - used_);
        std::memcpy(buffer_.get() + used_, data, k);
        used_ += k;
        data += k;
        n -= k;
    }
}

void Encoder::varint(uint64_t v) {
    uint8_t out[10];
    size_t n = 0;
    while (v >= 0x80) {
        out[n++] = uint8_t(v) | 0x80;
        v >>= 7;
    }
    out[n++] = uint8_t(v);
    bytes(out, n);
}

void Encoder::length(size_t n) {
    if (n > std::numeric_limits<uint32_t>::max())
        fail("a length of " + std::to_string(n) + " does not fit in 32 bits");
    varint(n);
}

void Encoder::text(std::string_view s) {
    length(s.size());
    bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

void Encoder::flush() {
    if (used_ > 0) drain();
}

// --- decoder ------------------------------------------------------------------------

Decoder::Decoder(ByteSource& source)
    : source_(source), buffer_(new uint8_t[kBufferSize]), scratch_(new char[kScratchSize]) {}

void Decoder::fail(const std::string& description) {
    throw ValueError("Failed to read postcard data: " + description);
}

void Decoder::refill() {
    pos_ = 0;
    end_ = source_.read(buffer_.get(), kBufferSize);
    if (end_ == 0) fail("unexpected end of data");
}

uint64_t Decoder::varint(unsigned max_bytes, uint8_t last_max, const char* too_long) {
    uint64_t v = 0;
    for (unsigned i = 0; i < max_bytes; ++i) {
        uint8_t b = byte();
        // The last allowed byte may only hold the bits left of the width; a
        // continuation bit there makes the varint longer than allowed.
        if (i + 1 == max_bytes && b > last_max) fail(too_long);
        v |= uint64_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) break;
    }
    return v;
}

std::string_view Decoder::text() {
    size_t n = length();
    if (n > kScratchSize) fail("unexpected end of data");
    size_t got = 0;
    while (got < n) {
        if (pos_ == end_) refill();
        size_t k = std::min(n - got, end_ - pos_);
        std::memcpy(scratch_.get() + got, buffer_.get() + pos_, k);
        pos_ += k;
        got += k;
    }
    if (!valid_utf8(reinterpret_cast<const unsigned char*>(scratch_.get()), n))
        fail("text is not valid UTF-8");
    return std::string_view(scratch_.get(), n);
}

// --- records ------------------------------------------------------------------------

void encode(Encoder& e, Gate16 g) { e.text(g.display()); }
void decode(Decoder& d, Gate16& g) { g = Gate16::from_stored_name(d.text()); }

void encode(Encoder& e, QArgs16 q) {
    e.byte(q.q0);
    e.byte(q.q1);
}
void decode(Decoder& d, QArgs16& q) {
    q.q0 = d.byte();
    q.q1 = d.byte();
}

void encode(Encoder& e, Instr32 i) { encode_fields(e, i.gate(), i.qargs()); }
void decode(Decoder& d, Instr32& i) {
    Gate16 g;
    QArgs16 q;
    decode_fields(d, g, q);
    i = Instr32::unchecked(g, q);
}

void encode(Encoder& e, Permut32 p) { e.varint(p.raw()); }
void decode(Decoder& d, Permut32& p) { p = Permut32::from_raw(d.varint32()); }

void encode(Encoder& e, const ECC& ecc) { encode(e, ecc.entries); }
void decode(Decoder& d, ECC& ecc) { decode(d, ecc.entries); }

void encode(Encoder& e, const ECCs& eccs) {
    encode(e, eccs.eccs);
    e.varint(uint64_t(eccs.nqubits));
}
void decode(Decoder& d, ECCs& eccs) {
    decode(d, eccs.eccs);
    uint64_t n = d.varint64();
    if constexpr (sizeof(size_t) < sizeof(uint64_t)) {
        if (n > std::numeric_limits<size_t>::max()) Decoder::fail("nqubits does not fit in size_t");
    }
    eccs.nqubits = size_t(n);
}

// --- files --------------------------------------------------------------------------

void write_postcard_file(const std::string& path, const std::function<void(Encoder&)>& body) {
    FileSink sink(path);
    Encoder e(sink);
    body(e);
    e.flush();
    sink.close();
}

void read_postcard_file(const std::string& path, const std::function<void(Decoder&)>& body) {
    FileSource source(path);
    Decoder d(source);
    body(d);
}

void dump_postcard(const ECCs& eccs, const std::string& path) { dump_postcard_file(eccs, path); }
ECCs eccs_from_postcard(const std::string& path) { return load_postcard_file<ECCs>(path); }

}  // namespace borvane
