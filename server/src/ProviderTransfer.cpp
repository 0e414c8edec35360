#include "ProviderTransfer.h"

#include "http/HttpForms.h"

#include <string>
#include <string_view>

namespace pindle {

namespace {

// Empties `value` and gives its memory back, which clear() does not.
template <typename Value> void release(Value &value) {
    Value().swap(value);
}

} // namespace

ProviderTransfer::~ProviderTransfer() {
    if (mime)
        curl_mime_free(mime);
    if (headers)
        curl_slist_free_all(headers);
    if (easy)
        curl_easy_cleanup(easy);
}

void ProviderTransfer::reportStatus() {
    if (statusReported)
        return;
    statusReported = true;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &head.status);
    if (handlers.onStatus)
        handlers.onStatus(head);
    release(head.fields);
}

// Each line of the head: the status is reported when the final head is complete, before any of
// the body has come (a reasoning model may take minutes to send its first event).
size_t ProviderTransfer::header(char *data, size_t size, size_t count, void *self) {
    auto &transfer = *static_cast<ProviderTransfer *>(self);
    const std::string_view line(data, size * count);
    transfer.lastHeard = Clock::now();
    if (transfer.statusReported) // trailers
        return line.size();
    if (line.starts_with("HTTP/")) {
        transfer.head.fields.clear();
    } else if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) // not an interim 1xx head
            transfer.reportStatus();
        else
            transfer.head.fields.clear();
    } else if (const auto colon = line.find(':');
               colon != std::string_view::npos && transfer.head.fields.size() < 100) {
        transfer.head.fields.emplace_back(
            lowercase(line.substr(0, colon)),
            std::string(trimmed(line.substr(colon + 1).substr(0, 4096))));
    }
    return line.size();
}

size_t ProviderTransfer::write(char *data, size_t size, size_t count, void *self) {
    auto &transfer = *static_cast<ProviderTransfer *>(self);
    transfer.lastHeard = Clock::now();
    transfer.reportStatus();
    if (transfer.handlers.onData &&
        !transfer.handlers.onData(std::string_view(data, size * count))) {
        transfer.abandoned = true;
        return 0; // ends the transfer
    }
    return size * count;
}

void ProviderTransfer::setUp() {
    easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    for (const std::string &field : request.headers)
        headers = curl_slist_append(headers, field.c_str());
    // A reverse proxy in between must not hold the stream back.
    headers = curl_slist_append(headers, "X-Accel-Buffering: no");
    headers = curl_slist_append(headers, "Expect:");
    if (request.get) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (!request.form.empty()) {
        mime = curl_mime_init(easy);
        for (const auto &part : request.form) {
            curl_mimepart *field = curl_mime_addpart(mime);
            curl_mime_name(field, part.name.c_str());
            curl_mime_data(field, part.value.data(), part.value.size());
            if (!part.fileName.empty())
                curl_mime_filename(field, part.fileName.c_str());
            if (!part.contentType.empty())
                curl_mime_type(field, part.contentType.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_MIMEPOST, mime);
    } else {
        headers = curl_slist_append(headers, "Content-Type: application/json");
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ProviderTransfer::header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ProviderTransfer::write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    // Asked for as it is; should the provider compress it all the same, libcurl decodes gzip and
    // deflate (as it does for any encoding it knows once this option is set), a piece at a time,
    // so a stream is not held back.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "identity");
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 15L);
    curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
    // What one read from the provider's socket takes in. A streamed answer comes as events of a
    // few hundred bytes each, so libcurl's 16 KiB (held by every open transfer) sat mostly idle:
    // at 1 KiB an open stream costs the server about 3 KiB less, and a longer reply still
    // arrives whole, a few reads at a time.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 1024L);
    // libcurl keeps copies of these; only the JSON body is read from here while it goes out.
    release(request.url);
    release(request.headers);
    release(request.form);
}

} // namespace pindle
