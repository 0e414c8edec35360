#include "SignupPage.h"

#include "http/HttpForms.h"

#include <sodium.h>

#include <string_view>

namespace pindle {

namespace {

constexpr auto head = R"html(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Create your Pindle account</title>
<style>
  body { font: 16px/1.5 system-ui, sans-serif; background: #f3f4f6; color: #111827; margin: 0; }
  main { max-width: 380px; margin: 10vh auto; background: #fff; padding: 32px; border-radius: 12px;
         box-shadow: 0 4px 24px rgba(0,0,0,.08); }
  h1 { font-size: 22px; margin: 0 0 4px; }
  p.lead { color: #6b7280; margin: 0 0 24px; }
  label { display: block; font-size: 14px; font-weight: 600; margin: 16px 0 6px; }
  input { width: 100%; box-sizing: border-box; padding: 10px 12px; font: inherit;
          border: 1px solid #d1d5db; border-radius: 8px; }
  button { width: 100%; margin-top: 24px; padding: 11px; font: inherit; font-weight: 600;
           color: #fff; background: #2563eb; border: 0; border-radius: 8px; cursor: pointer; }
  .error { background: #fef2f2; color: #b91c1c; padding: 10px 12px; border-radius: 8px; }
  .done { background: #ecfdf5; color: #047857; padding: 12px; border-radius: 8px; }
</style>
</head>
<body>
<main>
<h1>Create your Pindle account</h1>
)html";

constexpr auto form = R"html(<form method="post" action="/signup">
<input type="hidden" name="csrf" value="@TOKEN@">
<label for="name">Name</label>
<input id="name" name="name" autocomplete="name" required maxlength="200" value="@NAME@">
<label for="email">E-mail</label>
<input id="email" name="email" type="email" autocomplete="email" required value="@EMAIL@">
<label for="password">Password</label>
<input id="password" name="password" type="password" autocomplete="new-password" required minlength="8">
<button type="submit">Create account</button>
</form>
)html";

} // namespace

std::string signupPage(const std::string &formToken, const std::string &error,
                       const std::string &createdEmail, const std::string &name,
                       const std::string &email) {
    std::string page = head;
    if (!createdEmail.empty()) {
        page += "<p class=\"done\">Your account " + escapeHtml(createdEmail) +
                " is ready. Sign in from Pindle with this e-mail address and your password.</p>\n";
    } else {
        page +=
            "<p class=\"lead\">One account for the Pindle assistant on all your desktops.</p>\n";
        if (!error.empty())
            page += "<p class=\"error\" role=\"alert\">" + escapeHtml(error) + "</p>\n";
        std::string filled = form;
        filled.replace(filled.find("@TOKEN@"), 7, escapeHtml(formToken));
        filled.replace(filled.find("@NAME@"), 6, escapeHtml(name));
        filled.replace(filled.find("@EMAIL@"), 7, escapeHtml(email));
        page += filled;
    }
    return page + "</main>\n</body>\n</html>\n";
}

const std::string &signupPagePolicy() {
    static const std::string policy = [] {
        // A browser runs an inline style only when its text hashes to one the policy names.
        const std::string_view text(head);
        const size_t start = text.find("<style>") + 7;
        const std::string_view style = text.substr(start, text.find("</style>") - start);
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

} // namespace pindle
