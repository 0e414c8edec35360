// The account pages in a browser: signing in and out, the account's balance and usage, a new
// password, signing out everywhere, and deleting the account.
#include "AccountPage.h"
#include "Credentials.h"
#include "api/BrowserPages.h"
#include "api/Handlers.h"
#include "api/PasswordCheck.h"
#include "api/SameOrigin.h"
#include "http/HttpForms.h"

#include <map>

namespace pindle {

namespace {

constexpr std::int64_t secondsPerDay = 24 * 3600;

// One request to the account pages: what the browser's cookies and the posted form hold, and
// the answers it may get.
class Visit final {
public:
    Visit(ApiContext &context, const HttpRequest &request,
          const std::shared_ptr<Responder> &responder)
        : m_context(context)
        , m_request(request)
        , m_responder(responder)
        , m_secure(securePage(context, request))
        , m_formToken(FormToken::fromCookie(request, m_secure))
        , m_session(SessionCookie::fromRequest(request, m_secure))
        , m_fields(parseUrlEncoded(request.body)) {
        // The form token stays the one the browser holds, so that pages open in several tabs
        // all work.
        if (m_formToken.empty())
            m_formToken = newSessionToken();
    }

    [[nodiscard]] std::string field(const std::string &name) const {
        const auto found = m_fields.find(name);
        return found == m_fields.end() ? std::string() : found->second;
    }
    [[nodiscard]] bool secure() const { return m_secure; }
    [[nodiscard]] const std::string &session() const { return m_session; }

    /// The account this browser is signed in to.
    [[nodiscard]] std::optional<User> user() const {
        if (m_session.empty())
            return std::nullopt;
        return m_context.store.findSessionUser(hashSessionToken(m_session), nowSeconds());
    }

    /// Answers a form that did not come from this server's own page with its token (another site
    /// can make a browser post here, with its cookies, but can neither name this server as its
    /// origin nor read the token); true when it did.
    bool refusedAsForged() const {
        const std::string own = ownOrigin(m_request, m_context.config.trustedProxies);
        if (sentFromOwnPage(m_request, own) &&
            FormToken::matches(FormToken::fromCookie(m_request, m_secure), field("csrf")))
            return false;
        constexpr auto expired = "This form has expired or was sent from another website. "
                                 "Reload the page and try again.";
        if (const std::optional<User> signedIn = user())
            showAccount(403, *signedIn, AccountView::Section::Top, expired);
        else
            showSignIn(403, expired);
        return true;
    }

    /// The account signed in here, or nothing once the visitor has been told that the session
    /// has ended.
    [[nodiscard]] std::optional<User> signedInOrTold() const {
        std::optional<User> signedIn = user();
        if (!signedIn)
            showSignIn(401, "Your session has ended. Please sign in again.", {}, {},
                       {SessionCookie::cleared(m_secure)});
        return signedIn;
    }

    /// The account a form of its own page was posted for; nothing once the visitor has been
    /// answered (a forged form, an ended session).
    [[nodiscard]] std::optional<User> accountForm() const {
        if (refusedAsForged())
            return std::nullopt;
        return signedInOrTold();
    }

    void showSignIn(int status, const std::string &error, const std::string &notice = {},
                    const std::string &email = {}, std::vector<std::string> cookies = {}) const {
        show(status, signInPage(m_formToken, error, notice, email, m_context.config.signupOpen),
             std::move(cookies));
    }

    /// The account page, with `error` or `notice` above `section` of it.
    void showAccount(int status, const User &user,
                     AccountView::Section section = AccountView::Section::Top,
                     const std::string &error = {}, const std::string &notice = {},
                     std::vector<std::string> cookies = {}) const {
        const std::int64_t today = nowSeconds() / secondsPerDay;
        AccountView view;
        view.user = user;
        view.usage = m_context.store.usageByDay(user.id, (today - 29) * secondsPerDay);
        view.formToken = m_formToken;
        view.section = section;
        view.error = error;
        view.notice = notice;
        show(status, accountPage(view), std::move(cookies));
    }

