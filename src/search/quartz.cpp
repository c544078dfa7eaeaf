#include "search/quartz.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#include "utils/errors.h"

namespace borvane {

// --- JsonWriter ---------------------------------------------------------------

void JsonWriter::before_value() {
    if (open_.empty()) {
        check(!done_, "JSON writer: a document holds a single top-level value");
        done_ = true;
        return;
    }
    Level& top = open_.back();
    if (top.object) {
        check(top.has_key, "JSON writer: an object member needs a key before its value");
        top.has_key = false;
        return;
    }
    if (!top.empty) out_ += ',';
    top.empty = false;
}

void JsonWriter::begin_array() {
    before_value();
    open_.push_back(Level{false});
    out_ += '[';
}

void JsonWriter::end_array() {
    check(!open_.empty() && !open_.back().object, "JSON writer: no array to close");
    open_.pop_back();
    out_ += ']';
}

void JsonWriter::begin_object() {
    before_value();
    open_.push_back(Level{true});
    out_ += '{';
}

void JsonWriter::end_object() {
    check(!open_.empty() && open_.back().object && !open_.back().has_key, "JSON writer: no object to close");
    open_.pop_back();
    out_ += '}';
}

void JsonWriter::key(std::string_view k) {
    check(!open_.empty() && open_.back().object && !open_.back().has_key,
          "JSON writer: a key belongs inside an object, before a value");
    Level& top = open_.back();
    if (!top.empty) {
        // string_view compares through char_traits<char>, that is as unsigned
        // bytes: the order Quartz's sorted maps use.
        check(std::string_view(top.last_key) < k, "JSON writer: object keys must be written in ascending order");
        out_ += ',';
    }
    top.empty = false;
    top.has_key = true;
    top.last_key.assign(k);
    append_json_string(out_, k);
    out_ += ':';
}

void JsonWriter::value(uint64_t v) {
    before_value();
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, res.ptr);
}

void JsonWriter::value(std::string_view s) {
    before_value();
    append_json_string(out_, s);
}

void JsonWriter::raw(std::string_view json) {
    before_value();
    out_ += json;
}

std::string JsonWriter::take() {
    check(open_.empty() && done_, "JSON writer: the document is incomplete");
    done_ = false;
    return std::move(out_);
}

void append_json_string(std::string& out, std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else {
                    // Bytes of multi-byte UTF-8 sequences are copied as they
                    // are: the document is UTF-8, not ASCII-escaped.
                    out += ch;
                }
        }
    }
    out += '"';
}

// --- variants -------------------------------------------------------------------

std::optional<EccVariant> EccSwapVariants::next() {
    const std::vector<EccEntry>& entries = ecc_->entries;
    while (pos_ < entries.size() && covered_[pos_]) ++pos_;
    if (pos_ == entries.size()) return std::nullopt;
    const Permut32 base = entries[pos_].second.inv();
    ++pos_;

    EccVariant variant;
    variant.reserve(entries.size());
    for (size_t j = 0; j < entries.size(); ++j) {
        const auto& [instrs, perm] = entries[j];
        const Permut32 rel = base * perm;
        // Entries with the same permutation as this variant's owner need no
        // swaps here and would only produce a duplicate variant of their own.
        if (rel.is_identity()) covered_[j] = true;
        std::vector<Instr32> swaps = rel.generate_swaps();
        std::vector<Instr32> circuit;
        circuit.reserve(instrs.size() + swaps.size());
        circuit.insert(circuit.end(), instrs.begin(), instrs.end());
        circuit.insert(circuit.end(), swaps.begin(), swaps.end());
        variant.push_back(std::move(circuit));
    }
    return variant;
}

// --- document -------------------------------------------------------------------

