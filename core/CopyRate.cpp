#include "core/CopyRate.h"

#include <algorithm>
#include <cmath>

#include "core/CheckCopy.h"
#include "core/FunSub.h"

namespace FunSub {
namespace {

constexpr double kWindowSeconds = 3.0;

std::string TimeLeftText(double seconds) {
    const auto s = static_cast<std::int64_t>(std::ceil(seconds));
    if (s < 60)
        return std::to_string(s) + " 秒";
    if (s < 3600)
        return std::to_string(s / 60) + " 分 " + std::to_string(s % 60) + " 秒";
    return std::to_string(s / 3600) + " 小时 " + std::to_string(s % 3600 / 60) + " 分";
}

// What is done, against the totals when they are known, and the rate when there is one.
std::string DoneText(std::int64_t filesDone, std::int64_t filesTotal, std::int64_t bytesDone,
                     std::int64_t bytesTotal, double bytesPerSecond) {
    const bool totals = filesTotal >= 0 && bytesTotal >= 0;
    std::string line = totals ? FormatThousands(filesDone) + " / " + FormatThousands(filesTotal) +
                                    " 个文件，" + SizeNumber(bytesDone, bytesTotal) + " / " +
                                    SizeText(bytesTotal)
                              : FormatThousands(filesDone) + " 个文件，" + SizeText(bytesDone);
    if (bytesPerSecond > 0)
        line += "，" + SizeText(static_cast<std::int64_t>(bytesPerSecond)) + "/s";
    return line;
}

}  // namespace

void CopyRate::Add(double seconds, std::int64_t files, std::int64_t bytes) {
    m_samples.push_back(Sample{seconds, files, bytes});
    while (m_samples.size() > 2 && m_samples[1].seconds <= seconds - kWindowSeconds)
        m_samples.pop_front();
}

double CopyRate::BytesPerSecond() const {
    if (m_samples.size() < 2)
        return 0;
    const double span = m_samples.back().seconds - m_samples.front().seconds;
    return span > 0 ? static_cast<double>(m_samples.back().bytes - m_samples.front().bytes) / span
                    : 0;
}

double CopyRate::FilesPerSecond() const {
    if (m_samples.size() < 2)
        return 0;
    const double span = m_samples.back().seconds - m_samples.front().seconds;
    return span > 0 ? static_cast<double>(m_samples.back().files - m_samples.front().files) / span
                    : 0;
}

std::string ProgressLine(std::int64_t filesDone, std::int64_t filesTotal, std::int64_t bytesDone,
                         std::int64_t bytesTotal, const CopyRate& rate) {
    const bool totals = filesTotal >= 0 && bytesTotal >= 0;
    const double bytesPerSecond = rate.BytesPerSecond();
    std::string line = DoneText(filesDone, filesTotal, bytesDone, bytesTotal, bytesPerSecond);
    if (bytesPerSecond <= 0 || !totals)
        return line;
    // What is left, at the rate that matters more for it: bytes for large files, files for
    // many small ones.
    double left = static_cast<double>(bytesTotal - bytesDone) / bytesPerSecond;
    const double filesPerSecond = rate.FilesPerSecond();
    if (filesPerSecond > 0)
        left = std::max(left, static_cast<double>(filesTotal - filesDone) / filesPerSecond);
    return line + "，约剩 " + TimeLeftText(std::max(left, 0.0));
}

std::string PausedLine(std::int64_t filesDone, std::int64_t filesTotal, std::int64_t bytesDone,
                       std::int64_t bytesTotal, const std::string& what) {
    return "已暂停：" + what + DoneText(filesDone, filesTotal, bytesDone, bytesTotal, 0);
}

void RunningClock::Start(Clock::time_point now) {
    m_start = now;
    m_paused = 0;
    m_pausedAt.reset();
}

void RunningClock::Pause(Clock::time_point now) {
    if (!m_pausedAt)
        m_pausedAt = now;
}

void RunningClock::Resume(Clock::time_point now) {
    if (!m_pausedAt)
        return;
    m_paused += std::chrono::duration<double>(now - *m_pausedAt).count();
    m_pausedAt.reset();
}

void RunningClock::AddPaused(double seconds) {
    m_paused += std::max(seconds, 0.0);
}

double RunningClock::Seconds(Clock::time_point now) const {
    const double total = std::chrono::duration<double>(now - m_start).count();
    return std::max(total - PausedSeconds(now), 0.0);
}

double RunningClock::PausedSeconds(Clock::time_point now) const {
    const double current =
        m_pausedAt ? std::chrono::duration<double>(now - *m_pausedAt).count() : 0.0;
    return m_paused + current;
}

std::string EndLine(CopyEnd end, std::int64_t filesDone, std::int64_t filesTotal,
                    std::int64_t bytesDone, std::int64_t bytesTotal, double seconds,
                    std::int64_t skipped) {
    const double bytesPerSecond = seconds > 0 ? static_cast<double>(bytesDone) / seconds : 0;
    std::string line = DoneText(filesDone, filesTotal, bytesDone, bytesTotal, bytesPerSecond);
    if (end == CopyEnd::Stopped)
        line = "过滤复制已停止：" + line;
    else if (end == CopyEnd::Failed)
        line = "过滤复制失败：已复制 " + line;
    if (skipped > 0)
        line += "，" + FormatThousands(skipped) + " 项未复制";
    return line;
}

std::string CheckLine(const CopyPlan& plan, bool keepGoing) {
    std::int64_t stopping = 0;
    for (const CopyProblem& p : plan.problems) {
        if (!keepGoing && !p.blocking && StopsCopy(p.kind))
            ++stopping;
    }
    std::string line = PlanText(plan);
    if (plan.ruleFiles >= 0)
        line += "，规则滤除 " + FormatThousands(plan.ruleFiles) + " 个文件";
    if (stopping == 0)
        return line;
    return "有 " + FormatThousands(stopping) + " 个问题会中止复制；" + line;
}

}  // namespace FunSub
