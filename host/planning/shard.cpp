#include "planning/shard.h"

#include "share/fnv1a.h"

#include <charconv>

namespace cvnhost {

std::optional<Shard> parseShard(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    Shard shard;
    const char* end = text.data() + text.size();
    const auto index = std::from_chars(text.data(), text.data() + slash, shard.index);
    const auto count = std::from_chars(text.data() + slash + 1, end, shard.count);
    if (index.ec != std::errc() || index.ptr != text.data() + slash || count.ec != std::errc() ||
        count.ptr != end || shard.index < 1 || shard.index > shard.count) {
        return std::nullopt;
    }
    return shard;
}

bool belongsToShard(const std::string& input, const Shard& shard) {
    return share::fnv1a(share::kFnv1aBasis, input.data(), input.size()) % shard.count == shard.index - 1;
}

} // namespace cvnhost
