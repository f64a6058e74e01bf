#pragma once

#include <atomic>

namespace FunSub {

// How long work learns that it is no longer wanted: a flag that another thread sets, read
// where the work can end early. A token without a flag is never stopped.
class StopToken {
public:
    // Never stopped.
    StopToken() = default;
    // Stopped once `flag` is set; never when it is null. The flag must outlive the work.
    explicit StopToken(const std::atomic<bool>* flag) : m_flag(flag) {}

    // Whether the stop has been asked for.
    bool requested() const { return m_flag && m_flag->load(std::memory_order_relaxed); }

private:
    const std::atomic<bool>* m_flag = nullptr;
};

}  // namespace FunSub
