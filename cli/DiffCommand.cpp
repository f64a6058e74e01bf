// quillmere-cli diff: what the comparison window shows, how a target differs from its source.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "cli/CliCommon.h"
#include "core/FunSub.h"
#include "core/TargetDiff.h"

namespace Cli {

namespace {

// How many files have been read, on a terminal's stderr about ten times a second.
class ReadingLine {
public:
    ReadingLine() : m_shown(isatty(STDERR_FILENO) == 1) {}
    ~ReadingLine() {
        if (m_drawn)
            std::fputs("\r\033[K", stderr);
    }

    void Update(std::int64_t files) {
        if (!m_shown)
            return;
        const std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (now < m_next)
            return;
        m_next = now + std::chrono::milliseconds(100);
        const std::string line =
            "\r\033[K正在读取源目录和目标目录：" + FunSub::FormatThousands(files) + " 个文件";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        m_drawn = true;
    }

private:
    bool m_shown;
    bool m_drawn = false;
    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_next{};
};

std::string JsonTotals(const FunSub::DiffTotals& t) {
    return "\"files\":" + std::to_string(t.files) + ",\"bytes\":" + std::to_string(t.bytes) +
           ",\"directories\":" + std::to_string(t.directories);
}

std::string JsonEntry(const FunSub::DiffEntry& e, bool changed) {
    std::string json = "{\"path\":" + JsonString(e.path) +
                       ",\"directory\":" + (e.directory ? "true" : "false") +
                       ",\"size\":" + std::to_string(e.size);
    if (changed) {
        json += ",\"target_size\":" + std::to_string(e.targetSize) +
                ",\"source_newer\":" + (e.sourceNewer ? "true" : "false");
    }
    return json + "}";
}

std::string JsonGroup(const FunSub::DiffGroup& group, bool changed = false) {
    std::string json = "{" + JsonTotals(group.totals) + ",\"items\":[";
    for (std::size_t i = 0; i < group.entries.size(); ++i)
        json += (i ? "," : "") + JsonEntry(group.entries[i], changed);
    return json + "]}";
}

// The groups of what the filter left out: those of types ({"type":".o",...}) or those of
// the other rules ({"rule":"dir:node_modules",...}).
std::string JsonLeftOut(const FunSub::TargetDiff& d, bool types) {
    std::string json = "[";
    for (const FunSub::LeftOutType& t : d.leftOut) {
        if (t.type.empty() == types)
            continue;
        json += std::string(json.size() > 1 ? "," : "") +
                (types ? "{\"type\":" + JsonString(t.type) : "{\"rule\":" + JsonString(t.rule)) +
                "," + JsonGroup(t.files).substr(1);
    }
    return json + "]";
}

std::string Json(const std::string& source, const std::string& target,
                 const FunSub::TargetDiff& d) {
    std::string json = "{\"source\":" + JsonString(source) + ",\"target\":" + JsonString(target) +
                       ",\"same\":" + (d.Same() ? "true" : "false") +
                       ",\"incomplete\":" + (d.targetIncomplete ? "true" : "false") +
                       ",\"unreadable\":{\"source\":" + std::to_string(d.sourceUnreadable) +
                       ",\"target\":" + std::to_string(d.targetUnreadable) + "}" +
                       ",\"left_out\":{" + JsonTotals(d.leftOutTotals) +
                       ",\"recorded\":" + (d.filterRecorded ? "true" : "false") +
                       ",\"types\":" + JsonLeftOut(d, true) + ",\"rules\":" + JsonLeftOut(d, false);
    return json + "},\"missing\":" + JsonGroup(d.missing) +
           ",\"changed\":" + JsonGroup(d.changed, true) + ",\"extra\":" + JsonGroup(d.extra) + "}";
}

}  // namespace

int RunDiff(const Args& args) {
    const std::string source = FullPath(args.positional[0]);
    const std::string target = FullPath(args.positional[1]);
    FunSub::DiffOptions options;
    options.stop = StopFlag();
    UseProgramSettings();  // where the copy recorded its filter
    FunSub::TargetDiff diff;
    {
        ReadingLine reading;
        options.progress = [&reading](std::int64_t files) { reading.Update(files); };
        diff = FunSub::CompareTarget(source, target, options);
    }
    if (diff.stopped || StopRequested())
        return Stopped();
    if (args.json) {
        std::cout << Json(source, target, diff) << '\n';
    } else {
        for (const std::string& line : FunSub::DiffLines(diff))
            std::cout << ValidUtf8(line) << '\n';
    }
    return diff.Same() ? kOk : kFailed;
}

}  // namespace Cli
