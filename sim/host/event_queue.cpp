#include "sim/host/event_queue.h"

#include <cstdio>

namespace sim {

EventQueue::Id EventQueue::schedule(Millis delay, std::string label, Action action,
                                    bool background) {
    return scheduleAt(now_ + (delay > 0 ? delay : 0), std::move(label), std::move(action),
                      background);
}

EventQueue::Id EventQueue::scheduleAt(Millis at, std::string label, Action action,
                                      bool background) {
    const Id id = nextId_++;
    return add(Key{at < now_ ? now_ : at, false, id}, std::move(label), std::move(action),
               background);
}

EventQueue::Id EventQueue::scheduleAfterDue(Millis at, std::string label, Action action) {
    const Id id = nextId_++;
    return add(Key{at < now_ ? now_ : at, true, id}, std::move(label), std::move(action), false);
}

EventQueue::Id EventQueue::add(Key key, std::string label, Action action, bool background) {
    entries_.emplace(key, Entry{std::move(label), std::move(action), background});
    index_[std::get<2>(key)] = key;
    if (!background) {
        ++foreground_;
    }
    return std::get<2>(key);
}

bool EventQueue::cancel(Id id) {
    const auto found = index_.find(id);
    if (found == index_.end()) {
        return false;
    }
    const auto entry = entries_.find(found->second);
    if (!entry->second.background) {
        --foreground_;
    }
    entries_.erase(entry);
    index_.erase(found);
    return true;
}

bool EventQueue::runNext() {
    if (entries_.empty()) {
        return false;
    }
    auto first = entries_.begin();
    const Id id = std::get<2>(first->first);
    now_ = std::get<0>(first->first);
    Action action = std::move(first->second.action);
    if (!first->second.background) {
        --foreground_;
    }
    entries_.erase(first);
    index_.erase(id);
    action();
    return true;
}

void EventQueue::advanceTo(Millis at) {
    if (at > now_) {
        now_ = at;
    }
}

Millis EventQueue::nextTime() const {
    return entries_.empty() ? now_ : std::get<0>(entries_.begin()->first);
}

std::string EventQueue::nextLabel() const {
    return entries_.empty() ? std::string() : entries_.begin()->second.label;
}

void EventQueue::clear() {
    entries_.clear();
    index_.clear();
    foreground_ = 0;
}

std::string formatMillis(Millis ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03llds", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

} // namespace sim
