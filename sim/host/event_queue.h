// The simulator's one event loop on a virtual clock. Everything that happens
// later (host events, time-outs, gateway replies, customer actions) is an
// entry here; the loop runs them one at a time in time order, entries due at
// the same time in the order they were scheduled, except that an entry
// scheduled "after what is due" waits for every other entry of its time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <tuple>

namespace sim {

using Millis = std::int64_t;

class EventQueue {
  public:
    using Action = std::function<void()>;
    using Id = std::uint64_t;

    // Background entries (the periodic timer) do not keep a run alive.
    Id schedule(Millis delay, std::string label, Action action, bool background = false);
    Id scheduleAt(Millis at, std::string label, Action action, bool background = false);
    // At that time, once everything else due then has run (what a person
    // typing at that moment would see): a scenario's timed actions.
    Id scheduleAfterDue(Millis at, std::string label, Action action);
    bool cancel(Id id);
    bool pending(Id id) const { return index_.count(id) != 0; }

    // Moves the clock to the earliest entry and runs it; false when empty.
    bool runNext();
    // Moves the clock forward without running anything (never backwards).
    void advanceTo(Millis at);

    bool empty() const { return entries_.empty(); }
    bool hasForeground() const { return foreground_ > 0; }
    Millis now() const { return now_; }
    // Time of the earliest entry; now() when empty.
    Millis nextTime() const;
    std::string nextLabel() const;
    void clear();

  private:
    struct Entry {
        std::string label;
        Action action;
        bool background;
    };
    using Key = std::tuple<Millis, bool, Id>; // time, after what is due, order
    Id add(Key key, std::string label, Action action, bool background);

    std::map<Key, Entry> entries_;
    std::map<Id, Key> index_;
    Millis now_ = 0;
    Id nextId_ = 1;
    std::size_t foreground_ = 0;
};

// "12.345s" for a virtual time.
std::string formatMillis(Millis ms);

} // namespace sim
