#include "SignupPage.h"

#include "WebPage.h"
#include "http/HttpForms.h"

namespace pindle {

namespace {

constexpr auto form = R"html(<form method="post" action="/signup">
@TOKEN@<label for="name">Name</label>
<input id="name" name="name" autocomplete="name" required maxlength="200" value="@NAME@">
<label for="email">E-mail</label>
<input id="email" name="email" type="email" autocomplete="email" required value="@EMAIL@">
<label for="password">Password</label>
<input id="password" name="password" type="password" autocomplete="new-password" required minlength="8">
<button type="submit">Create account</button>
</form>
<p class="alt">Already have an account? <a href="/account">Sign in</a></p>
)html";

} // namespace

std::string signupPage(const std::string &formToken, const std::string &error,
                       const std::string &createdEmail, const std::string &name,
                       const std::string &email) {
    std::string body = "<h1>Create your Pindle account</h1>\n";
    if (!createdEmail.empty()) {
        body += "<p class=\"done\">Your account " + escapeHtml(createdEmail) +
                " is ready. Sign in from Pindle with this e-mail address and your password.</p>\n"
                "<p class=\"alt\"><a href=\"/account\">Go to your account</a></p>\n";
    } else {
        body +=
            "<p class=\"lead\">One account for the Pindle assistant on all your desktops.</p>\n";
        if (!error.empty())
            body += "<p class=\"error\" role=\"alert\">" + escapeHtml(error) + "</p>\n";
        std::string filled = form;
        filled.replace(filled.find("@TOKEN@"), 7, formTokenField(formToken));
        filled.replace(filled.find("@NAME@"), 6, escapeHtml(name));
        filled.replace(filled.find("@EMAIL@"), 7, escapeHtml(email));
        body += filled;
    }
    return webPage("Create your Pindle account", body);
}

} // namespace pindle
