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
/// Sign-up from the page's form: answered with the page again.
void signUpFromForm(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
/// Sign-up from the client: answered with a session, as login is.
void signUpFromJson(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void login(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
/// Ends the bearer's session: 204 even when it had ended already.
void logout(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void me(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void chat(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);
void transcribe(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &);

} // namespace pindle
