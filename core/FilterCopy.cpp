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
#include "core/CopyRecord.h"
#include "core/FileCopyPlatform.h"
#include "core/FilterMemory.h"
#include "core/FunSub.h"
#include "core/Parallel.h"
#include "core/TreeFilter.h"
#include "core/TreeStats.h"

namespace FunSub {
namespace {

std::atomic<FileCopyHook> g_fileCopyHook{nullptr};
std::atomic<FileCopyHook> g_chunkCopyHook{nullptr};

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

// The from-texts are relative to the work directory. When that was changed after the source
// was chosen it no longer lies above the source, and cutting its length would show a mangled
// path; the source's parent is shown from instead, so the text still begins with the
// source's own name.
std::size_t FromTextCut(const std::string& workDir, const std::string& sourceRoot) {
    const std::size_t shown = PathShownFrom(workDir, sourceRoot).size();
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

// A directory of the source and the one made for it in the target, open while the copy
// works in them; shared by the files on their way through the copying threads.
struct Place {
    std::unique_ptr<Platform::Directory> from;  // null where the source cannot be read
    std::unique_ptr<Platform::Directory> to;
    std::size_t node = 0;
    // The directory's own listing, when the copy reads it itself (no check before it).
    std::shared_ptr<const std::vector<Platform::Entry>> listing;
};

// The directories on the path from the root to where the walk is, by level. The root and
// the deepest few stay open, so that a deep tree holds few descriptors; one closed on the way
// down is opened again through ".." of the one below it as the walk climbs back, and must be
// the very directory it was, on both sides.
class OpenLevels {
public:
    // Ends the path at `level`, the level of the node the walk enters next; the directory
    // there is set by Push. Returns its parent, opened again if it was closed; null when that
    // fails, with `moved` set to 1 when the source's directory is not the one it was, 2 the
    // target's, 0 when it cannot be opened at all (`error`).
    std::shared_ptr<Place> Parent(std::size_t level, int& moved, int& error) {
        const std::size_t parent = level - 1;
        moved = error = 0;
        if (parent > 0 && parent < m_lowestOpen) {
            for (std::size_t l = m_lowestOpen; l > parent; --l) {
                m_levels[l - 1].place = Reopen(*m_levels[l].place, m_levels[l - 1], moved, error);
                if (!m_levels[l - 1].place) {
                    m_levels.resize(parent);
                    m_lowestOpen = parent;
                    return nullptr;
                }
            }
            m_lowestOpen = parent;
        }
        m_levels.resize(level);
        m_lowestOpen = std::min(m_lowestOpen, m_levels.size());
        return m_levels[parent].place;
    }

    // The directory entered at the next level. The one nearest the root other than the root
    // itself is closed when too many are open.
    void Push(std::shared_ptr<Place> place) {
        const std::size_t node = place->node;
        m_levels.push_back(Level{std::move(place), node, {}, {}});
        if (m_levels.size() - m_lowestOpen <= kOpen)
            return;
        Level& oldest = m_levels[m_lowestOpen];
        if (oldest.place->from->Identity(oldest.from) != 0 ||
            oldest.place->to->Identity(oldest.to) != 0)
            return;  // kept open: it could not be found again
        oldest.place.reset();
        ++m_lowestOpen;
    }

private:
    // Two descriptors each: a few dozen levels are deep for a tree, and little for the limit.
    static constexpr std::size_t kOpen = 48;

    struct Level {
        std::shared_ptr<Place> place;  // null while closed
        std::size_t node = 0;
        Platform::FileId from, to;  // what it was when it was closed
    };

    // The parent of `below`, which must be what `want` was.
    static std::shared_ptr<Place> Reopen(const Place& below, const Level& want, int& moved,
                                         int& error) {
        auto up = std::make_shared<Place>();
        Platform::FileId from, to;
        error = below.from->OpenParent(up->from);
        if (error == 0)
            error = below.to->OpenParent(up->to);
        if (error == 0 && (error = up->from->Identity(from)) == 0 && from != want.from)
            moved = 1;
        if (error == 0 && moved == 0 && (error = up->to->Identity(to)) == 0 && to != want.to)
            moved = 2;
        if (error != 0 || moved != 0)
            return nullptr;
        up->node = want.node;
        return up;
    }

    std::vector<Level> m_levels;
    std::size_t m_lowestOpen = 1;  // levels 1 up to this one are closed
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

// The first error of the syncs of one copy. A file system reports an error of its write-back
// once to each open description: a sync that saw it consumes it, so a later one on the same
// descriptor returns 0 although the data never reached the disk.
class FirstError {
public:
    void Keep(int err) {
        const std::lock_guard lock(m_mutex);
        if (m_err == 0)
            m_err = err;
    }
    int Get() const {
        const std::lock_guard lock(m_mutex);
        return m_err;
    }

private:
    mutable std::mutex m_mutex;
    int m_err = 0;
};

// Sends what the copy has written to the disk while it goes on, a few megabytes at a time, so
// that the disk writes while the copy reads and creates, and little is left for the end. Each
// file costs the disk about as much as some kilobytes of data, so a tree of small files is
// sent out as often as one of large files.
class Flusher {
public:
    // `sync` puts everything written so far on the disk.
    Flusher(const std::atomic<std::int64_t>& bytes, const std::atomic<std::int64_t>& files,
            std::function<void()> sync)
        : m_thread([this, &bytes, &files, sync = std::move(sync)] {
              const auto written = [&] { return bytes + files * kPerFile; };
              std::int64_t flushed = 0;
              std::unique_lock lock(m_mutex);
              while (!m_done) {
                  m_wake.wait_for(lock, std::chrono::milliseconds(20));
                  if (!m_done && written() - flushed >= kEvery) {
                      flushed = written();
                      lock.unlock();
                      sync();
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
    static constexpr std::int64_t kEvery = std::int64_t{4} << 20;
    static constexpr std::int64_t kPerFile = std::int64_t{8} << 10;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

class Walk : private Platform::CopyListener {
public:
    Walk(const CopyJob& job, const DirTree& tree, CopyProgress& progress, CopySummary& summary)
        : m_job(job),
          m_tree(tree),
          m_applied(tree, job.filter, job.options.plan ? &job.options.plan->listings : nullptr),
          m_progress(progress),
          m_options(job.options),
          m_summary(summary),
          m_targetRoot(PathBelow(job.outputDir, job.targetName)),
          m_sources(AllNodePaths(tree)),
          m_destinations(DestinationDirs(tree, m_targetRoot)),
          m_fromCut(FromTextCut(job.workDir, m_sources.front())),
          m_sourceCut(CutBelow(m_sources.front())),
          m_toCut(m_targetRoot.size() - job.targetName.size()),
          m_jobs(job.options.jobs > 0 ? job.options.jobs : DefaultJobs()),
          m_batchFiles(m_jobs > 1 ? 64 : 1) {}

    ~Walk() { Publish(); }

    void Run() {
        if (OutputLiesInSource(m_job.outputDir, m_sources.front()))
            throw OutputInsideSourceError();
        std::shared_ptr<Place> root = OpenRoots();
        Record();
        m_progress.SetMax(m_job.fileTotal);
        m_progress.SetStep(1);
        {
            const Flusher flusher(m_bytes, m_copied, [this] { DurablePoint(); });
            Copiers copiers(m_jobs > 1 ? m_jobs : 0, [this](const Job& job) { Copy(job); });
            m_copiers = &copiers;
            WalkNodes(std::move(root));
            copiers.Finish();
            m_copiers = nullptr;
        }
        Publish();
        if (m_failure)
            throw *m_failure;
        // Once every file is whole, a stop asked for now would only leave a complete copy
        // looking unfinished: the copy is made durable and done.
        // A stopped copy is on the disk too, so that its disk may go, and whatever a later
        // continuing finds listed is not read again.
        if (m_cutShort && StopAsked()) {
            m_summary.stopped = true;
            if (!m_syncEach)
                DurablePoint();
            return;
        }
        Finish();
    }

private:
    // The source root and the new target root with its marker. The target must not exist,
    // and must really be new when made, so that a copy never mixes with an older tree.
    std::shared_ptr<Place> OpenRoots() {
        if (m_job.targetName.empty())
            throw QuillError("No target name has been chosen for this source");
        if (m_job.outputDir.empty())
            throw QuillError("No output directory has been set");
        auto root = std::make_shared<Place>();
        if (const int err = Platform::Directory::Open(m_sources.front(), root->from))
            throw IoError(err, m_sources.front(), Side::Source);
        root->from->Identity(m_sourceId);
        if (Platform::PathExists(m_targetRoot))
            throw TargetExistsError();
        Platform::CreateDirectories(m_job.outputDir);  // a failure shows as the next step's
        std::unique_ptr<Platform::Directory> output;
        if (const int err = Platform::Directory::Open(m_job.outputDir, output))
            throw CannotCreate(m_targetRoot, err, {}, Side::TargetRoot);
        MakeMarkedTarget(*output, root->from->Mode());
        if (output->OpenChild(m_job.targetName, root->to) != 0 ||
            root->to->Identity(m_targetId) != 0 ||
            root->to->OpenChild(kIncompleteMarker, m_temporaries) != 0)
            throw TargetGoneFailure(m_targetRoot);
        m_syncEach = !root->to->SyncFileSystemReachesDisk();
        m_target = root;
        if (m_job.options.record)
            RecordCopy(m_targetRoot, m_targetId, m_sources.front(), m_job.filter);
        return root;
    }

    // The job, inside the marker: what continuing the copy after a kill or a power cut needs.
    void Record() {
        const CopyRecord record{m_sources.front(), m_job.workDir, m_job.filter, m_options.verify};
        if (const int err = WriteCopyRecord(m_targetRoot, record))
            throw CannotCreate(PathBelow(PathBelow(m_targetRoot, kIncompleteMarker), kRecordName),
                               err, {}, Side::TargetRoot);
    }

    // Syncs the target's file system; when that and every sync before it held, the files
    // whole before it began are on the disk, and the marker's list says so.
    void DurablePoint() {
        std::vector<DurableFile> covered;
        {
            const std::lock_guard lock(m_durableMutex);
            covered.swap(m_whole);
        }
        m_syncErrors.Keep(m_target->to->SyncFileSystem());
        if (m_syncErrors.Get() == 0)
            Durable(covered);
    }

    // Lists `files` as durable in the marker.
    void Durable(const std::vector<DurableFile>& files) {
        const std::lock_guard lock(m_listMutex);
        AppendDurableFiles(m_targetRoot, files);  // a file left out is compared instead
    }

    // The file `name` of node `node` relative to the target's root.
    std::string TargetRelative(std::size_t node, const std::string& name) const {
        return node == 0 ? name
                         : JoinPath(m_destinations[node].substr(CutBelow(m_targetRoot)), name);
    }

    // Makes the target under a hidden name with its marker inside, puts both on the disk, and
    // only then gives the target its name, replacing nothing: no target is ever seen without
    // its marker, not after a kill, not after a power cut. Where the file system cannot rename
    // without replacing (FUSE ones; fusefat even loses what a renamed directory holds), the
    // target is made under its name at once, its marker right after.
    void MakeMarkedTarget(const Platform::Directory& output, unsigned mode) {
        const std::string hidden = HiddenName();
        int err = MakeWithMarker(output, hidden, mode);
        if (err == 0)
            err = output.RenameChild(hidden, m_job.targetName);
        if (err == Platform::kNoReplaceRefused) {
            RemoveWithMarker(output, hidden);
            err = MakeWithMarker(output, m_job.targetName, mode);
        } else if (err != 0) {
            RemoveWithMarker(output, hidden);
        }
        if (err == Platform::kAlreadyExists)
            throw TargetExistsError();
        if (err == 0)
            err = output.SyncEntries();
        if (err != 0)
            throw CannotCreate(m_targetRoot, err, {}, Side::TargetRoot);
    }

    // Makes the directory `name` with the marker inside, both on the disk.
    static int MakeWithMarker(const Platform::Directory& output, const std::string& name,
                              unsigned mode) {
        std::unique_ptr<Platform::Directory> made;
        std::unique_ptr<Platform::Directory> marker;
        int err = output.MakeChild(name, mode, made);
        if (err == 0)
            err = made->MakeChild(kIncompleteMarker, 0700, marker);
        if (err == 0)
            err = made->SyncEntries();
        if (err != 0 && made)
            RemoveWithMarker(output, name);
        return err;
    }

    static void RemoveWithMarker(const Platform::Directory& output, const std::string& name) {
        std::unique_ptr<Platform::Directory> made;
        if (output.OpenChild(name, made) == 0)
            made->RemoveChild(kIncompleteMarker);
        output.RemoveChild(name);
    }

    std::string HiddenName() const {
        static std::atomic<unsigned> made{0};
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return "." + m_job.targetName + ".quillmere-new-" + std::to_string(now % 1000000007) + "-" +
               std::to_string(made++);
    }

    // Every node by index, each directory made before its files and its subdirectories.
    void WalkNodes(std::shared_ptr<Place> root) {
        OpenLevels open;     // the directories on the path
        int skipBelow = -1;  // the level of a directory passed over with all below it
        for (std::size_t i = 0; i < m_sources.size(); ++i) {
            m_options.stop.Pass();  // no directory is made while the copy is paused
            if (Ended()) {
                m_cutShort = true;
                return;
            }
            const DirNode& node = m_tree.nodes[i];
            if (skipBelow >= 0 && node.level > skipBelow)
                continue;
            skipBelow = -1;
            if (m_applied.LeftOut(i)) {
                skipBelow = node.level;
                continue;
            }
            std::shared_ptr<Place> place;
            if (i == 0) {
                place = std::move(root);
            } else {
                const StopToken::Working working(m_options.stop);
                place = Enter(i, open);
            }
            if (!place || !place->from) {
                skipBelow = node.level;
                continue;
            }
            Remember(*place);
            open.Push(place);
            CopyFilesOf(place);
        }
    }

    // Enters node `i` below its parent on the path `open`.
    std::shared_ptr<Place> Enter(std::size_t i, OpenLevels& open) {
        const auto level = static_cast<std::size_t>(m_tree.nodes[i].level);
        int moved = 0, error = 0;
        const std::shared_ptr<Place> parent = open.Parent(level, moved, error);
        if (parent)
            return Enter(i, *parent);
        const auto up = static_cast<std::size_t>(m_tree.nodes[i].parent);
        if (moved == 2)
            Failed(Number(), TargetGoneFailure(m_destinations[up]));
        else if (moved == 1)
            Failed(Number(), SourceGoneFailure(m_sources[up]));
        else
            Failed(Number(), IoError(error, m_sources[up], Side::Source));
        return nullptr;
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
            ItemFailed(Number(), CannotCreate(m_destinations[i], made, m_sources[i], Side::Target));
            return nullptr;
        }
        if (const int synced = SyncEach(*parent.to)) {
            Failed(Number(), QuillError("Stream write error", synced, m_destinations[parent.node],
                                        Side::Target));
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
            ItemFailed(Number(), IoError(err, m_sources[i], Side::Source));
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
            // Sizes only where a rule asks for them: a stat of each file costs.
            const Platform::Detail detail = m_job.filter.rules().sizeLimit >= 0
                                                ? Platform::Detail::Full
                                                : Platform::Detail::Kinds;
            if (const int err = Platform::ListDirectory(m_sources[i], detail, *listed))
                return ItemFailed(Number(), IoError(err, m_sources[i], Side::Source));
            place->listing = listed;
            entries = listed.get();
        }
        Job job;
        for (const Platform::Entry& e : *entries) {
            if (e.isDirectory)
                continue;
            if (Ended()) {
                m_cutShort = true;
                break;
            }
            ++m_summary.examined;
            m_progress.StepIt();
            if (!m_applied.PassesFile(i, e))
                continue;
            if (e.kind == Platform::FileKind::Special) {
                Skipped(Number(), QuillError(kSpecialFileText, Reason::SpecialFile, 0,
                                             JoinPath(m_sources[i], e.name), Side::Source));
                continue;
            }
            // The copy's own marker takes that name in the target root until the copy is
            // whole; a file of the user's by that name cannot be put beside it.
            if (i == 0 && e.name == kIncompleteMarker) {
                Skipped(Number(), QuillError(kMarkerNameText, Reason::MarkerName, 0,
                                             JoinPath(m_sources[i], e.name), Side::Target));
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
            m_keptListings.push_back(place->listing);  // it names the files read back later
        m_copiers->Add(std::move(job));
        job = Job{};
    }

    // Copies the files of a job; on a copying thread, or on the walk's when there are none.
    // Where syncing the whole file system does not reach the disk, the names the job made
    // are made durable with their directory.
    // The files are durable once synced: here, where each is synced with its directory, or
    // at the flusher's next sync.
    void Copy(const Job& job) {
        std::vector<DurableFile> whole;
        for (const Item& item : job.items) {
            if (CopyFileWhole(*job.place, item))
                whole.push_back(DurableFile{TargetRelative(job.place->node, item.entry->name),
                                            item.entry->size, item.entry->mtime});
        }
        if (const int synced = SyncEach(*job.place->to)) {
            Failed(job.items.back().number,
                   QuillError("Stream write error", synced, m_destinations[job.place->node],
                              Side::Target));
        } else if (m_syncEach) {
            Durable(whole);
        } else {
            const std::lock_guard lock(m_durableMutex);
            m_whole.insert(m_whole.end(), whole.begin(), whole.end());
        }
    }

    // Syncs the entries of `dir` where each must be synced by itself (see m_syncEach); 0 or
    // the error number.
    int SyncEach(const Platform::Directory& dir) const {
        return m_syncEach ? dir.SyncEntries() : 0;
    }

    // Copies one file whole into a new file of the target (a link as a link). After a stop
    // only the files in progress are finished; after a failure, also every file the walk met
    // before the failing item. True when it was copied.
    bool CopyFileWhole(const Place& place, const Item& item) {
        const StopToken::Working working(m_options.stop);  // begins only while not paused
        if (StopAsked() || item.number > m_endAt.load()) {
            m_cutShort = true;
            return false;
        }
        if (const FileCopyHook hook = g_fileCopyHook.load(std::memory_order_relaxed))
            hook();
        const Platform::Entry& e = *item.entry;
        ShowTexts(place, item);
        const Platform::CopyRequest request{place.from.get(),    e.name, place.to.get(), e.name,
                                            m_temporaries.get(), this,   m_syncEach};
        const Platform::CopyOutcome outcome = e.kind == Platform::FileKind::Link
                                                  ? Platform::CopyLink(request)
                                                  : Platform::CopyFileContent(request);
        if (outcome.failure != Platform::CopyFailure::None) {
            const std::string source = JoinPath(m_sources[place.node], e.name);
            const std::string destination = JoinPath(m_destinations[place.node], e.name);
            ItemFailed(item.number, CopyFailureError(outcome, source, destination));
            return false;
        }
        m_bytes += outcome.bytes;
        ++m_copied;
        m_progress.FileCopied();
        if (m_options.verify && e.kind == Platform::FileKind::Regular) {
            const std::lock_guard lock(m_resultMutex);
            m_toVerify.push_back(CopiedFile{item.number, place.node, &e});
        }
        return true;
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
    void ItemFailed(std::int64_t number, QuillError failure) {
        if (!m_options.keepGoing ||
            (failure.side() == Side::Target && Platform::IsTargetWideError(failure.error())))
            return Failed(number, std::move(failure));
        if (TargetGone())
            return Failed(number, TargetGoneFailure(m_targetRoot));
        if (SourceGone())
            return Failed(number, SourceGoneFailure(m_sources.front()));
        Skipped(number, failure);
    }

    // A root that is no longer where it was (moved away, removed) or, for the target, can no
    // longer take new files.
    static bool RootGone(const std::string& path, const Platform::FileId& id, bool written) {
        Platform::FileId now;
        if (Platform::PathIdentity(path, now) != 0 || !(now == id))
            return true;
        return written && !Platform::MayWrite(path);
    }
    bool TargetGone() const { return RootGone(m_targetRoot, m_targetId, true); }
    bool SourceGone() const { return RootGone(m_sources.front(), m_sourceId, false); }
    // The failure of a target, or a source directory, that is not where it was; `shown` is
    // where in the target it was missed.
    QuillError TargetGoneFailure(const std::string& shown) const {
        return QuillError(kTargetGoneText + shown, 0, m_targetRoot, Side::TargetRoot);
    }
    static QuillError SourceGoneFailure(const std::string& dir) {
        return QuillError(kSourceGoneText + dir, 0, dir, Side::Source);
    }

    void Failed(std::int64_t number, QuillError failure) {
        const std::lock_guard lock(m_resultMutex);
        if (!m_failure || number < m_endAt) {
            m_failure = std::move(failure);
            m_endAt = number;
        }
    }

    // Lists the item `failure` concerns (its path) as passed over, for what it says.
    void Skipped(std::int64_t number, const QuillError& failure) {
        const std::string& sourcePath = failure.path();
        const std::lock_guard lock(m_resultMutex);
        m_skipped.emplace_back(
            number, SkippedItem{sourcePath.substr(std::min(m_sourceCut, sourcePath.size())),
                                failure.what(), failure.error(), failure.cause()});
    }

    bool StopAsked() const { return m_options.stop.requested(); }
    // No more files are handed out once a stop is asked for or an item has failed.
    bool Ended() const { return StopAsked() || m_endAt.load() != kNoEnd; }

    std::int64_t Number() { return m_number++; }

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
        FindMovedDirectories();
        std::atomic<std::int64_t> verified{0};
        std::vector<std::pair<std::int64_t, Mismatch>> mismatches;
        ParallelFor(
            m_toVerify.size(), static_cast<unsigned>(m_jobs),
            [&](std::size_t i) {
                const StopToken::Working working(m_options.stop);
                if (StopAsked())
                    return;  // stopped while it was paused
                const CopiedFile& c = m_toVerify[i];
                const std::string source = JoinPath(m_sources[c.node], c.entry->name);
                const Platform::ComparisonOutcome outcome =
                    m_moved[c.node]
                        ? Platform::ComparisonOutcome{Platform::Comparison::SourceFailed}
                        : Platform::CompareFiles(
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
        m_summary.stopped = StopAsked();
    }

    // Where each directory was when the copy entered it, for reading back by path later.
    void Remember(const Place& place) {
        if (!m_options.verify)
            return;
        m_placeIds.resize(m_sources.size());
        place.from->Identity(m_placeIds[place.node].first);
        place.to->Identity(m_placeIds[place.node].second);
    }

    // The directories whose paths no longer lead to the directories copied from and into (one
    // on the way was moved, or swapped for a link): their files are not read back by those
    // paths, which would compare other files, but fail.
    void FindMovedDirectories() {
        m_moved.assign(m_sources.size(), false);
        m_placeIds.resize(m_sources.size());
        std::vector<bool> looked(m_sources.size());
        Platform::FileId from, to;
        for (const CopiedFile& c : m_toVerify) {
            if (looked[c.node])
                continue;
            looked[c.node] = true;
            const auto& [wasFrom, wasTo] = m_placeIds[c.node];
            m_moved[c.node] = Platform::PathIdentity(m_sources[c.node], from) != 0 ||
                              Platform::PathIdentity(m_destinations[c.node], to) != 0 ||
                              from != wasFrom || to != wasTo;
        }
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

    // Everything is written: to the disk with it, read back when asked to, and only when all
    // of that held is the target whole. A verify that found a file unlike its source leaves
    // the marker; one that was stopped leaves a whole copy, only not read back.
    void Finish() {
        m_progress.Syncing();
        {
            const StopToken::Working working(m_options.stop);
            m_syncErrors.Keep(m_target->to->SyncFileSystem());
        }
        if (const int err = m_syncErrors.Get(); err != 0)
            throw QuillError("Stream write error", err, m_targetRoot, Side::TargetRoot);
        if (TargetGone())
            throw TargetGoneFailure(m_targetRoot);
        if (SourceGone())
            throw SourceGoneFailure(m_sources.front());
        if (m_options.verify) {
            Verify();
            if (!m_summary.mismatches.empty()) {
                DropDurableFiles(m_targetRoot);
                return;
            }
        }
        m_temporaries.reset();
        // The root's entries are on the disk before the marker goes, and its going after.
        int err = EmptyMarker(m_targetRoot);
        if (err == 0)
            err = m_target->to->SyncEntries();
        if (err == 0)
            err = m_target->to->RemoveChild(kIncompleteMarker);
        if (err == 0)
            err = m_target->to->SyncEntries();
        if (err != 0)
            throw QuillError("Stream write error", err, m_targetRoot, Side::TargetRoot);
    }

    // After each part of a file copied or read back: where a paused copy rests.
    void Copied(std::int64_t bytes) override {
        if (const FileCopyHook hook = g_chunkCopyHook.load(std::memory_order_relaxed))
            hook();
        m_progress.AddBytes(bytes);
        m_options.stop.Rest();
    }

    const CopyJob& m_job;
    const DirTree& m_tree;
    const TreeFilter m_applied;  // the filter on this tree
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
    // Syncing the target's file system does not reach its disk (FUSE): each file is synced
    // before it is final, and each directory after it got new names.
    bool m_syncEach = false;
    Copiers* m_copiers = nullptr;
    FirstError m_syncErrors;
    // Files whole since the last sync, which the next one makes durable.
    std::mutex m_durableMutex;
    std::vector<DurableFile> m_whole;
    std::mutex m_listMutex;  // one writer at a time to the marker's list
    // Set when a stop or a failure left files of the walk uncopied.
    std::atomic<bool> m_cutShort{false};
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
    std::vector<std::pair<Platform::FileId, Platform::FileId>> m_placeIds;  // by node
    std::vector<bool> m_moved;  // by node: its directories are not where they were
    std::vector<std::shared_ptr<const std::vector<Platform::Entry>>> m_keptListings;

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
    const std::string s = Platform::PathKey(source);
    const std::string o = Platform::PathKey(output);
    return o == s || IsBelow(o, s);
}

void SetFileCopyHook(FileCopyHook hook) {
    g_fileCopyHook = hook;
}

void SetChunkCopyHook(FileCopyHook hook) {
    g_chunkCopyHook = hook;
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
    // A file of that name is a user's; only the directory is the copy's marker.
    return Platform::IsDirectory(PathBelow(dir, kIncompleteMarker));
}

CopySummary RunFilterCopy(const CopyJob& job, const DirTree& sourceTree, CopyProgress& progress) {
    CopySummary summary;
    RunFilterCopy(job, sourceTree, progress, summary);
    return summary;
}

void RunFilterCopy(const CopyJob& job, const DirTree& sourceTree, CopyProgress& progress,
                   CopySummary& summary) {
    summary = CopySummary{};
    if (!sourceTree.empty())
        Walk(job, sourceTree, progress, summary).Run();
}

QuillError CopyFailureError(const Platform::CopyOutcome& outcome, const std::string& source,
                            const std::string& destination) {
    const Side side = Platform::IsSourceSide(outcome.failure) ? Side::Source : Side::Target;
    std::string message = "Stream write error";
    switch (outcome.failure) {
        case Platform::CopyFailure::OpenSource:
            message = "Cannot open file " + source;
            break;
        case Platform::CopyFailure::CreateDestination:
            return CannotCreate(destination, outcome.error, source, side);
        case Platform::CopyFailure::Read:
            message = "Stream read error";
            break;
        case Platform::CopyFailure::SourceChanged:
            message = std::string(kSourceChangedText) + "：" + source;
            break;
        case Platform::CopyFailure::Write:
        case Platform::CopyFailure::None:
            break;
    }
    return QuillError(message, outcome.error, source, side);
}

}  // namespace FunSub
