#include "ui/Background.h"

#include <QMetaObject>
#include <thread>

struct Background::Run {
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::thread thread;
};

namespace {
std::atomic<int> g_inFlight{0};
}  // namespace

Background::Background(QObject* parent) : QObject(parent) {}

Background::~Background() {
    Abandon();
    for (const auto& run : m_abandoned) run->thread.join();
    g_inFlight -= m_inFlight;  // their ends will not come back
}

int Background::InFlight() {
    return g_inFlight;
}

void Background::Start(std::function<void(Stop)> work,
                       std::function<void(std::exception_ptr)> done) {
    Abandon();
    Reap();
    auto run = std::make_shared<Run>();
    m_current = run;
    ++m_inFlight;
    ++g_inFlight;
    run->thread = std::thread([this, run, work = std::move(work), done = std::move(done)]() mutable {
        std::exception_ptr failure;
        try {
            work(run->stop);
        } catch (...) {
            failure = std::current_exception();
        }
        run->ended = true;
        // Back on the window's thread; a run abandoned meanwhile delivers nothing.
        QMetaObject::invokeMethod(
            this,
            [this, run, done = std::move(done), failure] {
                --m_inFlight;
                --g_inFlight;
                if (run != m_current)
                    return;
                m_current.reset();
                run->thread.join();
                done(failure);
            },
            Qt::QueuedConnection);
    });
}

void Background::Abandon() {
    if (!m_current)
        return;
    m_current->stop = true;
    m_abandoned.push_back(std::move(m_current));
    m_current.reset();
}

void Background::Reap() {
    std::erase_if(m_abandoned, [](const std::shared_ptr<Run>& run) {
        if (!run->ended)
            return false;
        run->thread.join();
        return true;
    });
}
