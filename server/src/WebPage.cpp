#include "WebPage.h"

#include "http/HttpForms.h"

#include <sodium.h>

namespace pindle {

namespace {

// The one style sheet: the policy names it by its hash, so any change here is covered at once.
constexpr std::string_view style = R"css(
  body { font: 16px/1.5 system-ui, sans-serif; background: #f3f4f6; color: #111827; margin: 0; }
  main { max-width: 380px; margin: 10vh auto; background: #fff; padding: 32px; border-radius: 12px;
         box-shadow: 0 4px 24px rgba(0,0,0,.08); }
  main.wide { max-width: 560px; margin-top: 6vh; margin-bottom: 6vh; }
  @media (max-width: 480px) { main, main.wide { margin: 0; border-radius: 0; padding: 24px; } }
  h1 { font-size: 22px; margin: 0 0 4px; }
  h2 { font-size: 17px; margin: 32px 0 8px; padding-top: 24px; border-top: 1px solid #e5e7eb; }
  p { margin: 8px 0; }
  p.lead, p.note { color: #4b5563; }
  p.lead { margin: 0 0 24px; }
  p.alt { text-align: center; font-size: 14px; color: #4b5563; margin: 24px 0 0; }
  a { color: #1d4ed8; }
  label { display: block; font-size: 14px; font-weight: 600; margin: 16px 0 6px; }
  input { width: 100%; box-sizing: border-box; padding: 10px 12px; font: inherit;
          border: 1px solid #d1d5db; border-radius: 8px; }
  button { width: 100%; margin-top: 24px; padding: 11px; font: inherit; font-weight: 600;
           color: #fff; background: #2563eb; border: 0; border-radius: 8px; cursor: pointer; }
  button.quiet { color: #1f2937; background: #fff; border: 1px solid #d1d5db; }
  button.danger { background: #b91c1c; }
  .error { background: #fef2f2; color: #b91c1c; padding: 10px 12px; border-radius: 8px; }
  .done { background: #ecfdf5; color: #047857; padding: 12px; border-radius: 8px; }
  header { display: flex; justify-content: space-between; align-items: flex-start; gap: 16px; }
  header button { width: auto; margin: 0; padding: 6px 14px; font-size: 14px;
                  white-space: nowrap; }
  dl { display: grid; grid-template-columns: max-content 1fr; gap: 6px 20px; margin: 20px 0 0; }
  dt { color: #4b5563; }
  dd { margin: 0; font-weight: 600; overflow-wrap: anywhere; }
  table { width: 100%; border-collapse: collapse; font-size: 14px; margin-top: 8px; }
  th { text-align: left; color: #4b5563; font-weight: 600; padding: 4px 0;
       border-bottom: 1px solid #e5e7eb; }
  td { padding: 5px 0; border-bottom: 1px solid #f3f4f6; }
  .tokens { text-align: right; padding-right: 16px; font-variant-numeric: tabular-nums;
            white-space: nowrap; }
  td.bar { width: 45%; }
  meter { display: block; width: 100%; height: 10px; appearance: none; border: 0;
          border-radius: 5px; background: #e5e7eb; }
  meter::-webkit-meter-bar { height: 10px; border: 0; border-radius: 5px; background: #e5e7eb; }
  meter::-webkit-meter-optimum-value { border-radius: 5px; background: #3b82f6; }
  meter::-moz-meter-bar { border-radius: 5px; background: #3b82f6; }
)css";

} // namespace

std::string webPage(std::string_view title, std::string_view body, bool wide) {
    std::string page = R"html(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)html";
    page += escapeHtml(title);
    page += "</title>\n<style>";
    page += style;
    page += "</style>\n</head>\n<body>\n";
    page += wide ? "<main class=\"wide\">\n" : "<main>\n";
    page += body;
    return page + "</main>\n</body>\n</html>\n";
}

const std::string &webPagePolicy() {
    static const std::string policy = [] {
        // A browser applies an inline style only when its text hashes to one the policy names.
        unsigned char digest[crypto_hash_sha256_BYTES];
        crypto_hash_sha256(digest, reinterpret_cast<const unsigned char *>(style.data()),
                           style.size());
        char encoded[sodium_base64_ENCODED_LEN(sizeof digest, sodium_base64_VARIANT_ORIGINAL)];
        sodium_bin2base64(encoded, sizeof encoded, digest, sizeof digest,
                          sodium_base64_VARIANT_ORIGINAL);
        return "default-src 'none'; style-src 'sha256-" + std::string(encoded) +
               "'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";
    }();
    return policy;
}

std::string formTokenField(const std::string &token) {
    return "<input type=\"hidden\" name=\"csrf\" value=\"" + escapeHtml(token) + "\">\n";
}

} // namespace pindle
