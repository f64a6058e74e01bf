// quillmere-cli name, check and copy: the main window's choice of the target name, the look
// at the copy before anything is written, and the filtered copy that the copy dialog starts,
// with the same state set up the same way.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "core/CheckCopy.h"
#include "core/ContinueCopy.h"
#include "core/CopyRate.h"
#include "core/CopyRecord.h"
#include "core/DirTree.h"
#include "core/FilterCopy.h"
#include "core/FilterMemory.h"
#include "core/FunSub.h"
#include "core/Reasons.h"
#include "core/TargetNaming.h"
#include "core/TreeFilter.h"
#include "core/TreeScan.h"
#include "core/TreeStats.h"

namespace Cli {

namespace {

std::string ParentOf(const std::string& path) {
    const auto cut = path.find_last_of(FunSub::kSeparator);
    if (cut == std::string::npos)
        return path;
    return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

// Prints the from- and to-texts when asked (to stderr when stdout holds the JSON), and keeps a
// progress line on a terminal's stderr current about ten times a second: the bar, then the
// same line the copy dialog shows. Its rate leaves out the time the process was stopped.
class CliProgress : public FunSub::CopyProgress {
public:
    CliProgress(bool verbose, bool json, const FunSub::CopyPlan& plan)
        : m_verbose(verbose),
          m_json(json),
          m_bar(isatty(STDERR_FILENO) == 1),
          m_files(plan.files),
          m_bytes(plan.bytes) {}

    void SetMax(std::int64_t max) override { m_max = max; }
    void SetStep(std::int64_t step) override { m_step = step; }
    void StepIt() override {
        const std::lock_guard lock(m_mutex);
        m_position += m_step;
        MaybeDraw();
    }
    void SetFromText(const std::string& text) override { PrintLine(text); }
    void SetToText(const std::string& text) override { PrintLine(text); }
    // From the copying threads.
    void AddBytes(std::int64_t bytes) override {
        const std::lock_guard lock(m_mutex);
        m_bytesDone += bytes;
        MaybeDraw();
    }
    void FileCopied() override {
        const std::lock_guard lock(m_mutex);
        ++m_filesDone;
    }
    void Syncing() override {
        const std::lock_guard lock(m_mutex);
        m_phase = FunSub::kSyncingText;
        if (m_bar)
            Draw();
    }
    void Verifying(std::int64_t files, std::int64_t bytes) override {
        const std::lock_guard lock(m_mutex);
        m_phase = "正在校验 ";
        m_files = files;
        m_bytes = bytes;
        m_filesDone = m_bytesDone = 0;
        m_rate = {};
        m_clock.Start();
        m_stoppedSeen = StoppedSeconds();
        if (m_bar)
            Draw();
    }

    // Shows the bar's final state and leaves the line to what follows.
    void Finish() {
        const std::lock_guard lock(m_mutex);
        if (!m_bar || !m_drawn)
            return;
        Draw();
        std::fputc('\n', stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int kWidth = 30;

    void MaybeDraw() {
        if (m_bar && Clock::now() >= m_nextDraw)
            Draw();
    }

    void PrintLine(const std::string& text) {
        if (!m_verbose)
            return;
        const std::lock_guard lock(m_mutex);
        if (m_drawn)
            std::fputs("\r\033[K", stderr);  // the bar would tear the line apart
        std::ostream& lines = m_json ? std::cerr : std::cout;
        lines << ValidUtf8(text) << '\n';
        if (m_drawn) {
            lines.flush();
            Draw();
        }
    }

    void Draw() {
        const auto now = Clock::now();
        const double stopped = StoppedSeconds();
        m_clock.AddPaused(stopped - m_stoppedSeen);
        m_stoppedSeen = stopped;
        m_rate.Add(m_clock.Seconds(now), m_filesDone, m_bytesDone);
        const std::int64_t shown = m_max > 0 ? std::min(m_position, m_max) : 0;
        const int filled = m_max > 0 ? static_cast<int>(shown * kWidth / m_max) : kWidth;
        const std::string line =
            "\r\033[K[" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(kWidth - filled), '-') + "] " + m_phase +
            (m_phase == FunSub::kSyncingText
                 ? std::string()
                 : FunSub::ProgressLine(m_filesDone, m_files, m_bytesDone, m_bytes, m_rate));
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        m_drawn = true;
        m_nextDraw = now + std::chrono::milliseconds(100);
    }

    const bool m_verbose;
    const bool m_json;
    const bool m_bar;
    std::mutex m_mutex;
    std::string m_phase;   // empty while copying
    std::int64_t m_files;  // the totals of the phase; below 0 when not known
    std::int64_t m_bytes;
    bool m_drawn = false;
    std::int64_t m_max = 0;
    std::int64_t m_step = 1;
    std::int64_t m_position = 0;
    std::int64_t m_filesDone = 0;
    std::int64_t m_bytesDone = 0;
    FunSub::CopyRate m_rate;
    FunSub::RunningClock m_clock;  // of the phase: the copy, then its reading back
    double m_stoppedSeen = StoppedSeconds();
    Clock::time_point m_nextDraw{};
};

// How often a copy takes the next free number when another process took the chosen name
// between the choice and the making of the target.
constexpr int kNameAttempts = 100;

constexpr const char* kRootOutputText = "根目录不能设置为输出目录！请重新选择";

// The copy the filter describes, as the main window describes it once a source was chosen
// and the filter dialog confirmed: no type option copies everything. The target's name is
// chosen later; the work directory is the source's parent unless `work` names one.
FunSub::CopyJob JobOf(const FilterArgs& filter, const std::string& source,
                      const std::string& output, const std::optional<std::string>& work) {
    FunSub::CopyJob job;
    job.outputDir = output;
    job.workDir = work ? FullPath(*work) : ParentOf(source);
    job.filter =
        filter.keepOnly.empty()
            ? FunSub::CopyFilter(FunSub::FilterKind::Exclude, filter.exclude, filter.rules)
            : FunSub::CopyFilter(FunSub::FilterKind::KeepOnly, filter.keepOnly, filter.rules);
    job.options.stop = StopFlag();
    // The copy records its filter, and filters.ini is read, where the program beside this one
    // keeps its settings.
    job.options.record = true;
    UseProgramSettings();
    if (filter.sameAsLast) {
        const std::optional<FunSub::FilterChoice> last = FunSub::LastFilterChoice(source);
        if (!last) {
            throw CliError(
                "no choice of types remembered for this source in " + FunSub::FilterMemoryPath(),
                "no-last-choice");
        }
        job.filter = FunSub::CopyFilter(last->mode, last->types, last->rules);
    }
    return job;
}

// The source and the output directory must be there; a disk's root is no output directory,
// as in the windows.
void RequireDirectories(const std::string& source, const std::string& output) {
    RequireEnterable(source);
    if (FunSub::IsDriveRoot(output))
        throw CliError(kRootOutputText, "root-directory");
    RequireEnterable(output);
}

// SOURCE and OUTPUTDIR of check and copy, with the refusals both share.
// The filter options that do not go together; kOk when they do.
int RefuseMixedFilters(const FilterArgs& filter) {
    if (!filter.exclude.empty() && !filter.keepOnly.empty())
        return BadArguments("--exclude and --keep-only do not mix");
    if (filter.sameAsLast &&
        !(filter.exclude.empty() && filter.keepOnly.empty() && filter.rules.empty()))
        return BadArguments("--same-as-last does not mix with type or rule options");
    return kOk;
}

int SetUpCopy(const CheckArgs& args, std::string& source, FunSub::CopyJob& job,
              const std::optional<std::string>& work = std::nullopt) {
    const FilterArgs& filter = args.filter;
    if (const int refused = RefuseMixedFilters(filter); refused != kOk)
        return refused;
    source = FullPath(args.positional[0]);
    if (FunSub::IsDriveRoot(source))
        return BadArguments("the source must not be a root directory");
    job = JobOf(filter, source, FullPath(args.positional[1]), work);
    // Said before anything else, also when the output directory is still to be made.
    if (FunSub::OutputLiesInSource(job.outputDir, source))
        throw FunSub::OutputInsideSourceError();
    RequireDirectories(source, job.outputDir);
    return kOk;
}

std::string Summary(const std::string& target, const FunSub::CopySummary& s) {
    std::string text = target + ": " + std::to_string(s.examined) + " files examined, " +
                       std::to_string(s.copied) + " copied, " + FunSub::FormatThousands(s.bytes) +
                       " bytes";
    if (!s.skipped.empty())
        text += ", " + std::to_string(s.skipped.size()) + " skipped";
    if (s.stopped)
        text += ", stopped";
    for (const FunSub::SkippedItem& item : s.skipped) {
        text += "\n  skipped " + item.path + "：" + FunSub::ReasonText(item);
    }
    if (s.verified >= 0)
        text += "\n" + FunSub::VerifyText(s);
    for (const FunSub::Mismatch& m : s.mismatches)
        text += "\n  mismatch " + m.path + "：" + m.reason;
    return text;
}

// The summary's fields, without the braces, so that a failure can put its text in front.
std::string JsonFields(const std::string& target, const FunSub::CopySummary& s) {
    std::string json = "\"target\":" + JsonString(target) +
                       ",\"examined\":" + std::to_string(s.examined) +
                       ",\"copied\":" + std::to_string(s.copied) +
                       ",\"bytes\":" + std::to_string(s.bytes) + ",\"skipped\":[";
    for (std::size_t i = 0; i < s.skipped.size(); ++i) {
        const FunSub::SkippedItem& item = s.skipped[i];
        json += (i > 0 ? ",{\"path\":" : "{\"path\":") + JsonString(item.path) + ",\"reason\":\"" +
                FunSub::ReasonWord(FunSub::ReasonOf(item)) +
                "\",\"error\":" + std::to_string(item.error) +
                ",\"text\":" + JsonString(FunSub::ReasonText(item)) +
                ",\"message\":" + JsonString(item.reason) + "}";
    }
    json += "],\"stopped\":";
    json += s.stopped ? "true" : "false";
    char paused[32];
    std::snprintf(paused, sizeof paused, "%.2f", StoppedSeconds());
    json += std::string(",\"paused_seconds\":") + paused;
    if (s.verified < 0)
        return json;
    json += ",\"verified\":" + std::to_string(s.verified) + ",\"mismatches\":[";
    for (std::size_t i = 0; i < s.mismatches.size(); ++i) {
        const FunSub::Mismatch& m = s.mismatches[i];
        json += (i > 0 ? ",{\"path\":" : "{\"path\":") + JsonString(m.path) + ",\"reason\":\"" +
                m.word + "\",\"error\":" + std::to_string(m.error) +
                ",\"text\":" + JsonString(m.reason) + "}";
    }
    return json + "]";
}

// The rules the copy left out by, when it had any: ,"rules":["dir:node_modules",...].
std::string JsonRules(const FunSub::FilterRules& rules) {
    if (rules.empty())
        return {};
    std::string json = ",\"rules\":[";
    for (const std::string& word : FunSub::RuleWords(rules))
        json += (json.back() == '[' ? "" : ",") + JsonString(word);
    return json + "]";
}

// ,"left_out":[{"rule":"dir:node_modules","directories":N,"files":N,"bytes":N},...]
std::string JsonLeftOut(const std::vector<FunSub::RuleTally>& tallies) {
    std::string json = ",\"left_out\":[";
    for (const FunSub::RuleTally& t : tallies) {
        json += (json.back() == '[' ? "{\"rule\":" : ",{\"rule\":") + JsonString(t.rule) +
                ",\"directories\":" + std::to_string(t.directories) +
                ",\"files\":" + std::to_string(t.files) + ",\"bytes\":" + std::to_string(t.bytes) +
                "}";
    }
    return json + "]";
}

std::string JsonProblems(const FunSub::CopyPlan& plan) {
    std::string json = "[";
    for (std::size_t i = 0; i < plan.problems.size(); ++i) {
        const FunSub::CopyProblem& p = plan.problems[i];
        json += std::string(i > 0 ? "," : "") + "{\"kind\":\"" + FunSub::ProblemKindName(p.kind) +
                "\",\"path\":" + JsonString(p.path) + ",\"detail\":" + JsonString(p.detail) +
                ",\"blocking\":" + (p.blocking ? "true" : "false") +
                ",\"text\":" + JsonString(FunSub::ProblemText(p));
        if (p.error != 0) {
            json += ",\"reason\":\"" + std::string(FunSub::ReasonWord(FunSub::ReasonOf(p.error))) +
                    "\",\"error\":" + std::to_string(p.error);
        }
        json += "}";
    }
    return json + "]";
}

// A check or copy that found problems fails with the first of them.
std::string FailureFields(const FunSub::CopyPlan& plan) {
    if (plan.problems.empty())
        return {};
    const FunSub::CopyProblem& first = plan.problems.front();
    return ",\"error\":" + JsonString(FunSub::ProblemText(first)) + ",\"code\":\"" +
           FunSub::ProblemKindName(first.kind) + "\"";
}

std::string JsonPlan(const FunSub::CopyPlan& plan) {
    return "{\"files\":" + std::to_string(plan.files) + ",\"bytes\":" + std::to_string(plan.bytes) +
           ",\"directories\":" + std::to_string(plan.directories) +
           ",\"needed\":" + std::to_string(plan.bytesNeeded) +
           ",\"free\":" + std::to_string(plan.volume.freeBytes) +
           ",\"clones\":" + (plan.clones ? "true" : "false") +
           ",\"problems\":" + JsonProblems(plan) +
           ",\"incomplete\":" + (plan.sourceIncomplete ? "true" : "false") + FailureFields(plan) +
           "}";
}

void PrintProblems(const FunSub::CopyPlan& plan) {
    for (const FunSub::CopyProblem& p : plan.problems) {
        std::cout << "  " << ValidUtf8(FunSub::ProblemText(p)) << (p.blocking ? "  [blocking]" : "")
                  << '\n';
    }
}

// The source as the copy takes it, read once, ended early by a stop signal: a directory the
// filter leaves out is never read.
FunSub::ScannedTree Scan(const std::string& source, const FunSub::CopyFilter& filter) {
    FunSub::ScanOptions options;
    options.stop = StopFlag();
    if (!filter.rules().empty())
        options.enter = [&filter](const std::string& name) { return filter.PassesDirectory(name); };
    std::optional<FunSub::GitIgnore> git;
    if (filter.rules().gitignore)
        options.ignore = &git.emplace(source);
    return FunSub::ScanTree(source, FunSub::RootLabel::ShortenDriveRoot, options);
}

// A copy that ends in a failure still says, with --json, how far it got.
int CopyFailed(const Args& args, const std::string& message, const std::string& code,
               const std::string& target, const FunSub::CopySummary& summary,
               const FunSub::CopyPlan* plan = nullptr) {
    if (args.json) {
        std::cout << "{\"error\":" << JsonString(message) << ",\"code\":" << JsonString(code) << ","
                  << JsonFields(target, summary)
                  << (plan ? ",\"problems\":" + JsonProblems(*plan) : std::string()) << "}\n";
    }
    std::cerr << "quillmere-cli: " << ValidUtf8(message) << '\n';
    return kFailed;
}

// A copy stopped before its walk began: nothing was written.
int CopyStoppedEarly(const Args& args, FunSub::CopySummary& summary) {
    if (!args.json)
        return Stopped();
    summary.stopped = true;
    std::cout << "{" << JsonFields("", summary) << "}\n";
    return StoppedStatus();
}

// Checks, then copies unless the check found what stops it; `summary` follows the copy.
// --force copies without the check: the copy then meets what it meets, and costs what it did
// before there was a check (on many small files the check adds about a tenth).
int Copy(const CopyArgs& args, FunSub::CopyJob& job, FunSub::CopySummary& summary) {
    WatchStoppedTime();  // before any thread of the copy is made
    std::string source;
    if (const int status = SetUpCopy(args, source, job, args.work); status != kOk)
        return status;
    job.options.keepGoing = args.keepGoing;
    job.options.jobs = args.jobs;
    job.options.verify = args.verify;
    // Each directory is read once: that reading is the check's and the copy's.
    FunSub::ScannedTree scanned = Scan(source, job.filter);
    if (StopRequested())
        return CopyStoppedEarly(args, summary);
    const FunSub::DirTree& tree = scanned.tree;
    job.targetName = FunSub::ChooseTargetName(source, job.outputDir);
    FunSub::CopyPlan plan;
    if (args.force) {
        plan = FunSub::PlanWithoutCheck(std::move(scanned.files));
        job.fileTotal = scanned.fileCount;
    } else {
        plan = FunSub::CheckCopy(job, tree, std::move(scanned.files), StopFlag());
        job.fileTotal = plan.examined;
    }
    if (StopRequested())
        return CopyStoppedEarly(args, summary);
    if (plan.Blocked()) {
        if (!args.json) {
            std::cout << "nothing copied:\n";
            PrintProblems(plan);
        }
        return CopyFailed(args, FunSub::ProblemText(plan.problems.front()),
                          FunSub::ProblemKindName(plan.problems.front().kind), job.targetName,
                          summary, &plan);
    }

    CliProgress progress(args.verbose, args.json, plan);
    job.options.plan = &plan;
    // Another copy may take the chosen name before this one makes its target: the target is
    // made in one step, before anything is written, so the next free number does then.
    for (int attempt = 1;; ++attempt) {
        try {
            FunSub::RunFilterCopy(job, tree, progress, summary);
            break;
        } catch (const FunSub::TargetExistsError&) {
            if (attempt == kNameAttempts) {
                progress.Finish();
                throw;
            }
            job.targetName = FunSub::ChooseTargetName(source, job.outputDir);
        } catch (...) {
            progress.Finish();
            std::cout.flush();
            throw;
        }
    }
    progress.Finish();
    // A stop that came once every file was whole does not undo the copy: the core said so.
    std::cout << (args.json ? "{" + JsonFields(job.targetName, summary) +
                                  JsonRules(job.filter.rules()) + "}"
                            : ValidUtf8(Summary(job.targetName, summary)))
              << '\n';
    if (summary.stopped)
        return StoppedStatus();
    if (!summary.mismatches.empty())
        return kFailed;  // the copy is there, but not as its source is
    return summary.skipped.empty() ? kOk : kSkipped;
}

// The summary of continuing: a copy's, with the files kept, the extras and whether the target
// is whole now.
std::string ContinueFields(const std::string& target, const std::string& source,
                           const FunSub::ContinueSummary& s) {
    std::string json =
        JsonFields(target, s.copy) + ",\"kept\":" + std::to_string(s.kept) + ",\"extras\":[";
    for (std::size_t i = 0; i < s.extras.size(); ++i)
        json += (i > 0 ? "," : "") + JsonString(s.extras[i]);
    json += "],\"finished\":";
    json += s.finished ? "true" : "false";
    return json + (source.empty() ? std::string() : ",\"source\":" + JsonString(source));
}

// The same for people: a copy's summary, the files kept, each extra, and whether it finished.
std::string ContinueText(const std::string& target, const FunSub::ContinueSummary& s) {
    std::string text = Summary(target, s.copy) + "\n" + std::to_string(s.kept) + " kept";
    for (const std::string& extra : s.extras) text += "\n  extra " + extra;
    if (s.finished)
        text += "\nfinished";
    return text;
}

// Continues `target` from its record and prints how it went; `source` and `summary` say how
// far it got when it raises.
int Continue(const CopyArgs& args, const std::string& target, std::string& source,
             FunSub::ContinueSummary& summary) {
    source = FunSub::ContinuableRecord(target).source;
    FunSub::CopyOptions options;
    options.keepGoing = args.keepGoing;
    options.verify = args.verify;
    options.stop = StopFlag();
    FunSub::CopyPlan unknown;
    unknown.files = unknown.bytes = -1;
    CliProgress progress(args.verbose, args.json, unknown);
    try {
        FunSub::ContinueCopy(target, options, progress, summary);
    } catch (...) {
        progress.Finish();
        std::cout.flush();
        throw;
    }
    progress.Finish();
    std::cout << (args.json ? "{" + ContinueFields(target, source, summary) + "}"
                            : ValidUtf8(ContinueText(target, summary)))
              << '\n';
    if (summary.copy.stopped)
        return StoppedStatus();
    if (!summary.copy.mismatches.empty())
        return kFailed;
    return summary.copy.skipped.empty() ? kOk : kSkipped;
}

}  // namespace

std::string JsonRecordedSource(const std::string& dir) {
    if (!FunSub::TargetIncomplete(dir))
        return {};
    const std::optional<FunSub::CopyRecord> record = FunSub::ReadCopyRecord(dir);
    return record ? ",\"source\":" + JsonString(record->source) : std::string();
}

int RunContinue(const CopyArgs& args) {
    const std::string target = FullPath(args.positional[0]);
    std::string source;
    FunSub::ContinueSummary summary;
    try {
        RequireEnterable(target);
        return Continue(args, target, source, summary);
    } catch (const CliError& e) {
        return Fail(e);
    } catch (const FunSub::QuillError& e) {
        if (args.json) {
            std::cout << "{\"error\":" << JsonString(FailureMessage(e))
                      << ",\"code\":" << JsonString(FailureCode(e)) << ","
                      << ContinueFields(target, source, summary) << "}\n";
        }
        std::cerr << "quillmere-cli: " << ValidUtf8(FailureMessage(e)) << '\n';
        return kFailed;
    }
}

int RunName(const Args& args) {
    const std::string source = FullPath(args.positional[0]);
    if (FunSub::IsDriveRoot(source))
        return BadArguments("the source must not be a root directory");
    const std::string output = FullPath(args.positional[1]);
    RequireDirectories(source, output);
    const std::string name = FunSub::ChooseTargetName(source, output);
    if (StopRequested())
        return Stopped();
    std::cout << (args.json ? "{\"target\":" + JsonString(name) + "}" : ValidUtf8(name)) << '\n';
    return kOk;
}

int RunCheck(const CheckArgs& args) {
    std::string source;
    FunSub::CopyJob job;
    if (const int status = SetUpCopy(args, source, job); status != kOk)
        return status;
    // Read whole, left-out directories too: the check says what each rule takes out.
    FunSub::ScannedTree scanned = Scan(source, FunSub::CopyFilter());
    if (StopRequested())
        return Stopped();
    const FunSub::CopyPlan plan =
        FunSub::CheckCopy(job, scanned.tree, std::move(scanned.files), StopFlag());
    if (StopRequested())
        return Stopped();
    const std::vector<FunSub::RuleTally> leftOut =
        FunSub::LeftOutByRule(scanned.tree, plan.listings, job.filter);
    if (args.json) {
        std::string json = JsonPlan(plan);
        json.insert(json.size() - 1, JsonLeftOut(leftOut) + JsonRecordedSource(source));
        std::cout << json << '\n';
    } else {
        for (const FunSub::RuleTally& t : leftOut) {
            std::cout << "滤除 " << ValidUtf8(t.rule) << "："
                      << FunSub::FormatThousands(t.directories) << " 个目录，"
                      << FunSub::FormatThousands(t.files) << " 个文件，"
                      << FunSub::FormatThousands(t.bytes) << " B\n";
        }
        std::cout << FunSub::PlanText(plan) << '\n'
                  << FunSub::FormatThousands(plan.directories) << " 个目录，需要 "
                  << FunSub::SizeText(plan.bytesNeeded) << '\n';
        if (!plan.problems.empty())
            std::cout << plan.problems.size() << " 个问题：\n";
        PrintProblems(plan);
    }
    return plan.problems.empty() ? kOk : kFailed;
}

int RunCopy(const CopyArgs& args) {
    FunSub::CopyJob job;
    FunSub::CopySummary summary;
    try {
        return Copy(args, job, summary);
    } catch (const CliError& e) {
        return Fail(e);  // about the arguments: nothing was looked at yet
    } catch (const FunSub::QuillError& e) {
        return CopyFailed(args, FailureMessage(e), FailureCode(e), job.targetName, summary);
    }
}

int RunWhy(const CheckArgs& args) {
    if (const int refused = RefuseMixedFilters(args.filter); refused != kOk)
        return refused;
    const std::string source = FullPath(args.positional[0]);
    RequireEnterable(source);
    // A full path inside the source is taken below it; any other path is below the source.
    std::string path = args.positional[1];
    const std::string full = FullPath(path);
    if (Platform::RootLength(path) > 0) {
        if (full.size() <= source.size() || full.compare(0, source.size(), source) != 0 ||
            full[source.size()] != FunSub::kSeparator)
            return BadArguments("PATH must lie inside SOURCE");
        path = full.substr(source.size() + 1);
    }
    const FunSub::CopyJob job = JobOf(args.filter, source, source, std::nullopt);
    std::string rule;
    try {
        rule = FunSub::WhyLeftOut(source, path, job.filter);
    } catch (const FunSub::QuillError& e) {
        return BadArguments(e.what());
    }
    if (args.json) {
        std::cout << "{\"path\":" << JsonString(path)
                  << ",\"left_out\":" << (rule.empty() ? "false" : "true")
                  << (rule.empty() ? std::string() : ",\"rule\":" + JsonString(rule)) << "}\n";
    } else {
        std::cout << ValidUtf8((rule.empty() ? "copied" : rule) + "\t" + path) << '\n';
    }
    return rule.empty() ? kFailed : kOk;
}

}  // namespace Cli
