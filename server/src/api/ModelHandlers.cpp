// The models a signed-in client may choose from.
#include "api/Handlers.h"
#include "api/JsonReplies.h"

namespace pindle {

void models(ApiContext &context, const HttpRequest &request,
            const std::shared_ptr<Responder> &responder) {
    if (!context.authenticate(request))
        return responder->reply(errorResponse(401, "Session expired. Please sign in again."));
    const std::shared_ptr<const ModelOffer> offer = context.models.current();
    if (offer->models.empty()) {
        HttpResponse later = errorResponse(
            503, "The server is still asking its model provider which models it has. Try again "
                 "in a minute.");
        later.headers.emplace_back("Retry-After", "60");
        return responder->reply(std::move(later));
    }
    responder->reply(jsonResponse(200, offer->toJson()));
}

} // namespace pindle
