// The compact binary dump ("postcard") of ECC collections and, through the
// same building blocks, of any record made of lists, maps and texts.
//
// A file is one top-level record with no header: records are their fields in
// order, lists and maps are a length followed by their items, integers are
// unsigned LEB128 varints and texts are a length followed by UTF-8 bytes.
// Both directions stream through 8192-byte buffers.
//
// Codecs are free functions `encode(Encoder&, const T&)` and
// `decode(Decoder&, T&)`, overloaded per record; the list, pair, map and set
// helpers below build a new record's codec from its fields in a few lines:
//
//     void encode(Encoder& e, const Circ& c) { encode_fields(e, c.instrs, c.perm); }
//     void decode(Decoder& d, Circ& c) { decode_fields(d, c.instrs, c.perm); }
//
// Failures: a failed write throws ValueError "Failed to write postcard data:
// ...", malformed or truncated data ValueError "Failed to read postcard data:
// ...", an unknown gate text InternalError "Failed to deserialize Gate16 from
// ...".  Files that cannot be created or opened throw IoError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "circ/gate.h"
#include "circ/instr.h"
#include "groups/permutation.h"
#include "search/ecc.h"

namespace borvane {

// Where encoded bytes go.  `write` takes all `n` bytes or throws.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const uint8_t* data, size_t n) = 0;
};

// Where encoded bytes come from.  `read` returns between 1 and `max` bytes,
// 0 only at the end of the data, or throws.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t read(uint8_t* data, size_t max) = 0;
};

class Encoder {
public:
    static constexpr size_t kBufferSize = 8192;

    explicit Encoder(ByteSink& sink);
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    void byte(uint8_t b) {
        if (used_ == kBufferSize) [[unlikely]]
            drain();
        buffer_[used_++] = b;
    }
    void bytes(const uint8_t* data, size_t n);
    // Unsigned LEB128 in the fewest bytes.
    void varint(uint64_t v);
    // An element count or a byte length; it must fit 32 bits, so that it
    // takes at most 5 bytes.
    void length(size_t n);
    void text(std::string_view s);
    // Hands the buffered bytes to the sink.  A buffer that was never flushed
    // is lost: only the caller knows whether the record was complete.
    void flush();

    [[noreturn]] static void fail(const std::string& description);

private:
    void drain();

    ByteSink& sink_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
};

class Decoder {
public:
    static constexpr size_t kBufferSize = 8192;
    // The longest text that can be read; a longer one is reported as running
    // past the end of the data.
    static constexpr size_t kScratchSize = 8192;

    explicit Decoder(ByteSource& source);
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    uint8_t byte() {
        if (pos_ == end_) [[unlikely]]
            refill();
        return buffer_[pos_++];
    }
    // A varint that must fit 64 (at most 10 bytes) or 32 bits (at most 5).
    uint64_t varint64() { return varint(10, 0x01, "varint is too long for a 64-bit value"); }
    uint32_t varint32() { return uint32_t(varint(5, 0x0F, "varint is too long for a 32-bit value")); }
    // An element count or byte length.  Callers grow their containers as
    // elements arrive and never reserve from it: the count is untrusted.
    size_t length() { return varint32(); }
    // UTF-8 checked; the view is valid until the next call of text().
    std::string_view text();

    [[noreturn]] static void fail(const std::string& description);

private:
    uint64_t varint(unsigned max_bytes, uint8_t last_max, const char* too_long);
    // Loads the next bytes of the source; fails at the end of the data.
    void refill();

    ByteSource& source_;
    std::unique_ptr<uint8_t[]> buffer_;
    std::unique_ptr<char[]> scratch_;
    size_t pos_ = 0;
    size_t end_ = 0;
};

// --- primitives and records -------------------------------------------------------

inline void encode(Encoder& e, const std::string& s) { e.text(s); }
inline void decode(Decoder& d, std::string& s) { s = d.text(); }

// The empty value: zero bytes (the value type of a map used as a set).
struct Nothing {
    friend bool operator==(Nothing, Nothing) = default;
};
inline void encode(Encoder&, Nothing) {}
inline void decode(Decoder&, Nothing&) {}

// By display text, never by table index: handles differ between processes.
void encode(Encoder& e, Gate16 g);
void decode(Decoder& d, Gate16& g);
void encode(Encoder& e, QArgs16 q);
void decode(Decoder& d, QArgs16& q);
void encode(Encoder& e, Instr32 i);
void decode(Decoder& d, Instr32& i);
// The packed word, taken as it is: no permutation check.
void encode(Encoder& e, Permut32 p);
void decode(Decoder& d, Permut32& p);

