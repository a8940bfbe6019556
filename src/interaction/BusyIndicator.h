// BusyIndicator: how the interaction layer tells the shell that a long recomputation runs.
#pragma once

#include <functional>
#include <utility>

/// Marks a recomputation long enough for the user to wait on (a field solve, the simulator
/// set-up). The shell shows a busy cursor between begin and end; calls nest.
class BusyIndicator {
   public:
    virtual ~BusyIndicator() = default;
    virtual void beginBusy() = 0;
    virtual void endBusy() = 0;
};

/// An indicator that runs the functions it was given: how a window layer above this one supplies
/// its busy cursor (the functions are its own; nothing here calls up into it by name).
class FunctionBusyIndicator : public BusyIndicator {
   public:
    FunctionBusyIndicator(std::function<void()> begin, std::function<void()> end)
        : m_begin(std::move(begin)), m_end(std::move(end)) {}
    void beginBusy() override {
        if (m_begin) m_begin();
    }
    void endBusy() override {
        if (m_end) m_end();
    }

   private:
    std::function<void()> m_begin;
    std::function<void()> m_end;
};

namespace busyindicator_detail {
inline BusyIndicator*& current() {
    static BusyIndicator* indicator = nullptr;
    return indicator;
}
}  // namespace busyindicator_detail

/// Installs the indicator BusyScope uses (nullptr: none); returns the previous one. The caller
/// keeps the object alive while installed.
inline BusyIndicator* setBusyIndicator(BusyIndicator* indicator) {
    BusyIndicator* previous = busyindicator_detail::current();
    busyindicator_detail::current() = indicator;
    return previous;
}

/// The indicator installed now (nullptr: none).
inline BusyIndicator* busyIndicator() { return busyindicator_detail::current(); }

/// Holds the installed busy indicator (if any) busy while it lives.
class BusyScope {
   public:
    BusyScope() : m_indicator(busyindicator_detail::current()) {
        if (m_indicator) m_indicator->beginBusy();
    }
    ~BusyScope() {
        if (m_indicator) m_indicator->endBusy();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    BusyIndicator* m_indicator;
};
