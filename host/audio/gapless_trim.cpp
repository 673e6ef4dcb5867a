#include "audio/gapless_trim.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace cvnhost {

namespace {

// Hours of priming or a length past any track's are no gapless information.
constexpr uint64_t kMostSamples = uint64_t{1} << 40;

// A whole field of hexadecimal digits, at most kMostSamples.
std::optional<int64_t> hexField(const std::string& field) {
    if (field.empty() || field.size() > 16 ||
        field.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return std::nullopt;
    }
    const uint64_t value = std::strtoull(field.c_str(), nullptr, 16);
    return value <= kMostSamples ? std::optional<int64_t>(static_cast<int64_t>(value)) : std::nullopt;
}

} // namespace

std::optional<GaplessTrim> parseITunSmpb(const std::string& text) {
    std::istringstream fields(text);
    std::string reserved, priming, padding, length;
    if (!(fields >> reserved >> priming >> padding >> length)) {
        return std::nullopt;
    }
    const std::optional<int64_t> primingValue = hexField(priming);
    const std::optional<int64_t> paddingValue = hexField(padding);
    const std::optional<int64_t> lengthValue = hexField(length);
    if (!primingValue || !paddingValue || !lengthValue || *lengthValue == 0) {
        return std::nullopt;
    }
    return GaplessTrim{*primingValue, *paddingValue, *lengthValue};
}

} // namespace cvnhost
