// FmtJoin: the display helper behind the text forms.  It writes the items of
// a sequence separated by a separator, optionally between an opening and a
// closing text, and writes nothing at all for an empty sequence.
#pragma once

#include <string>
#include <string_view>

namespace borvane {

// `write(out, item)` appends one item's text to `out`.
template <class Range, class Write>
void fmt_join(std::string& out, const Range& items, std::string_view sep, Write write,
              std::string_view open = {}, std::string_view close = {}) {
    auto it = std::begin(items);
    auto end = std::end(items);
    if (it == end) return;
    out += open;
    write(out, *it);
    for (++it; it != end; ++it) {
        out += sep;
        write(out, *it);
    }
    out += close;
}

template <class Range, class Write>
std::string fmt_join(const Range& items, std::string_view sep, Write write,
                     std::string_view open = {}, std::string_view close = {}) {
    std::string out;
    fmt_join(out, items, sep, write, open, close);
    return out;
}

}  // namespace borvane
