#include "core/FilterCopy.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/CheckCopy.h"
#include "core/FileCopyPlatform.h"
#include "core/FunSub.h"
#include "core/Parallel.h"
#include "core/TreeStats.h"

namespace FunSub {
namespace {

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && path.back() == kSeparator;
}

// How many leading characters to cut from a path below `base` to make it relative to it.
std::size_t CutBelow(const std::string& base) {
    return EndsWithSeparator(base) ? base.size() : base.size() + 1;
}

bool IsBelow(const std::string& path, const std::string& base) {
    if (base.empty() || path.size() <= base.size() || path.compare(0, base.size(), base) != 0) {
        return false;
    }
    return EndsWithSeparator(base) || path[base.size()] == kSeparator;
}

#ifdef _WIN32
std::string ComparablePath(const std::string& path) {
    return LowerAscii(path);
}
#else
const std::string& ComparablePath(const std::string& path) {
    return path;
}
#endif

// The canonical form of `path`, also when its last parts do not exist yet.
std::string CanonicalAsFarAsItExists(const std::string& path) {
    std::string rest;
    std::string head = path;
    for (;;) {
        std::string canonical = Platform::CanonicalPath(head);
        if (!canonical.empty())
            return rest.empty() ? canonical : PathBelow(canonical, rest);
        const auto cut = head.find_last_of(kSeparator);
        if (cut == std::string::npos || cut == 0)
            return {};
        rest = rest.empty() ? head.substr(cut + 1) : JoinPath(head.substr(cut + 1), rest);
        head.erase(cut);
    }
}

// The from-texts are relative to WorkDir. When WorkDir was changed after the source was
// chosen it no longer lies above the source, and cutting its length would show a mangled
// path; the source's parent is shown from instead, so the text still begins with the
// source's own name.
std::size_t FromTextCut(const std::string& sourceRoot) {
    const std::size_t shown = PathShownFrom(WorkDir, sourceRoot).size();
    if (shown < sourceRoot.size())
        return sourceRoot.size() - shown;  // the dialog's own rule, so the texts agree
    const auto last = sourceRoot.find_last_of(kSeparator);
    return last == std::string::npos ? 0 : last + 1;
}

// Destination directories by node index: the target root, then each node's parent's
// directory and the node's own name, exactly as the source tree names them.
std::vector<std::string> DestinationDirs(const DirTree& tree, const std::string& targetRoot) {
    std::vector<std::string> dirs;
    dirs.reserve(tree.nodes.size());
    for (const DirNode& node : tree.nodes) {
        dirs.push_back(node.parent < 0 ? targetRoot : JoinPath(dirs[node.parent], node.label));
    }
    return dirs;
}

// The message a failed copy of one file reports.
std::string FailureText(const Platform::CopyOutcome& outcome, const std::string& source,
                        const std::string& destination) {
    switch (outcome.failure) {
        case Platform::CopyFailure::OpenSource:
            return "Cannot open file " + source;
        case Platform::CopyFailure::CreateDestination:
            return "Cannot create file " + destination;
        case Platform::CopyFailure::Read:
            return "Stream read error";
        case Platform::CopyFailure::SourceChanged:
            return std::string(kSourceChangedText) + "：" + source;
        case Platform::CopyFailure::Write:
        case Platform::CopyFailure::None:
            break;
    }
    return "Stream write error";
}

enum class Side { Source, Target };

// A directory of the source and the one made for it in the target, open while the copy
// works in them; shared by the files on their way through the copying threads.
struct Place {
    std::unique_ptr<Platform::Directory> from;  // null where the source cannot be read
    std::unique_ptr<Platform::Directory> to;
    std::size_t node = 0;
    // The directory's own listing, when the copy reads it itself (no check before it).
    std::shared_ptr<const std::vector<Platform::Entry>> listing;
};

// One file (or link) to copy, numbered in the order of the walk.
struct Item {
    std::int64_t number = 0;
    const Platform::Entry* entry = nullptr;
};

// Files of one directory that one copying thread copies one after the other: threads that
// create files in the same directory wait for each other there.
struct Job {
    std::shared_ptr<const Place> place;
    std::vector<Item> items;
    std::int64_t bytes = 0;
};

// The threads that copy: the walk hands them files in order, a few at a time, and waits when
// they are behind. Without threads the walk copies each file itself.
class Copiers {
public:
    Copiers(int threads, std::function<void(const Job&)> run) : m_run(std::move(run)) {
        for (int t = 0; t < threads; ++t) m_threads.emplace_back([this] { Work(); });
    }
    ~Copiers() { Finish(); }
    Copiers(const Copiers&) = delete;
    Copiers& operator=(const Copiers&) = delete;

