#pragma once

#include "Config.h"
#include "ModelOffer.h"
#include "ModelProvider.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace pindle {

/// The models on offer now. Fixed by the configuration, or read from the provider's GET /models:
/// then asked for at start, and again with the next request once a minute has passed since an
/// attempt that failed, so a provider that was down at start is picked up without a restart.
/// Used from any thread.
class ModelDirectory final {
public:
    ModelDirectory(const Config &config, ModelProvider &provider);

    /// The offer as it stands; an empty list while the provider's has not been read yet.
    [[nodiscard]] std::shared_ptr<const ModelOffer> current();

private:
    // Shared with the transfer under way, which may end after the directory.
    struct State {
        std::mutex mutex;
        std::shared_ptr<const ModelOffer> offer;
        bool asking = false;
        std::chrono::steady_clock::time_point lastAttempt;
    };

    void askIfDue(std::unique_lock<std::mutex> &lock);

    const Config &m_config;
    ModelProvider &m_provider;
    const std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace pindle
