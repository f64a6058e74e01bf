#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

// Long work of a window (reading a big tree, a check, a comparison) on a thread of its own,
// while the window goes on painting and answering. Work that ends within a moment is shown at
// once, as if it had been done in place; longer work comes back on the window's thread when it
// ends. A run that is abandoned (another started, the window left) is told to stop and its
// result is never delivered. Whatever the work reads must be its own copy.
class Background : public QObject {
public:
    // Told to the work: set when its result is no longer wanted.
    using Stop = const std::atomic<bool>&;

    explicit Background(QObject* parent = nullptr);
    // Stops every run and waits for it.
    ~Background() override;

    // Starts `work`, abandoning a run in progress. `done` runs on this object's thread once
    // `work` has ended, with what it threw (null when nothing): before Start returns when the
    // work ends within the moment the window waits for it, else later.
    void Start(std::function<void(Stop)> work, std::function<void(std::exception_ptr)> done);
    // Tells the run in progress to stop; its `done` is never called.
    void Abandon();
    bool Running() const { return m_current != nullptr; }

    // How long a window waits for its work before it goes on without it.
    static void SetMoment(std::chrono::milliseconds moment);
    // Runs of every Background whose end has not yet come back to its window's thread
    // (tests wait for them).
    static int InFlight();

private:
    struct Run;
    void Deliver(const std::shared_ptr<Run>& run);
    void Reap();

    std::shared_ptr<Run> m_current;
    std::vector<std::shared_ptr<Run>> m_abandoned;  // joined once they have ended
    int m_inFlight = 0;
};