    void Add(Job job) {
        if (m_threads.empty())
            return m_run(job);
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_queue.size() < kQueued; });
        m_queue.push_back(std::move(job));
        m_work.notify_one();
    }

    // Waits until every file handed over is done.
    void Finish() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_work.notify_all();
        for (std::thread& t : m_threads) t.join();
        m_threads.clear();
    }

private:
    // Enough to keep every thread busy, few enough that few directories stay open.
    static constexpr std::size_t kQueued = 8;

    void Work() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_work.wait(lock, [this] { return m_closed || !m_queue.empty(); });
                if (m_queue.empty())
                    return;
                job = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_room.notify_one();
            m_run(job);
        }
    }

    std::function<void(const Job&)> m_run;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_room;
    std::deque<Job> m_queue;
    bool m_closed = false;
};

// Sends what the copy has written to the disk while it goes on, a few dozen megabytes at a
// time, so that the disk is busy while the copy is, and little is left for the end.
class Flusher {
public:
    Flusher(const Platform::Directory& target, const std::atomic<std::int64_t>& written)
        : m_thread([this, &target, &written] {
              std::int64_t flushed = 0;
              std::unique_lock lock(m_mutex);
              while (!m_done) {
                  m_wake.wait_for(lock, std::chrono::milliseconds(50));
                  if (!m_done && written - flushed >= kEvery) {
                      flushed = written;
                      lock.unlock();
                      target.SyncFileSystem();
                      lock.lock();
                  }
              }
          }) {}
    ~Flusher() {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    Flusher(const Flusher&) = delete;
    Flusher& operator=(const Flusher&) = delete;

private:
    static constexpr std::int64_t kEvery = std::int64_t{64} << 20;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

class Walk : private Platform::CopyListener {
public:
    Walk(const DirTree& tree, CopyProgress& progress, const CopyOptions& options,
         CopySummary& summary)
        : m_tree(tree),
          m_progress(progress),
          m_options(options),
          m_summary(summary),
          m_targetRoot(PathBelow(OutputDir, TargetName)),
          m_sources(AllNodePaths(tree)),
          m_destinations(DestinationDirs(tree, m_targetRoot)),
          m_fromCut(FromTextCut(m_sources.front())),
          m_sourceCut(CutBelow(m_sources.front())),
          m_toCut(m_targetRoot.size() - TargetName.size()),
          m_jobs(options.jobs > 0 ? options.jobs : DefaultJobs()),
          m_batchFiles(m_jobs > 1 ? 64 : 1) {}

    ~Walk() { Publish(); }

    void Run() {
        if (OutputLiesInSource(OutputDir, m_sources.front()))
            throw OutputInsideSourceError();
        std::shared_ptr<Place> root = OpenRoots();
        m_progress.SetMax(TreeFileTotal);
        m_progress.SetStep(1);
        {
            const Flusher flusher(*m_target->to, m_bytes);
            Copiers copiers(m_jobs > 1 ? m_jobs : 0, [this](const Job& job) { Copy(job); });
            m_copiers = &copiers;
            WalkNodes(std::move(root));
            copiers.Finish();
            m_copiers = nullptr;
        }
        Publish();
        if (m_failure)
            throw *m_failure;
        Stopped();  // a stop that came during the last file counts too
        if (m_summary.stopped)
            return;
        Finish();
        if (m_options.verify)
            Verify();
    }

private:
    // The source root and the new target root with its marker. The target must not exist,
    // and must really be new when made, so that a copy never mixes with an older tree.
    std::shared_ptr<Place> OpenRoots() {
        if (TargetName.empty())
            throw QuillError("No target name has been chosen for this source");
        if (OutputDir.empty())
            throw QuillError("No output directory has been set");
        auto root = std::make_shared<Place>();
        if (const int err = Platform::Directory::Open(m_sources.front(), root->from))
            throw QuillError(IoErrorText(err), err, m_sources.front());
        root->from->Identity(m_sourceId);
        if (Platform::PathExists(m_targetRoot))
            throw TargetExistsError();
        Platform::CreateDirectories(OutputDir);  // a failure shows as the next step's
        std::unique_ptr<Platform::Directory> output;
        if (const int err = Platform::Directory::Open(OutputDir, output))
            RaiseCannotCreate(m_targetRoot, err);
        const int err = output->MakeChild(TargetName, root->from->Mode(), root->to);
        if (err == Platform::kAlreadyExists)
            throw TargetExistsError();
        if (err != 0)
            RaiseCannotCreate(m_targetRoot, err);
        root->to->Identity(m_targetId);
        // The marker is on the disk before anything else is written.
        if (root->to->MakeChild(kIncompleteMarker, 0700, m_temporaries) != 0)
            RaiseCannotCreate(JoinPath(m_targetRoot, kIncompleteMarker));
        root->to->SyncEntries();
        m_target = root;
        return root;
    }

    // Every node by index, each directory made before its files and its subdirectories.
    void WalkNodes(std::shared_ptr<Place> root) {
        std::vector<std::shared_ptr<Place>> open;  // by level: the directories on the path
        int skipBelow = -1;  // the level of a directory passed over with all below it
        for (std::size_t i = 0; i < m_sources.size() && !Ended(); ++i) {
            const DirNode& node = m_tree.nodes[i];
            if (skipBelow >= 0 && node.level > skipBelow)
                continue;
            skipBelow = -1;
            open.resize(static_cast<std::size_t>(node.level));
            std::shared_ptr<Place> place = i == 0 ? std::move(root) : Enter(i, *open.back());
            if (!place || !place->from) {
                skipBelow = node.level;
                continue;
            }
            open.push_back(place);
            CopyFilesOf(place);
        }
    }

    // Makes the directory of node `i` in the target and opens both; null when the node
    // cannot be copied at all. A node that cannot be read is made, then reported.
    std::shared_ptr<Place> Enter(std::size_t i, const Place& parent) {
        const DirNode& node = m_tree.nodes[i];
        auto place = std::make_shared<Place>();
        place->node = i;
        // The target is brand new, so anything already at a directory's place was made by
        // this copy under another spelling of the name (a case-insensitive target): merging
        // into it would mix two directories, so it is a failure.
        const int made =
            parent.to->MakeChild(node.label, parent.from->ChildMode(node.label), place->to);
        if (made != 0) {
            ItemFailed(Number(), Side::Target, m_sources[i],
                       "Cannot create file " + m_destinations[i], made);
            return nullptr;
        }
        if (node.loop)
            return place;
        int err = node.error;
        if (err == 0 && m_options.plan)
            err = m_options.plan->listErrors[i];
        if (err == 0)
            err = parent.from->OpenChild(node.label, place->from);
        if (err != 0)
            ItemFailed(Number(), Side::Source, m_sources[i], IoErrorText(err), err);
        return place;
    }

    void CopyFilesOf(const std::shared_ptr<Place>& place) {
        const std::size_t i = place->node;
        const std::vector<Platform::Entry>* entries = nullptr;
        if (m_options.plan) {
            entries = &m_options.plan->listings[i];
        } else {
            // Each directory's listing lives until its files are copied.
            auto listed = std::make_shared<std::vector<Platform::Entry>>();
            if (const int err =
                    Platform::ListDirectory(m_sources[i], Platform::Detail::Kinds, *listed))
                return ItemFailed(Number(), Side::Source, m_sources[i], IoErrorText(err), err);
            place->listing = listed;
            entries = listed.get();
        }
        Job job;
        for (const Platform::Entry& e : *entries) {
            if (e.isDirectory)
                continue;
            if (Ended())
                break;
            ++m_summary.examined;
            m_progress.StepIt();
            if (!PassesFilter(TypeKey(e.name)))
                continue;
            if (e.kind == Platform::FileKind::Special) {
                Skipped(Number(), JoinPath(m_sources[i], e.name), kSpecialFileText, 0);
                continue;
            }
            job.items.push_back(Item{Number(), &e});
            job.bytes += e.size;
            if (static_cast<int>(job.items.size()) >= m_batchFiles || job.bytes >= kBatchBytes)
                HandOver(job, place);
        }
        HandOver(job, place);
    }

    void HandOver(Job& job, const std::shared_ptr<Place>& place) {
        if (job.items.empty())
            return;
        job.place = place;
        if (m_options.verify && !m_options.plan)
            m_keptPlaces.push_back(place);  // its listing names the files read back later
        m_copiers->Add(std::move(job));
        job = Job{};
    }

    // Copies the files of a job; on a copying thread, or on the walk's when there are none.
    void Copy(const Job& job) {
        for (const Item& item : job.items) Copy(*job.place, item);
    }

    // After a stop only the files in progress are finished; after a failure, also every file
    // the walk met before the failing item.
    void Copy(const Place& place, const Item& item) {
        if (StopAsked() || item.number > m_endAt.load())
            return;
        const Platform::Entry& e = *item.entry;
        ShowTexts(place, item);
        const Platform::CopyRequest request{place.from.get(),    e.name, place.to.get(), e.name,
                                            m_temporaries.get(), this};
        const Platform::CopyOutcome outcome = e.kind == Platform::FileKind::Link
                                                  ? Platform::CopyLink(request)
                                                  : Platform::CopyFileContent(request);
        if (outcome.failure != Platform::CopyFailure::None) {
            const std::string source = JoinPath(m_sources[place.node], e.name);
            const std::string destination = JoinPath(m_destinations[place.node], e.name);
            ItemFailed(item.number,
                       Platform::IsSourceSide(outcome.failure) ? Side::Source : Side::Target,
                       source, FailureText(outcome, source, destination), outcome.error);
            return;
        }
        m_bytes += outcome.bytes;
        ++m_copied;
        m_progress.FileCopied();
        if (m_options.verify && e.kind == Platform::FileKind::Regular) {
            const std::lock_guard lock(m_resultMutex);
            m_toVerify.push_back(CopiedFile{item.number, place.node, &e});
        }
    }

    // The texts of the file about to be copied, in the order of the walk: with several
    // threads a file may start a moment before the one ahead of it.
    void ShowTexts(const Place& place, const Item& item) {
        const std::lock_guard lock(m_textMutex);
        if (item.number < m_shownNumber)
            return;
        m_shownNumber = item.number;
        const std::size_t node = place.node;
        m_text.assign("from: ")
            .append(m_sources[node], m_fromCut)
            .append(1, kSeparator)
            .append(item.entry->name);
        m_progress.SetFromText(m_text);
        m_text.assign("to: ")
            .append(m_destinations[node], m_toCut)
            .append(1, kSeparator)
            .append(item.entry->name);
        m_progress.SetToText(m_text);
    }

    // A failure that concerns one item ends the copy, unless the copy goes on past such
    // items; then it is listed. One that concerns the whole copy always ends it: a full disk
    // or a device gone on the target's side, a target or source root that is not where it
    // was. Which of the two it is, is decided by the side that failed.
    void ItemFailed(std::int64_t number, Side side, const std::string& sourcePath,
                    std::string message, int error) {
        if (m_options.keepGoing) {
            if (side == Side::Target && Platform::IsTargetWideError(error)) {
                return Failed(number, QuillError(message, error, sourcePath));
            }
            if (TargetGone())
                return Failed(number, QuillError(kTargetGoneText + m_targetRoot, 0, m_targetRoot));
            if (SourceGone())
                return Failed(
                    number, QuillError(kSourceGoneText + m_sources.front(), 0, m_sources.front()));
            return Skipped(number, sourcePath, std::move(message), error);
        }
        Failed(number, QuillError(message, error, sourcePath));
    }

    // A root that is no longer where it was (moved away, removed) or, for the target, can no
    // longer take new files.
    static bool RootGone(const std::string& path, const Platform::FileId& id, bool written) {
        Platform::FileId now;
        if (Platform::PathIdentity(path, now) != 0 || !(now == id))
            return true;
#ifndef _WIN32
        return written && !Platform::MayWrite(path);
#else
        return written && false;  // the rights of a folder are not told so simply
#endif
    }
    bool TargetGone() const {
        return RootGone(m_targetRoot, m_targetId, true);
    }
    bool SourceGone() const {
        return RootGone(m_sources.front(), m_sourceId, false);
    }

    void Failed(std::int64_t number, QuillError failure) {
        const std::lock_guard lock(m_resultMutex);
        if (!m_failure || number < m_endAt) {
            m_failure = std::move(failure);
            m_endAt = number;
        }
    }

    void Skipped(std::int64_t number, const std::string& sourcePath, std::string reason,
                 int error) {
        const std::lock_guard lock(m_resultMutex);
        m_skipped.emplace_back(
            number, SkippedItem{sourcePath.substr(std::min(m_sourceCut, sourcePath.size())),
                                std::move(reason), error});
    }

    bool StopAsked() const {
        return m_options.stop && m_options.stop->load(std::memory_order_relaxed);
    }
    // No more files are handed out once a stop is asked for or an item has failed.
    bool Ended() const {
        return StopAsked() || m_endAt.load() != kNoEnd;
    }

    void Stopped() {
        if (m_options.stop && m_options.stop->load(std::memory_order_relaxed))
            m_summary.stopped = true;
    }

    std::int64_t Number() {
        return m_number++;
    }

    // What the copy did so far, in the summary: also after a failure, so that it tells how
    // far it got; the items passed over in the order of the walk.
    void Publish() {
        const std::lock_guard lock(m_resultMutex);
        m_summary.copied = m_copied;
        m_summary.bytes = m_bytes;
        std::stable_sort(m_skipped.begin(), m_skipped.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        m_summary.skipped.clear();
        for (const auto& [number, item] : m_skipped) m_summary.skipped.push_back(item);
    }

    // Reads every copied file back from the disk and compares it with its source, on the
    // copying threads; the files that do not match are listed in the order of the walk.
    void Verify() {
        std::sort(m_toVerify.begin(), m_toVerify.end(),
                  [](const CopiedFile& a, const CopiedFile& b) { return a.number < b.number; });
        std::int64_t bytes = 0;
        for (const CopiedFile& c : m_toVerify) bytes += c.entry->size;
        m_progress.Verifying(static_cast<std::int64_t>(m_toVerify.size()), bytes);
        std::atomic<std::int64_t> verified{0};
        std::vector<std::pair<std::int64_t, Mismatch>> mismatches;
        ParallelFor(
            m_toVerify.size(), static_cast<unsigned>(m_jobs),
            [&](std::size_t i) {
                const CopiedFile& c = m_toVerify[i];
                const std::string source = JoinPath(m_sources[c.node], c.entry->name);
                const Platform::ComparisonOutcome outcome = Platform::CompareFiles(
                    source, JoinPath(m_destinations[c.node], c.entry->name), this);
                ++verified;
                m_progress.FileCopied();
                if (outcome.result == Platform::Comparison::Same)
                    return;
                const std::lock_guard lock(m_resultMutex);
                mismatches.emplace_back(c.number, MismatchOf(source, outcome));
            },
            [this] { return StopAsked(); });
        std::sort(mismatches.begin(), mismatches.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        m_summary.verified = verified;
        for (auto& [number, mismatch] : mismatches)
            m_summary.mismatches.push_back(std::move(mismatch));
        Stopped();
    }

    Mismatch MismatchOf(const std::string& source,
                        const Platform::ComparisonOutcome& outcome) const {
        Mismatch m{source.substr(std::min(m_sourceCut, source.size())), "", "", outcome.error};
        switch (outcome.result) {
            case Platform::Comparison::SourceFailed:
                m.reason = kSourceUnreadableText;
                m.word = "source-unreadable";
                break;
            case Platform::Comparison::CopyFailed:
                m.reason = kCopyUnreadableText;
                m.word = "copy-unreadable";
                break;
            default:
                m.reason = kDifferentText;
                m.word = "different";
        }
        return m;
    }

    // Everything is written: to the disk with it, and only then is the target whole.
    void Finish() {
        m_progress.Syncing();
        if (const int err = m_target->to->SyncFileSystem(); err != 0)
            throw QuillError("Stream write error", err, m_targetRoot);
        if (TargetGone())
            throw QuillError(kTargetGoneText + m_targetRoot);
        if (SourceGone())
            throw QuillError(kSourceGoneText + m_sources.front());
        m_temporaries.reset();
        m_target->to->RemoveChild(kIncompleteMarker);
        m_target->to->SyncEntries();
    }

    void Copied(std::int64_t bytes) override {
        m_progress.AddBytes(bytes);
    }

    const DirTree& m_tree;
    CopyProgress& m_progress;
    const CopyOptions& m_options;
    CopySummary& m_summary;
    const std::string m_targetRoot;
    const std::vector<std::string> m_sources;
    const std::vector<std::string> m_destinations;
    const std::size_t m_fromCut;
    const std::size_t m_sourceCut;
    const std::size_t m_toCut;

    Platform::FileId m_sourceId;
    Platform::FileId m_targetId;
    std::shared_ptr<Place> m_target;
    std::unique_ptr<Platform::Directory> m_temporaries;
    Copiers* m_copiers = nullptr;
    std::int64_t m_number = 0;
    const int m_jobs;
    // Files handed to a copying thread at once: one by one without threads, so that each is
    // copied as the walk meets it; a few dozen small ones, or one large one, with them.
    const int m_batchFiles;
    static constexpr std::int64_t kBatchBytes = std::int64_t{8} << 20;

    static constexpr std::int64_t kNoEnd = std::numeric_limits<std::int64_t>::max();
    std::atomic<std::int64_t> m_endAt{kNoEnd};  // the number of the first failed item
    std::atomic<std::int64_t> m_copied{0};
    std::atomic<std::int64_t> m_bytes{0};
    std::mutex m_resultMutex;
    std::optional<QuillError> m_failure;
    std::vector<std::pair<std::int64_t, SkippedItem>> m_skipped;

    // What the copy made, to be read back when it is verified.
    struct CopiedFile {
        std::int64_t number;
        std::size_t node;
        const Platform::Entry* entry;
    };
    std::vector<CopiedFile> m_toVerify;
    std::vector<std::shared_ptr<const Place>> m_keptPlaces;

    std::mutex m_textMutex;
    std::int64_t m_shownNumber = -1;
    std::string m_text;
};

}  // namespace

bool OutputLiesInSource(const std::string& outputDir, const std::string& sourceDir) {
    const std::string source = Platform::CanonicalPath(sourceDir);
    const std::string output = CanonicalAsFarAsItExists(outputDir);
    if (source.empty() || output.empty())
        return false;
    const std::string& s = ComparablePath(source);
    const std::string& o = ComparablePath(output);
    return o == s || IsBelow(o, s);
}

int DefaultJobs() {
    if (const char* jobs = std::getenv("QUILLMERE_COPY_JOBS")) {
        const int n = std::atoi(jobs);
        if (n >= 1 && n <= 64)
            return n;
    }
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

std::string VerifyText(const CopySummary& s) {
    if (!s.mismatches.empty())
        return "校验发现 " + FormatThousands(static_cast<std::int64_t>(s.mismatches.size())) +
               " 个文件与源文件不符（已校验 " + FormatThousands(s.verified) + " 个文件）";
    if (s.stopped)
        return "校验已停止：已校验 " + FormatThousands(s.verified) + " 个文件";
    return "校验通过：" + FormatThousands(s.verified) + " 个文件";
}

bool TargetIncomplete(const std::string& dir) {
    return Platform::PathExists(PathBelow(dir, kIncompleteMarker));
}

bool TypeFilter::Passes(const std::string& key) const {
    const bool selected = std::find(types.begin(), types.end(), key) != types.end();
    return mode == FilterKind::Exclude ? !selected : selected;
}

bool PassesFilter(const std::string& key) {
    return TypeFilter{SelectedTypes, FilterMode}.Passes(key);
}

CopySummary RunFilterCopy(const DirTree& sourceTree, CopyProgress& progress,
                          const CopyOptions& options) {
    CopySummary summary;
    RunFilterCopy(sourceTree, progress, options, summary);
    return summary;
}

void RunFilterCopy(const DirTree& sourceTree, CopyProgress& progress, const CopyOptions& options,
                   CopySummary& summary) {
    summary = CopySummary{};
    if (!sourceTree.empty())
        Walk(sourceTree, progress, options, summary).Run();
}

std::int64_t CopyFileWhole(const std::string& source, const std::string& destination) {
    const Platform::CopyOutcome outcome = Platform::CopyFileContent(source, destination);
    if (outcome.failure != Platform::CopyFailure::None)
        throw QuillError(FailureText(outcome, source, destination));
    return outcome.bytes;
}

}  // namespace FunSub
