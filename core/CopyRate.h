#pragma once

// The live line under a running copy, the same in the window and on a terminal:
// "3,120 / 8,432 个文件，41.2 / 128.1 MB，55.0 MB/s，约剩 2 秒".

#include <cstdint>
#include <deque>
#include <string>

namespace FunSub {

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

// Totals below 0 are not known (a copy that was not checked first): what is done is shown alone.
std::string ProgressLine(std::int64_t filesDone, std::int64_t filesTotal, std::int64_t bytesDone,
                         std::int64_t bytesTotal, const CopyRate& rate);

}  // namespace FunSub
