#include "ui/Background.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

struct Background::Run {
    std::atomic<bool> stop{false};
    std::function<void(std::exception_ptr)> done;
    std::exception_ptr failure;
    bool delivered = false;
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;  // under `mutex`
    std::thread thread;
    QEventLoop* answering = nullptr;  // while the window answers for the moment
};

namespace {
std::atomic<int> g_inFlight{0};
std::atomic<std::chrono::milliseconds::rep> g_moment{150};
}  // namespace

Background::Background(Mode mode, QObject* parent) : QObject(parent), m_mode(mode) {}

Background::~Background() {
    Forget();
    for (const auto& run : m_abandoned) run->thread.join();
    g_inFlight -= m_inFlight;  // their ends will not come back
}

void Background::SetMoment(std::chrono::milliseconds moment) {
    g_moment = moment.count();
}

int Background::InFlight() {
    return g_inFlight;
}

void Background::Start(std::function<void(Stop)> work,
                       std::function<void(std::exception_ptr)> done) {
    if (m_mode == Mode::Awaiting && m_current)
        throw std::logic_error("a run that must be waited for is still in progress");
    Abandon();
    Reap();
    auto run = std::make_shared<Run>();
    run->done = std::move(done);
    m_current = run;
    ++m_inFlight;
    ++g_inFlight;
    run->thread = std::thread([this, run, work = std::move(work)] {
        try {
            work(Stop(&run->stop));
        } catch (...) {
            run->failure = std::current_exception();
        }
        {
            const std::lock_guard lock(run->mutex);
            run->ended = true;
        }
        run->endedSignal.notify_all();
        // Back on the window's thread; a run abandoned or delivered meanwhile brings nothing.
        QMetaObject::invokeMethod(
            this, [this, run] { Deliver(run); }, Qt::QueuedConnection);
    });
    if (m_mode == Mode::Awaiting)
        AnswerForTheMoment(run);
    else
        WaitTheMoment(run);
}

void Background::WaitTheMoment(const std::shared_ptr<Run>& run) {
    std::unique_lock lock(run->mutex);
    if (run->endedSignal.wait_for(lock, std::chrono::milliseconds(g_moment.load()),
                                  [&] { return run->ended; })) {
        lock.unlock();
        Deliver(run);
    }
}

// The window takes its events meanwhile: the stop of an awaited run comes from them. Its end
// comes back as an event too, which ends the wait.
void Background::AnswerForTheMoment(const std::shared_ptr<Run>& run) {
    const std::chrono::milliseconds moment(g_moment.load());
    if (moment.count() <= 0)
        return;
    QEventLoop answering;
    QTimer::singleShot(moment, &answering, &QEventLoop::quit);
    run->answering = &answering;
    answering.exec();
    run->answering = nullptr;
}

void Background::Deliver(const std::shared_ptr<Run>& run) {
    if (run->delivered)
        return;
    run->delivered = true;
    if (run->answering)
        run->answering->quit();
    --m_inFlight;
    --g_inFlight;
    if (run != m_current)
        return;
    m_current.reset();
    run->thread.join();
    run->done(run->failure);
}

void Background::Abandon() {
    if (m_mode == Mode::Awaiting)
        RequestStop();
    else
        Forget();
}

void Background::RequestStop() {
    if (m_current)
        m_current->stop = true;
}

void Background::Forget() {
    if (!m_current)
        return;
    m_current->stop = true;
    m_abandoned.push_back(std::move(m_current));
    m_current.reset();
}

void Background::Reap() {
    std::erase_if(m_abandoned, [](const std::shared_ptr<Run>& run) {
        {
            const std::lock_guard lock(run->mutex);
            if (!run->ended)
                return false;
        }
        run->thread.join();
        return true;
    });
}
