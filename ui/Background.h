#pragma once

#include <QObject>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "core/StopToken.h"

// Long work of a window (reading a big tree, a check, a comparison, a copy) on a thread of its
// own, while the window goes on painting and answering. Work that ends within a moment is
// shown at once, as if it had been done in place; longer work comes back on the window's
// thread when it ends. Whatever the work reads must be its own copy, or outlive the
// Background.
class Background : public QObject {
public:
    // Told to the work: asked for when its result is no longer wanted.
    using Stop = FunSub::StopToken;

    // What becomes of a run that its window no longer wants.
    enum class Mode {
        // Told to stop and forgotten: another run started, the window left. Its `done` is
        // never called (a reading, a check, a comparison).
        Abandoning,
        // Never abandoned: it is asked to stop and its `done` still comes, and the window goes
        // on answering while it waits for the moment, so that the stop can be asked for
        // meanwhile (a copy, whose end the window must always hear of).
        Awaiting,
    };

    // A Background whose runs, once unwanted, end as `mode` says.
    explicit Background(Mode mode = Mode::Abandoning, QObject* parent = nullptr);
    // Stops every run and waits for it; no `done` is called then.
    ~Background() override;

    // Starts `work`, abandoning a run in progress (an awaiting Background refuses to start
    // while one runs). `done` runs on this object's thread once `work` has ended, with what
    // it threw (null when nothing): before Start returns when the work ends within the moment
    // the window waits for it, else later.
    void Start(std::function<void(Stop)> work, std::function<void(std::exception_ptr)> done);
    // Tells the run in progress to stop. An abandoning Background forgets it: its `done` is
    // never called. An awaiting one only asks, as RequestStop does.
    void Abandon();
    // Tells the run in progress to stop; its `done` still comes once it has ended.
    void RequestStop();
    bool Running() const { return m_current != nullptr; }

    // How long a window waits for its work before it goes on without it.
    static void SetMoment(std::chrono::milliseconds moment);
    // Runs of every Background whose end has not yet come back to its window's thread
    // (tests wait for them).
    static int InFlight();

private:
    struct Run;
    void WaitTheMoment(const std::shared_ptr<Run>& run);
    void AnswerForTheMoment(const std::shared_ptr<Run>& run);
    void Deliver(const std::shared_ptr<Run>& run);
    void Forget();
    void Reap();

    Mode m_mode;
    std::shared_ptr<Run> m_current;
    std::vector<std::shared_ptr<Run>> m_abandoned;  // joined once they have ended
    int m_inFlight = 0;
};
