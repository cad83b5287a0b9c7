#include "playback/PlayerEvents.hpp"

#include <algorithm>

namespace kalvotune::playback {

struct PlayerEvents::Subscription::Entry {
    Listener listener;
    bool ended{};
};

PlayerEvents::Subscription& PlayerEvents::Subscription::operator=(Subscription&& other) noexcept
{
    if (this != &other) {
        End();
        m_list = std::move(other.m_list);
        m_entry = std::move(other.m_entry);
    }
    return *this;
}

void PlayerEvents::Subscription::End()
{
    if (!m_entry)
        return;
    m_entry->ended = true;
    if (const auto list = m_list.lock())
        std::erase(*list, m_entry);
    m_entry.reset();
}

PlayerEvents::Subscription PlayerEvents::Subscribe(Listener listener)
{
    Subscription subscription;
    subscription.m_entry = std::make_shared<Subscription::Entry>(Subscription::Entry{std::move(listener)});
    subscription.m_list = m_listeners;
    m_listeners->push_back(subscription.m_entry);
    return subscription;
}

void PlayerEvents::Publish(const PlayerEvent& event) const
{
    // A copy: a listener may change the list, and one that ended meanwhile hears no more.
    const std::vector<std::shared_ptr<Subscription::Entry>> listeners = *m_listeners;
    for (const auto& entry : listeners)
        if (!entry->ended)
            entry->listener(event);
}

} // namespace kalvotune::playback
