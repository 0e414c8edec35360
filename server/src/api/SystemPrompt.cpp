#include "api/SystemPrompt.h"

#include "http/HttpForms.h"

namespace pindle {

SystemPrompt SystemPrompt::decode(std::string_view header) {
    const SystemPrompt malformed{{}, "The system prompt is not valid percent-encoded UTF-8."};
    SystemPrompt prompt;
    for (size_t i = 0; i < header.size(); ++i) {
        if (prompt.text.size() == maxBytes)
            return {{}, "The system prompt is longer than 16 KiB."};
        const char c = header[i];
        if (c == '%') {
            if (header.size() - i < 3 || hexDigitValue(header[i + 1]) < 0 ||
                hexDigitValue(header[i + 2]) < 0)
                return malformed;
            prompt.text += char(hexDigitValue(header[i + 1]) * 16 + hexDigitValue(header[i + 2]));
            i += 2;
        } else if (c >= ' ' && c <= '~') {
            prompt.text += c;
        } else {
            return malformed;
        }
    }
    if (!isValidUtf8(prompt.text))
        return malformed;
    return prompt;
}

} // namespace pindle