    void show(int status, std::string page, std::vector<std::string> cookies = {}) const {
        cookies.insert(cookies.begin(), FormToken::setCookie(m_formToken, m_secure));
        m_responder->reply(pageResponse(status, std::move(page), cookies));
    }

private:
    ApiContext &m_context;
    const HttpRequest &m_request;
    const std::shared_ptr<Responder> &m_responder;
    bool m_secure;
    std::string m_formToken;
    std::string m_session;
    std::map<std::string, std::string> m_fields;
};

} // namespace

void accountForm(ApiContext &context, const HttpRequest &request,
                 const std::shared_ptr<Responder> &responder) {
    const Visit visit(context, request, responder);
    if (const std::optional<User> user = visit.user())
        return visit.showAccount(200, *user);
    visit.showSignIn(200, {});
}

// Counted with the client's sign-ins: a guess costs the same here as there.
void accountSignIn(ApiContext &context, const HttpRequest &request,
                   const std::shared_ptr<Responder> &responder) {
    const Visit visit(context, request, responder);
    if (visit.refusedAsForged())
        return;
    const std::string email = visit.field("email");
    const std::string password = visit.field("password");
    if (email.empty() || password.empty() || email.size() > 254 || password.size() > 1024)
        return visit.showSignIn(400, "Please enter your e-mail address and password.", {}, email);
    const PasswordCheck check = checkPassword(context, email, password, request.clientAddress);
    if (check.outcome == PasswordCheck::Outcome::TooManyFailures)
        return visit.showSignIn(429, "Too many failed sign-ins. Try again in 15 minutes.", {},
                                email);
    if (check.outcome == PasswordCheck::Outcome::Wrong)
        return visit.showSignIn(401, "Invalid e-mail or password.", {}, email);
    // A session this browser held before is replaced, not left behind.
    if (!visit.session().empty())
        context.store.deleteSession(hashSessionToken(visit.session()));
    const std::int64_t now = nowSeconds();
    const std::string token = context.sessionFor(*check.user);
    visit.showAccount(
        200, *check.user, AccountView::Section::Top, {}, {},
        {SessionCookie::set(token, visit.secure(), context.config.sessionExpiry(now) - now)});
}

void accountSignOut(ApiContext &context, const HttpRequest &request,
                    const std::shared_ptr<Responder> &responder) {
    const Visit visit(context, request, responder);
    if (visit.refusedAsForged())
        return;
    if (!visit.session().empty())
        context.store.deleteSession(hashSessionToken(visit.session()));
    visit.showSignIn(200, {}, "You are signed out.", {}, {SessionCookie::cleared(visit.secure())});
}

// The current password goes through the sign-in limits: a stolen browser session must not
// become a way to guess it. The browser's own session stays; every other one ends.
void accountPassword(ApiContext &context, const HttpRequest &request,
                     const std::shared_ptr<Responder> &responder) {
    const Visit visit(context, request, responder);
    const std::optional<User> user = visit.accountForm();
    if (!user)
        return;
    const auto fail = [&](int status, const std::string &message) {
        visit.showAccount(status, *user, AccountView::Section::Password, message);
    };
    const std::string current = visit.field("current");
    const std::string fresh = visit.field("new");
    if (current.empty())
        return fail(400, "Please enter your current password.");
    if (fresh != visit.field("again"))
        return fail(400, "The new passwords do not match. Type the same one twice.");
    if (!isValidUtf8(fresh))
        return fail(400, "Passwords must be valid UTF-8 text.");
    if (const auto problem = passwordProblem(fresh))
        return fail(400, *problem);
    const PasswordCheck check = checkPassword(context, user->email, current, request.clientAddress);
    if (check.outcome == PasswordCheck::Outcome::TooManyFailures)
        return fail(429, "Too many wrong passwords. Try again in 15 minutes.");
    if (check.outcome == PasswordCheck::Outcome::Wrong)
        return fail(401, "The current password is not right. Your password is unchanged.");
    if (!context.store.setPasswordHash(user->id, context.hasher.hash(fresh),
                                       hashSessionToken(visit.session())))
        return visit.showSignIn(401, "Your session has ended. Please sign in again.");
    visit.showAccount(200, *user, AccountView::Section::Password, {}, "Your password is changed.");
}

void accountSignOutEverywhere(ApiContext &context, const HttpRequest &request,
                              const std::shared_ptr<Responder> &responder) {
    const Visit visit(context, request, responder);
    const std::optional<User> user = visit.accountForm();
    if (!user)
        return;
    context.store.deleteSessions(user->email);
    visit.showSignIn(200, {},
                     "You are signed out everywhere: in this browser and in Pindle on all your "
                     "devices.",
                     user->email, {SessionCookie::cleared(visit.secure())});
}

void accountDelete(ApiContext &context, const HttpRequest &request,
                   const std::shared_ptr<Responder> &responder) {
    const Visit visit(context, request, responder);
    const std::optional<User> user = visit.accountForm();
    if (!user)
        return;
    const auto fail = [&](int status, const std::string &message) {
        visit.showAccount(status, *user, AccountView::Section::Delete, message);
    };
    if (normalizedEmail(trimmed(visit.field("confirm"))) != normalizedEmail(user->email))
        return fail(400, "To delete the account, type its e-mail address, " + user->email +
                             ", in the box. Nothing was deleted.");
    if (context.store.deleteUser(user->email).outcome == Deletion::Outcome::AnswersUnderWay)
        return fail(409, "Pindle is still writing an answer for this account. Try again once it "
                         "has finished. Nothing was deleted.");
    visit.show(200, accountDeletedPage(user->email, context.config.signupOpen),
               {SessionCookie::cleared(visit.secure())});
}

} // namespace pindle
