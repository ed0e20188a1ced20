#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// True when `text` opens more than `limit` JSON arrays or objects at once (brackets inside
// strings do not count). Parsers of untrusted JSON refuse such text before parsing, so that
// hostile input cannot cost unbounded stack in anything that walks the tree. Malformed text
// may miscount; the parser refuses it anyway.
[[nodiscard]] bool jsonNestsDeeperThan(std::string_view text, std::size_t limit);

}  // namespace platform