namespace {

void write_qubits(JsonWriter& w, Instr32 instr) {
    const QArgs16 q = instr.qargs();
    w.begin_array();
    for (unsigned k = 0; k < q.count(); ++k) {
        char buf[8] = {'Q'};
        auto res = std::to_chars(buf + 1, buf + sizeof buf, unsigned(q[k]));
        w.value(std::string_view(buf, size_t(res.ptr - buf)));
    }
    w.end_array();
}

std::string hex_index(size_t i) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, uint64_t(i), 16);  // lowercase digits
    return std::string(buf, res.ptr);
}

}  // namespace

std::string ecc_to_json(const EccVariant& variant) {
    JsonWriter w;
    w.begin_array();
    for (const std::vector<Instr32>& circuit : variant) {
        unsigned largest = 0;
        for (Instr32 instr : circuit) largest = std::max<unsigned>(largest, instr.largest_qubit());
        w.begin_array();
        w.begin_array();
        w.value(uint64_t(largest) + 1);
        w.value(uint64_t(circuit.size()));
        w.end_array();
        w.begin_array();
        for (Instr32 instr : circuit) {
            w.begin_array();
            w.value(instr.gate().display());
            // Quartz lists a gate's outputs and then its inputs; for a unitary
            // gate on named wires both are the same qubits.
            write_qubits(w, instr);
            write_qubits(w, instr);
            w.end_array();
        }
        w.end_array();
        w.end_array();
    }
    w.end_array();
    return w.take();
}

std::string as_quartz(const ECCs& eccs) {
    std::vector<std::pair<std::string, std::string>> members;
    for (size_t i = 0; i < eccs.eccs.size(); ++i) {
        const ECC& ecc = eccs.eccs[i];
        if (ecc.entries.size() < 2) continue;
        const std::string prefix = hex_index(i) + "_";
        EccSwapVariants variants = generate_ecc_with_swap(ecc);
        size_t j = 0;
        while (std::optional<EccVariant> v = variants.next())
            members.emplace_back(prefix + std::to_string(j++), ecc_to_json(*v));
    }
    // Keys are distinct (class index and variant number both differ or the
    // class does), so the sort needs no tie-break.
    std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    size_t total = 16;
    for (const auto& [k, v] : members) total += k.size() + v.size() + 4;
    JsonWriter w;
    w.reserve(total);
    w.begin_array();
    w.raw("[[0],[0]]");
    w.begin_object();
    for (auto& [k, v] : members) {
        w.key(k);
        w.raw(v);
        // Release each fragment once copied, so the document and its parts
        // are never both held in full.
        std::string().swap(v);
    }
    w.end_object();
    w.end_array();
    return w.take();
}

// --- file ---------------------------------------------------------------------------

namespace {

// Owns a descriptor on the paths that throw; the success path closes it
// itself so that a failing close is reported rather than lost.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

std::string os_error(int err) { return std::strerror(err); }

}  // namespace

void dump_quartz(const ECCs& eccs, const std::string& path) {
    const std::string doc = as_quartz(eccs);

    // A Python str may hold NUL; the C path would stop there and name another file.
    if (path.find('\0') != std::string::npos)
        throw IoError("Failed to create file: file name contained an unexpected NUL byte");
    FileDescriptor file{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
    if (file.fd < 0) throw IoError("Failed to create file: " + os_error(errno));

    // Plain write(2) on the finished document: with no user-space buffer in
    // between, every failure shows at the call that caused it instead of at
    // a later flush.
    const char* p = doc.data();
    size_t left = doc.size();
    while (left > 0) {
        ssize_t n = ::write(file.fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ValueError("Failed to write JSON: " + os_error(errno));
        }
        if (n == 0) throw ValueError("Failed to write JSON: the file accepted no more bytes");
        p += n;
        left -= size_t(n);
    }
    // Some file systems (NFS among them) report a failed write only at close.
    // EINTR is not a failure: Linux releases the descriptor anyway, and the
    // data were already handed to the kernel.
    if (::close(file.release()) != 0 && errno != EINTR)
        throw ValueError("Failed to write JSON: " + os_error(errno));
}

}  // namespace borvane
