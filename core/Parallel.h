#pragma once

// Work on many independent items, spread over a few threads: the calling thread and up to
// `threads` - 1 more. An exception ends the work and is raised again on the calling thread.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace FunSub {

// The threads a walk over many directories takes: as many as the machine has cores, at most 4.
inline unsigned WalkThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

// Calls `work(i)` for every i below `count`, or until `stopped()` says so.
template <class Work, class Stopped>
void ParallelFor(std::size_t count, unsigned threads, Work work, Stopped stopped) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto worker = [&] {
        try {
            for (std::size_t i; !stopped() && (i = next++) < count;) work(i);
        } catch (...) {
            const std::lock_guard lock(failureMutex);
            failure = std::current_exception();
            next = count;
        }
    };
    std::vector<std::thread> helpers;
    threads = static_cast<unsigned>(
        std::min<std::size_t>(std::max(threads, 1u), std::max<std::size_t>(count, 1)));
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(worker);
    worker();
    for (std::thread& t : helpers) t.join();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace FunSub
