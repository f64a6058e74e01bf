// quillmere-cli name and copy: the main window's choice of the target name and the filtered
// copy that the copy dialog starts, with the same state set up the same way.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "core/DirTree.h"
#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/TargetNaming.h"

namespace Cli {

namespace {

std::string ParentOf(const std::string& path) {
    const auto cut = path.find_last_of(FunSub::kSeparator);
    if (cut == std::string::npos)
        return path;
    return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

// Prints the from- and to-texts when asked, and keeps a bar on a terminal's stderr current
// about ten times a second.
class CliProgress : public FunSub::CopyProgress {
public:
    explicit CliProgress(bool verbose) : m_verbose(verbose), m_bar(isatty(STDERR_FILENO) == 1) {}

    void SetMax(std::int64_t max) override { m_max = max; }
    void SetStep(std::int64_t step) override { m_step = step; }
    void StepIt() override {
        m_position += m_step;
        if (m_bar && Clock::now() >= m_nextDraw)
            Draw();
    }
    void SetFromText(const std::string& text) override { PrintLine(text); }
    void SetToText(const std::string& text) override { PrintLine(text); }

    // Shows the bar's final state and leaves the line to what follows.
    void Finish() {
        if (!m_bar || !m_drawn)
            return;
        Draw();
        std::fputc('\n', stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int kWidth = 40;

    void PrintLine(const std::string& text) {
        if (!m_verbose)
            return;
        if (m_drawn)
            std::fputs("\r\033[K", stderr);  // the bar would tear the line apart
        std::cout << ValidUtf8(text) << '\n';
        if (m_drawn) {
            std::cout.flush();
            Draw();
        }
    }

    void Draw() {
        const std::int64_t shown = m_max > 0 ? std::min(m_position, m_max) : 0;
        const int filled = m_max > 0 ? static_cast<int>(shown * kWidth / m_max) : kWidth;
        std::string line = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                           std::string(static_cast<std::size_t>(kWidth - filled), '-') + "] " +
                           std::to_string(m_position) + "/" + std::to_string(m_max);
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        m_drawn = true;
        m_nextDraw = Clock::now() + std::chrono::milliseconds(100);
    }

    bool m_verbose;
    bool m_bar;
    bool m_drawn = false;
    std::int64_t m_max = 0;
    std::int64_t m_step = 1;
    std::int64_t m_position = 0;
    Clock::time_point m_nextDraw{};
};

// The program-wide state as the main window leaves it after a source was chosen.
void SetUpSource(const Args& args, const std::string& source, const std::string& output) {
    FunSub::ResetState();
    FunSub::SourceDir = source;
    FunSub::OutputDir = output;
    FunSub::WorkDir = args.workGiven ? FullPath(args.work) : ParentOf(source);
}

// The file total the statistics run would find for `tree` (both count every entry that is
// not a directory), without the size of each file that only the statistics need: on a tree
// of small files that would add a quarter to the copy's own time.
std::int64_t CountTreeFiles(const FunSub::DirTree& tree) {
    std::int64_t total = 0;
    std::vector<Platform::Entry> entries;
    const std::vector<std::string> paths = FunSub::AllNodePaths(tree);
    for (int i = 0; i < tree.size(); ++i) {
        if (tree.nodes[i].loop ||
            Platform::ListDirectory(paths[i], Platform::Detail::Kinds, entries) != 0)
            continue;
        for (const Platform::Entry& e : entries) total += e.isDirectory ? 0 : 1;
    }
    return total;
}

std::string Summary(const FunSub::CopySummary& s) {
    std::string text = FunSub::TargetName + ": " + std::to_string(s.examined) +
                       " files examined, " + std::to_string(s.copied) + " copied, " +
                       FunSub::FormatThousands(s.bytes) + " bytes";
    if (!s.skipped.empty())
        text += ", " + std::to_string(s.skipped.size()) + " skipped";
    for (const FunSub::SkippedItem& item : s.skipped) text += "\n  skipped " + item.path + ": " + item.reason;
    return text;
}

std::string JsonSummary(const FunSub::CopySummary& s) {
    std::string json = "{\"target\":" + JsonString(FunSub::TargetName) +
                       ",\"examined\":" + std::to_string(s.examined) +
                       ",\"copied\":" + std::to_string(s.copied) +
                       ",\"bytes\":" + std::to_string(s.bytes) + ",\"skipped\":[";
    for (std::size_t i = 0; i < s.skipped.size(); ++i) {
        json += (i > 0 ? ",{\"path\":" : "{\"path\":") + JsonString(s.skipped[i].path) +
                ",\"reason\":" + JsonString(s.skipped[i].reason) + "}";
    }
    return json + "]}";
}

}  // namespace

int RunName(const Args& args) {
    const std::string source = FullPath(args.positional[0]);
    if (FunSub::IsDriveRoot(source))
        return BadArguments("the source must not be a root directory");
    SetUpSource(args, source, FullPath(args.positional[1]));
    FunSub::CheckEnterable(source);
    std::cout << ValidUtf8(FunSub::ChooseTargetName(source)) << '\n';
    return kOk;
}

int RunCopy(const Args& args) {
    if (!args.exclude.empty() && !args.keepOnly.empty()) {
        return BadArguments("--exclude and --keep-only do not mix");
    }
    const std::string source = FullPath(args.positional[0]);
    if (FunSub::IsDriveRoot(source))
        return BadArguments("the source must not be a root directory");
    SetUpSource(args, source, FullPath(args.positional[1]));
    // Said before anything else, also when the output directory is still to be made.
    if (FunSub::OutputLiesInSource(FunSub::OutputDir, source))
        throw FunSub::OutputInsideSourceError();

    const FunSub::DirTree tree = FunSub::BuildDirTree(source, FunSub::RootLabel::ShortenDriveRoot);
    FunSub::TreeFileTotal = CountTreeFiles(tree);
    FunSub::TargetName = FunSub::ChooseTargetName(source);
    FunSub::FilterMode =
        args.keepOnly.empty() ? FunSub::FilterKind::Exclude : FunSub::FilterKind::KeepOnly;
    FunSub::SelectedTypes = args.keepOnly.empty() ? args.exclude : args.keepOnly;

    CliProgress progress(args.verbose);
    FunSub::CopySummary summary;
    try {
        summary = FunSub::RunFilterCopy(tree, progress);
    } catch (...) {
        progress.Finish();
        std::cout.flush();
        throw;
    }
    progress.Finish();
    std::cout << (args.json ? JsonSummary(summary) : ValidUtf8(Summary(summary))) << '\n';
    return kOk;
}

}  // namespace Cli