// Declared ahead so that the field helpers find them for element types
// (std::string among them) that bring no borvane overloads along by ADL.
template <class A, class B>
void encode(Encoder& e, const std::pair<A, B>& p);
template <class A, class B>
void decode(Decoder& d, std::pair<A, B>& p);
template <class T>
void encode(Encoder& e, const std::vector<T>& items);
template <class T>
void decode(Decoder& d, std::vector<T>& items);

// Records: fields in order, nothing between them.
template <class... Fields>
void encode_fields(Encoder& e, const Fields&... fields) {
    (encode(e, fields), ...);
}
template <class... Fields>
void decode_fields(Decoder& d, Fields&... fields) {
    (decode(d, fields), ...);
}

template <class A, class B>
void encode(Encoder& e, const std::pair<A, B>& p) {
    encode_fields(e, p.first, p.second);
}
template <class A, class B>
void decode(Decoder& d, std::pair<A, B>& p) {
    decode_fields(d, p.first, p.second);
}

template <class T>
void encode(Encoder& e, const std::vector<T>& items) {
    e.length(items.size());
    for (const T& item : items) encode(e, item);
}
template <class T>
void decode(Decoder& d, std::vector<T>& items) {
    // A hostile count costs nothing up front: every element consumes at least
    // one byte, so a count beyond the data runs into its end while the
    // vector is still in proportion to the bytes read.
    static_assert(!std::is_empty_v<T>, "a list of zero-byte elements could claim 2^32 of them for free");
    items.clear();
    size_t n = d.length();
    for (size_t i = 0; i < n; ++i) {
        T item{};
        decode(d, item);
        items.push_back(std::move(item));
    }
}

// Maps: length, then key and value of each entry in iteration order.
template <class Map>
void encode_map(Encoder& e, const Map& map) {
    e.length(map.size());
    for (const auto& [key, value] : map) encode_fields(e, key, value);
}
// Calls `insert(K&&, V&&)` for each entry read, in file order.
template <class K, class V, class Insert>
void decode_map_entries(Decoder& d, Insert&& insert) {
    static_assert(!std::is_empty_v<K>, "map keys must consume bytes");
    size_t n = d.length();
    for (size_t i = 0; i < n; ++i) {
        K key{};
        V value{};
        decode_fields(d, key, value);
        insert(std::move(key), std::move(value));
    }
}
// Into a fresh map; a key that occurs twice keeps the value read last.
template <class Map>
void decode_map(Decoder& d, Map& map) {
    using K = typename Map::key_type;
    using V = typename Map::mapped_type;
    map.clear();
    decode_map_entries<K, V>(d, [&](K&& k, V&& v) { map.insert_or_assign(std::move(k), std::move(v)); });
}
// A set is stored as a map to the empty value.
template <class Set>
void encode_set(Encoder& e, const Set& set) {
    e.length(set.size());
    for (const auto& key : set) encode(e, key);
}
template <class Set>
void decode_set(Decoder& d, Set& set) {
    using K = typename Set::key_type;
    set.clear();
    decode_map_entries<K, Nothing>(d, [&](K&& k, Nothing&&) { set.insert(std::move(k)); });
}

// An entry is (instructions, permutation), so the pair codec covers it.
void encode(Encoder& e, const ECC& ecc);
void decode(Decoder& d, ECC& ecc);
// `eccs`, then `nqubits` as a 64-bit varint that must fit size_t.
void encode(Encoder& e, const ECCs& eccs);
void decode(Decoder& d, ECCs& eccs);

// --- files ------------------------------------------------------------------------

// Creates or truncates `path` and runs `body` on an encoder writing to it,
// then flushes and closes.  The file is closed on every path; after a failure
// it keeps whatever reached it.
void write_postcard_file(const std::string& path, const std::function<void(Encoder&)>& body);
// Opens `path` and runs `body` on a decoder reading from it.  Bytes after
// what `body` reads are never looked at.
void read_postcard_file(const std::string& path, const std::function<void(Decoder&)>& body);

template <class T>
void dump_postcard_file(const T& value, const std::string& path) {
    write_postcard_file(path, [&](Encoder& e) { encode(e, value); });
}
template <class T>
T load_postcard_file(const std::string& path) {
    T value{};
    read_postcard_file(path, [&](Decoder& d) { decode(d, value); });
    return value;
}

void dump_postcard(const ECCs& eccs, const std::string& path);
ECCs eccs_from_postcard(const std::string& path);

}  // namespace borvane
