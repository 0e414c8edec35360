#include "AccountPage.h"

#include "WebPage.h"
#include "http/HttpForms.h"

#include <algorithm>

namespace pindle {

namespace {

std::string messages(const std::string &error, const std::string &notice) {
    std::string html;
    if (!error.empty())
        html += "<p class=\"error\" role=\"alert\">" + escapeHtml(error) + "</p>\n";
    if (!notice.empty())
        html += "<p class=\"done\" role=\"status\">" + escapeHtml(notice) + "</p>\n";
    return html;
}

// The message of the view, when it belongs to `section`.
std::string messagesFor(const AccountView &view, AccountView::Section section) {
    return view.section == section ? messages(view.error, view.notice) : std::string();
}

std::string plan(const User &user) {
    std::string status = user.subscriptionStatus.empty() ? "none" : user.subscriptionStatus;
    if (status[0] >= 'a' && status[0] <= 'z')
        status[0] = char(status[0] - 'a' + 'A');
    if (user.subscriptionEnd && !user.subscriptionEnd->empty())
        status += ", until " + *user.subscriptionEnd;
    return escapeHtml(status);
}

std::string usageTable(const std::vector<DailyUsage> &usage) {
    if (usage.empty())
        return "<p class=\"note\">No tokens used in the last 30 days.</p>\n";
    std::int64_t total = 0, most = 1;
    for (const DailyUsage &day : usage) {
        total += day.tokens;
        most = std::max(most, day.tokens);
    }
    std::string html = "<p class=\"note\">" + groupedThousands(total) +
                       " tokens in all, by day (UTC), newest first.</p>\n"
                       "<table>\n<thead><tr><th>Day</th><th class=\"tokens\">Tokens</th>"
                       "<th></th></tr></thead>\n<tbody>\n";
    for (const DailyUsage &day : usage) {
        const std::string tokens = groupedThousands(day.tokens);
        html += "<tr><td>" + escapeHtml(day.day) + "</td><td class=\"tokens\">" + tokens +
                "</td><td class=\"bar\"><meter min=\"0\" max=\"" + std::to_string(most) +
                "\" value=\"" + std::to_string(day.tokens) + "\">" + tokens +
                "</meter></td></tr>\n";
    }
    return html + "</tbody>\n</table>\n";
}

} // namespace

std::string groupedThousands(std::int64_t number) {
    const std::string digits =
        std::to_string(number < 0 ? 0 - std::uint64_t(number) : std::uint64_t(number));
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return number < 0 ? '-' + grouped : grouped;
}

std::string accountPage(const AccountView &view) {
    const User &user = view.user;
    const std::string token = formTokenField(view.formToken);
    std::string body = "<header>\n<h1>Your Pindle account</h1>\n"
                       "<form method=\"post\" action=\"/account/signout\">\n" +
                       token +
                       "<button type=\"submit\" class=\"quiet\">Sign out</button>\n"
                       "</form>\n</header>\n";
    body += messagesFor(view, AccountView::Section::Top);
    body += "<dl>\n<dt>Name</dt><dd>" + escapeHtml(user.name) + "</dd>\n<dt>E-mail</dt><dd>" +
            escapeHtml(user.email) + "</dd>\n<dt>Plan</dt><dd>" + plan(user) +
            "</dd>\n<dt>Balance</dt><dd>" +
            groupedThousands(std::max<std::int64_t>(user.tokenBalance, 0)) +
            " tokens</dd>\n</dl>\n";

    body += "<h2>Usage in the last 30 days</h2>\n" + usageTable(view.usage);

    // The forms that answer with a message in their section ask the browser to scroll back to it.
    body += "<h2 id=\"password\">Change password</h2>\n" +
            messagesFor(view, AccountView::Section::Password) +
            "<p class=\"note\">Pindle on your other devices will then ask you to sign in "
            "again.</p>\n<form method=\"post\" action=\"/account/password#password\">\n" +
            token + "<input name=\"username\" type=\"email\" autocomplete=\"username\" value=\"" +
            escapeHtml(user.email) + R"html(" hidden>
<label for="current">Current password</label>
<input id="current" name="current" type="password" autocomplete="current-password" required>
<label for="new">New password</label>
<input id="new" name="new" type="password" autocomplete="new-password" required minlength="8">
<label for="again">New password again</label>
<input id="again" name="again" type="password" autocomplete="new-password" required minlength="8">
<button type="submit">Change password</button>
</form>
)html";

    body += "<h2>Sign out everywhere</h2>\n"
            "<p class=\"note\">Ends every session of this account: in this browser and in Pindle "
            "on all your devices.</p>\n"
            "<form method=\"post\" action=\"/account/signout-everywhere\">\n" +
            token +
            "<button type=\"submit\" class=\"quiet\">Sign out everywhere</button>\n</form>\n";

    body += "<h2 id=\"delete\">Delete account</h2>\n" +
            messagesFor(view, AccountView::Section::Delete) +
            "<p class=\"note\">Deletes the account with your name, e-mail address and password, "
            "and signs it out everywhere. Its remaining tokens are lost. This cannot be "
            "undone.</p>\n"
            "<form method=\"post\" action=\"/account/delete#delete\">\n" +
            token + "<label for=\"confirm\">Type " + escapeHtml(user.email) +
            " to confirm</label>\n"
            "<input id=\"confirm\" name=\"confirm\" type=\"email\" autocomplete=\"off\" "
            "required>\n"
            "<button type=\"submit\" class=\"danger\">Delete account and data</button>\n"
            "</form>\n";
    return webPage("Your Pindle account", body, true);
}

std::string signInPage(const std::string &formToken, const std::string &error,
                       const std::string &notice, const std::string &email, bool signupOpen) {
    std::string body = "<h1>Sign in to your account</h1>\n"
                       "<p class=\"lead\">See your balance and usage, change your password, or "
                       "delete the account.</p>\n";
    body += messages(error, notice);
    body += "<form method=\"post\" action=\"/account/signin\">\n" + formTokenField(formToken) +
            "<label for=\"email\">E-mail</label>\n"
            "<input id=\"email\" name=\"email\" type=\"email\" autocomplete=\"username\" required "
            "value=\"" +
            escapeHtml(email) + R"html(">
<label for="password">Password</label>
<input id="password" name="password" type="password" autocomplete="current-password" required>
<button type="submit">Sign in</button>
</form>
)html";
    if (signupOpen)
        body += "<p class=\"alt\">No account yet? <a href=\"/signup\">Create one</a></p>\n";
    return webPage("Sign in to your Pindle account", body);
}

std::string accountDeletedPage(const std::string &email, bool signupOpen) {
    std::string body = "<h1>Account deleted</h1>\n<p class=\"done\" role=\"status\">The account " +
                       escapeHtml(email) +
                       " and its data are gone. Pindle is signed out on all your devices.</p>\n";
    if (signupOpen)
        body += "<p class=\"alt\"><a href=\"/signup\">Create a new account</a></p>\n";
    return webPage("Account deleted", body);
}

} // namespace pindle
