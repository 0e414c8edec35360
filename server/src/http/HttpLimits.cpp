#include "http/HttpLimits.h"

#include <algorithm>

namespace pindle {

std::size_t defaultConnectionCap(std::uint64_t fileLimit) {
    if (fileLimit > 128)
        return std::size_t(std::min<std::uint64_t>((fileLimit - 64) / 2, 4096));
    return std::size_t(std::max<std::uint64_t>(fileLimit / 4, 1));
}

} // namespace pindle
