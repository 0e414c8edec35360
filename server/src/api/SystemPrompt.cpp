#include "api/SystemPrompt.h"

namespace pindle {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Well-formed UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool validUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        unsigned char low = 0x80, high = 0xbf; // the range of the second byte
        if (byte < 0x80) {
            length = 1;
        } else if (byte >= 0xc2 && byte <= 0xdf) {
            length = 2;
        } else if (byte >= 0xe0 && byte <= 0xef) {
            length = 3;
            low = byte == 0xe0 ? 0xa0 : 0x80;
            high = byte == 0xed ? 0x9f : 0xbf;
        } else if (byte >= 0xf0 && byte <= 0xf4) {
            length = 4;
            low = byte == 0xf0 ? 0x90 : 0x80;
            high = byte == 0xf4 ? 0x8f : 0xbf;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xbf))
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

SystemPrompt SystemPrompt::decode(std::string_view header) {
    const SystemPrompt malformed{{}, "The system prompt is not valid percent-encoded UTF-8."};
    SystemPrompt prompt;
    for (size_t i = 0; i < header.size(); ++i) {
        if (prompt.text.size() == maxBytes)
            return {{}, "The system prompt is longer than 16 KiB."};
        const char c = header[i];
        if (c == '%') {
            if (header.size() - i < 3 || hexValue(header[i + 1]) < 0 || hexValue(header[i + 2]) < 0)
                return malformed;
            prompt.text += char(hexValue(header[i + 1]) * 16 + hexValue(header[i + 2]));
            i += 2;
        } else if (c >= ' ' && c <= '~') {
            prompt.text += c;
        } else {
            return malformed;
        }
    }
    if (!validUtf8(prompt.text))
        return malformed;
    return prompt;
}

} // namespace pindle
