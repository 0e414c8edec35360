#include "Store.h"

namespace pindle {

std::string normalizedEmail(std::string_view email) {
    std::string key(email);
    for (char &c : key) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return key;
}

} // namespace pindle
