// Form bodies as uploads and the sign-up page send them. The input's first line is the
// Content-Type header, the rest the body.
#include "http/HttpForms.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string_view contentType = input.substr(0, lineEnd);
    const std::string_view body =
        lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);
    (void)pindle::parseMultipart(contentType, body);
    (void)pindle::parseUrlEncoded(body);
    return 0;
}
