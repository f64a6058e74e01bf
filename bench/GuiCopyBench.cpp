// Not tests: timed runs for bench/gui_copy_bench.sh, skipped unless QUILLMERE_BENCH_TREE names
// a source tree. QUILLMERE_BENCH_OUT names the (fresh) output directory of the run.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/TargetNaming.h"
#include "core/TreeStats.h"
#include "ui/Copying.h"
#include "ui/Main.h"
#include "ui/Sets.h"
#include "ui/UiTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the calling thread alone, or of the whole process.
double CpuMilliseconds(int who) {
    rusage r{};
    getrusage(who, &r);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(r.ru_utime) + ms(r.ru_stime);
}

struct BenchPaths {
    std::string tree;
    std::string output;
};

bool BenchPathsFromEnvironment(BenchPaths& paths) {
    const char* tree = std::getenv("QUILLMERE_BENCH_TREE");
    const char* output = std::getenv("QUILLMERE_BENCH_OUT");
    if (!tree || !output)
        return false;
    paths.tree = std::filesystem::absolute(tree).lexically_normal().string();
    paths.output = std::filesystem::absolute(output).lexically_normal().string();
    std::filesystem::create_directories(paths.output);
    return true;
}

std::string ParentOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

class NoProgress : public FunSub::CopyProgress {
public:
    void SetMax(std::int64_t) override {}
    void SetStep(std::int64_t) override {}
    void StepIt() override {}
    void SetFromText(const std::string&) override {}
    void SetToText(const std::string&) override {}
};

}  // namespace

using GuiCopyBench = UiTest;

// The user's road from a chosen source to the end of its copy: the main window's rebuild of
// the source side (tree, statistics, name), the filter dialog, and the copy in the dialog.
TEST_F(GuiCopyBench, ThroughTheWindows) {
    BenchPaths paths;
    if (!BenchPathsFromEnvironment(paths))
        GTEST_SKIP() << "QUILLMERE_BENCH_TREE and _OUT not set";
    WriteWorkIni(ParentOf(paths.tree), paths.output);
    ASSERT_TRUE(Start());
    FunSub::SourceDir = paths.tree;
    FunSub::SourceChanged = true;

    const Clock::time_point start = Clock::now();
    Form1->ShowAndActivate();
    ASSERT_TRUE(Form1->Button1->isEnabled());
    Form1->Button1->click();
    Form3->Button1->click();
    WaitForBackground();
    const Clock::time_point copyStart = Clock::now();
    const double windowCpuStart = CpuMilliseconds(RUSAGE_THREAD);
    const double processCpuStart = CpuMilliseconds(RUSAGE_SELF);
    Form7->Button2->click();
    const double copyMs = MillisecondsSince(copyStart);
    const double totalMs = MillisecondsSince(start);
    // What the window's own thread spent while the worker copied: the cost of showing it.
    const double windowCpuMs = CpuMilliseconds(RUSAGE_THREAD) - windowCpuStart;
    const double processCpuMs = CpuMilliseconds(RUSAGE_SELF) - processCpuStart;

    ASSERT_EQ(Form7->windowTitle(), QStringLiteral("过滤复制完成 ！"));
    EXPECT_TRUE(m_messages.shown.empty());
    std::printf(
        "BENCH gui total_ms=%.1f copy_ms=%.1f window_cpu_ms=%.1f copy_cpu_ms=%.1f files=%lld\n",
        totalMs, copyMs, windowCpuMs, processCpuMs - windowCpuMs,
        static_cast<long long>(FunSub::TreeFileTotal));
}

// The same steps without any window: what the engine itself costs.
TEST_F(GuiCopyBench, EngineAlone) {
    BenchPaths paths;
    if (!BenchPathsFromEnvironment(paths))
        GTEST_SKIP() << "QUILLMERE_BENCH_TREE and _OUT not set";
    FunSub::WorkDir = ParentOf(paths.tree);
    FunSub::OutputDir = paths.output;
    FunSub::SourceDir = paths.tree;
    FunSub::FilterMode = FunSub::FilterKind::Exclude;

    const Clock::time_point start = Clock::now();
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(paths.tree, FunSub::RootLabel::ShortenDriveRoot);
    FunSub::TreeFileTotal = FunSub::CollectTreeStats(tree).fileTotal;
    FunSub::TargetName = FunSub::ChooseTargetName(paths.tree, FunSub::OutputDir);
    const Clock::time_point copyStart = Clock::now();
    const double cpuStart = CpuMilliseconds(RUSAGE_SELF);
    NoProgress progress;
    const FunSub::CopySummary summary =
        FunSub::RunFilterCopy(FunSub::CurrentCopyJob(), tree, progress);
    const double copyMs = MillisecondsSince(copyStart);
    const double cpuMs = CpuMilliseconds(RUSAGE_SELF) - cpuStart;
    const double totalMs = MillisecondsSince(start);

    EXPECT_EQ(summary.examined, FunSub::TreeFileTotal);
    std::printf("BENCH engine total_ms=%.1f copy_ms=%.1f copy_cpu_ms=%.1f files=%lld\n", totalMs,
                copyMs, cpuMs, static_cast<long long>(summary.copied));
}
