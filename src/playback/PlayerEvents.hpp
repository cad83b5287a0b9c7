#pragma once

#include "templates/TemplateLoader.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace kalvotune::playback {

/// Something the player did that others follow.
struct PlayerEvent {
    enum class Kind {
        /// A track began to play from its start; `track` and `templateState` say which and with what.
        TrackStarted,
        /// The open track was closed: it played to its end, or the player moved on from it.
        TrackEnded,
        /// The play position jumped (a seek) to `positionMs`; its steady advance is no event.
        PositionMoved,
    };
    Kind kind{};
    std::filesystem::path track;
    templates::TemplateState templateState{templates::TemplateState::None};
    std::int64_t positionMs{};
};

/// The player's subscribers. Each hears every event, in the order they subscribed, on the
/// thread that publishes (the window's). A subscription ends with its handle.
class PlayerEvents {
public:
    using Listener = std::function<void(const PlayerEvent&)>;

    /// Ends its listener's subscription when destroyed; may outlive the publisher.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept { *this = std::move(other); }
        Subscription& operator=(Subscription&& other) noexcept;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription() { End(); }
        void End();

    private:
        friend class PlayerEvents;
        struct Entry;
        std::weak_ptr<std::vector<std::shared_ptr<Entry>>> m_list;
        std::shared_ptr<Entry> m_entry;
    };

    [[nodiscard]] Subscription Subscribe(Listener listener);
    /// Tells every subscriber; a listener may subscribe or end a subscription meanwhile.
    void Publish(const PlayerEvent& event) const;

private:
    std::shared_ptr<std::vector<std::shared_ptr<Subscription::Entry>>> m_listeners{
        std::make_shared<std::vector<std::shared_ptr<Subscription::Entry>>>()};
};

} // namespace kalvotune::playback
