#include "api/ModelDirectory.h"

#include "Log.h"
#include "api/ProviderReplies.h"

namespace pindle {

namespace {

constexpr std::chrono::seconds retryAfter{60};
// Far more than a list of a few hundred models takes.
constexpr size_t maxListBytes = 4 * 1024 * 1024;

} // namespace

ModelDirectory::ModelDirectory(const Config &config, ModelProvider &provider)
    : m_config(config)
    , m_provider(provider) {
    std::unique_lock lock(m_state->mutex);
    m_state->offer = std::make_shared<const ModelOffer>(config.models);
    m_state->lastAttempt = std::chrono::steady_clock::now() - retryAfter;
    askIfDue(lock);
}

std::shared_ptr<const ModelOffer> ModelDirectory::current() {
    std::unique_lock lock(m_state->mutex);
    askIfDue(lock);
    return m_state->offer;
}

void ModelDirectory::askIfDue(std::unique_lock<std::mutex> &lock) {
    const auto now = std::chrono::steady_clock::now();
    if (!m_config.modelsFromProvider || !m_config.providerConfigured() ||
        !m_state->offer->models.empty() || m_state->asking ||
        now - m_state->lastAttempt < retryAfter)
        return;
    m_state->asking = true;
    m_state->lastAttempt = now;
    lock.unlock(); // a provider may answer at once, on this thread

    ProviderRequest call = providerCall(m_config, "/models");
    call.get = true;
    call.silenceLimit = std::chrono::seconds(30);
    struct Reading {
        long status = 0;
        std::string body;
    };
    auto reading = std::make_shared<Reading>();
    ProviderHandlers handlers;
    handlers.onStatus = [reading](const ProviderHead &head) { reading->status = head.status; };
    handlers.onData = [reading](std::string_view bytes) {
        if (reading->body.size() + bytes.size() > maxListBytes)
            return false;
        reading->body.append(bytes);
        return true;
    };
    handlers.onDone = [weak = std::weak_ptr(m_state), reading, vision = m_config.visionModels,
                       preferred = m_config.models.defaultId](const std::string &error) {
        std::string problem = error;
        std::optional<ModelOffer> offer;
        if (problem.empty() && reading->status != 200)
            problem = "it answered with status " + std::to_string(reading->status);
        if (problem.empty())
            offer = ModelOffer::fromProviderList(reading->body, vision, preferred, problem);
        if (error == providerStopped)
            return; // the server is stopping
        if (offer)
            logLine("offering the provider's " + std::to_string(offer->models.size()) +
                    " models; new users start on " + offer->defaultId);
        else
            logLine("could not read the provider's list of models (GET /models): " + problem +
                    "; asking again with a request after " + std::to_string(retryAfter.count()) +
                    " seconds");
        const std::shared_ptr<State> state = weak.lock();
        if (!state)
            return;
        std::lock_guard relock(state->mutex);
        state->asking = false;
        if (offer)
            state->offer = std::make_shared<const ModelOffer>(std::move(*offer));
    };
    m_provider.start(std::move(call), std::move(handlers));
    lock.lock();
}

} // namespace pindle
