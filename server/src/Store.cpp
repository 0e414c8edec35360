#include "Store.h"

#include <chrono>

namespace pindle {

std::int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string normalizedEmail(std::string_view email) {
    std::string key(email);
    for (char &c : key) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return key;
}

} // namespace pindle
