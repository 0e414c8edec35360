#pragma once

#include "api/ApiContext.h"
#include "api/HttpExchange.h"

#include <memory>

namespace pindle {

// One handler per endpoint. Each answers through `responder`, at once or later from another
// thread; the route table in Api.cpp says which thread each runs on.
using Handler = void (*)(ApiContext &context, const HttpRequest &request,
                         const std::shared_ptr<Responder> &responder);

void signupForm(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
/// The account pages: GET shows the account signed in in this browser, or the sign-in form; each
/// POST takes one form of them and answers with the page it leads to.
void accountForm(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void accountSignIn(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void accountSignOut(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void accountPassword(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void accountSignOutEverywhere(ApiContext &, const HttpRequest &,
                              const std::shared_ptr<Responder> &);
void accountDelete(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
/// Sign-up from the page's form: answered with the page again.
void signUpFromForm(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
/// Sign-up from the client: answered with a session, as login is.
void signUpFromJson(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void login(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
/// Ends the bearer's session: 204 even when it had ended already.
void logout(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void me(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
/// The models on offer: {"models": [{"id", "name", "description", "vision"}], "default": id}, and
/// "anyModel": whether a model outside the list is passed on as asked.
void models(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void chat(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void transcribe(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);

} // namespace pindle
