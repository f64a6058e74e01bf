#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace FunSub {

// A pause of work on other threads: the threads wait at the places where they may rest (between
// two parts of a file, before the next file, directory or comparison) while it is closed, and go
// on when it opens again or their work is stopped. It counts the work in progress, so that the
// one who closed it learns when nothing is being done any more. It holds no file and no lock of
// its own while closed: what the work has open stays open, and is no one else's business.
class PauseGate {
public:
    // Work that reaches a place to rest from now on waits there.
    void Pause() {
        const std::lock_guard lock(m_mutex);
        m_paused = true;
    }
    // Lets every waiting thread go on.
    void Resume() {
        {
            const std::lock_guard lock(m_mutex);
            m_paused = false;
        }
        m_changed.notify_all();
    }
    // Wakes the waiting threads to look at their stop flag again: called after a stop is set.
    void Wake() {
        { const std::lock_guard lock(m_mutex); }
        m_changed.notify_all();
    }
    // Whether a pause is asked for.
    bool Paused() const {
        const std::lock_guard lock(m_mutex);
        return m_paused;
    }
    // Whether a pause is asked for and no work is in progress: every thread waits or is idle.
    bool Resting() const {
        const std::lock_guard lock(m_mutex);
        return m_paused && m_working == 0;
    }

    // Waits while paused, unless `stop` is set (or becomes set: a stop that no one woke the gate
    // for is still seen within a moment).
    void Pass(const std::atomic<bool>* stop) {
        std::unique_lock lock(m_mutex);
        WaitOpen(lock, stop);
    }
    // Passes, then counts as work in progress until Leave.
    void Enter(const std::atomic<bool>* stop) {
        std::unique_lock lock(m_mutex);
        WaitOpen(lock, stop);
        ++m_working;
    }
    void Leave() {
        const std::lock_guard lock(m_mutex);
        --m_working;
    }
    // Within work in progress: waits while paused, not counted as working meanwhile.
    void Rest(const std::atomic<bool>* stop) {
        std::unique_lock lock(m_mutex);
        if (!m_paused)
            return;
        --m_working;
        WaitOpen(lock, stop);
        ++m_working;
    }

private:
    void WaitOpen(std::unique_lock<std::mutex>& lock, const std::atomic<bool>* stop) {
        const auto stopped = [stop] { return stop && stop->load(std::memory_order_relaxed); };
        while (m_paused && !stopped()) m_changed.wait_for(lock, std::chrono::milliseconds(100));
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_paused = false;
    int m_working = 0;
};

// How long work learns that it is no longer wanted: a flag that another thread sets, read
// where the work can end early; and, when it has one, the gate at which the work rests while
// it is paused. A token without a flag is never stopped; one without a gate never pauses.
class StopToken {
public:
    // Never stopped.
    StopToken() = default;
    // Stopped once `flag` is set; never when it is null. The flag must outlive the work.
    explicit StopToken(const std::atomic<bool>* flag) : m_flag(flag) {}
    // The same stop, and paused by `gate`, which must outlive the work.
    StopToken(const StopToken& stop, PauseGate* gate) : m_flag(stop.m_flag), m_gate(gate) {}

    // Whether the stop has been asked for.
    bool requested() const { return m_flag && m_flag->load(std::memory_order_relaxed); }

    // Within a piece of work (a Working scope): waits while paused, unless stopped.
    void Rest() const {
        if (m_gate)
            m_gate->Rest(m_flag);
    }
    // Outside any piece of work: waits while paused, unless stopped.
    void Pass() const {
        if (m_gate)
            m_gate->Pass(m_flag);
    }

    // A piece of work (a file, a directory, a comparison, a sync) in progress while it lives:
    // it begins only while not paused, and the gate does not count as resting until it ends or
    // rests.
    class Working {
    public:
        explicit Working(const StopToken& token) : m_gate(token.m_gate) {
            if (m_gate)
                m_gate->Enter(token.m_flag);
        }
        ~Working() {
            if (m_gate)
                m_gate->Leave();
        }
        Working(const Working&) = delete;
        Working& operator=(const Working&) = delete;

    private:
        PauseGate* m_gate;
    };

private:
    const std::atomic<bool>* m_flag = nullptr;
    PauseGate* m_gate = nullptr;
};

}  // namespace FunSub
