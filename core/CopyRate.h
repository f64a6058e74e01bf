#pragma once

// The lines under a copy, the same in the window and on a terminal: the live line while it
// runs, "3,120 / 8,432 个文件，41.2 / 128.1 MB，55.0 MB/s，约剩 2 秒", the line that says how
// it ended, and the check's line before it.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace FunSub {

struct CopyPlan;

// The rate of the last few seconds, so that it follows a copy that speeds up or slows down.
class CopyRate {
public:
    // What is done at `seconds` since the copy started.
    void Add(double seconds, std::int64_t files, std::int64_t bytes);
    double BytesPerSecond() const;
    double FilesPerSecond() const;

private:
    struct Sample {
        double seconds;
        std::int64_t files;
        std::int64_t bytes;
    };
    std::deque<Sample> m_samples;
};

// The time a copy has run, less the time it was paused: what its rate is taken over.
class RunningClock {
public:
    using Clock = std::chrono::steady_clock;
    // Starts at 0, running.
    void Start(Clock::time_point now = Clock::now());
    // Stops counting until Resume; a second Pause, or a Resume while running, does nothing.
    void Pause(Clock::time_point now = Clock::now());
    void Resume(Clock::time_point now = Clock::now());
    // Counts `seconds` as paused, for a pause learnt of after it ended (a stopped process).
    void AddPaused(double seconds);
    bool Paused() const { return m_pausedAt.has_value(); }
    // Seconds run since Start, pauses left out.
    double Seconds(Clock::time_point now = Clock::now()) const;
    // Seconds paused since Start, the pause in progress included.
    double PausedSeconds(Clock::time_point now = Clock::now()) const;

private:
    Clock::time_point m_start = Clock::now();
    double m_paused = 0;
    std::optional<Clock::time_point> m_pausedAt;
};

// Totals below 0 are not known (a copy that was not checked first): what is done is shown alone.
std::string ProgressLine(std::int64_t filesDone, std::int64_t filesTotal, std::int64_t bytesDone,
                         std::int64_t bytesTotal, const CopyRate& rate);

// The line of a paused copy: what is done, with neither rate nor time left, "已暂停：3,120 /
// 8,432 个文件，41.2 / 128.1 MB"; `what` goes between, as "已校验 " while it is read back.
std::string PausedLine(std::int64_t filesDone, std::int64_t filesTotal, std::int64_t bytesDone,
                       std::int64_t bytesTotal, const std::string& what = {});

enum class CopyEnd { Finished, Stopped, Failed };

// The line that stays once the copy is over: what was done, at the average rate over the
// whole `seconds` it ran, without a time left, led by how it ended and followed by the
// number of items it passed over: "过滤复制已停止：9,592 / 29,403 个文件，154.1 / 162.7 MB，
// 142.6 MB/s", "过滤复制失败：已复制 3 / 5 个文件，4 / 8 B", "5 / 6 个文件，31 / 38 B，2 项未复制".
std::string EndLine(CopyEnd end, std::int64_t filesDone, std::int64_t filesTotal,
                    std::int64_t bytesDone, std::int64_t bytesTotal, double seconds,
                    std::int64_t skipped);

// What the check found, for the line above the copy: PlanText and the files the rules leave
// out (where the plan knows them), led by the number of problems that will end the copy when
// it does not go on past what it cannot copy.
std::string CheckLine(const CopyPlan& plan, bool keepGoing);

}  // namespace FunSub
