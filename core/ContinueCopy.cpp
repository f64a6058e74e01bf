#include "core/ContinueCopy.h"

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "core/DirTree.h"
#include "core/FileCopyPlatform.h"
#include "core/FunSub.h"
#include "core/GitIgnore.h"
#include "core/Platform.h"
#include "core/TreeFilter.h"
#include "core/TreeScan.h"

namespace FunSub {
namespace {

// The source as the copy took it: a directory the filter leaves out is never read.
ScannedTree ScanSource(const CopyRecord& record, const StopToken& stop) {
    ScanOptions options;
    options.stop = stop;
    const CopyFilter& filter = record.filter;
    if (!filter.rules().empty())
        options.enter = [&filter](const std::string& name) { return filter.PassesDirectory(name); };
    std::optional<GitIgnore> git;
    if (filter.rules().gitignore)
        options.ignore = &git.emplace(record.source);
    return ScanTree(record.source, RootLabel::AsGiven, options);
}

// A file of the target that is to be equal to its source once the copy is whole.
struct Placed {
    std::string source;
    std::string target;
    std::int64_t size = 0;
};

// One continuing: the source walked again with the record's filter, the target brought level
// with it directory by directory, then synced, read back when asked, and unmarked.
class Continuation : private Platform::CopyListener {
public:
    Continuation(const std::string& root, CopyRecord record, const CopyOptions& options,
                 CopyProgress& progress, ContinueSummary& summary)
        : m_root(root),
          m_marker(PathBelow(root, kIncompleteMarker)),
          m_record(std::move(record)),
          m_options(options),
          m_progress(progress),
          m_summary(summary),
          m_verify(options.verify || m_record.verify) {}

    // Raises what ends it; `m_summary` says how far it got.
    void Run() {
        ScannedTree scanned = ScanSource(m_record, m_options.stop);
        if (scanned.stopped || m_options.stop.requested()) {
            m_summary.copy.stopped = true;
            return;
        }
        if (const int err = Platform::Directory::Open(m_marker, m_temporaries))
            throw IoError(err, m_marker, Side::TargetRoot);
        m_syncEach = !m_temporaries->SyncFileSystemReachesDisk();
        m_durable = ReadDurableFiles(m_root);
        m_progress.SetMax(scanned.fileCount);
        m_progress.SetStep(1);
        const TreeFilter applied(scanned.tree, m_record.filter, &scanned.files);
        WalkNodes(scanned, applied);
        if (m_summary.copy.stopped)
            return;
        Finish();
    }

private:
    // Every node of the source by index, each directory made (when missing) before its files.
    void WalkNodes(const ScannedTree& scanned, const TreeFilter& applied) {
        const DirTree& tree = scanned.tree;
        const std::vector<std::string> sources = AllNodePaths(tree);
        const std::vector<std::vector<int>> children = ChildrenOf(tree);
        std::vector<std::string> relative(tree.nodes.size());
        int skipBelow = -1;
        for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
            const DirNode& node = tree.nodes[i];
            if (skipBelow >= 0 && node.level > skipBelow)
                continue;
            skipBelow = -1;
            if (node.parent >= 0) {
                const std::string& up = relative[static_cast<std::size_t>(node.parent)];
                relative[i] = up.empty() ? node.label : JoinPath(up, node.label);
            }
            if (applied.LeftOut(i) || !EnterNode(sources[i], relative[i], node)) {
                skipBelow = node.level;
                continue;
            }
            std::unordered_set<std::string> expected;
            for (const int child : children[i])
                if (!applied.LeftOut(static_cast<std::size_t>(child)))
                    expected.insert(Platform::PathKey(tree.nodes[child].label));
            if (!node.loop)
                ContinueFiles(sources[i], relative[i], scanned.files[i], i, applied, expected);
            if (m_summary.copy.stopped)
                return;
            ListExtras(relative[i], expected);
        }
    }

    // The target's directory `relative` below its root.
    std::string TargetDir(const std::string& relative) const {
        return relative.empty() ? m_root : JoinPath(m_root, relative);
    }

    // Makes the target's directory for a node where it is missing and lists what it holds;
    // false when the node's files cannot be copied.
    bool EnterNode(const std::string& source, const std::string& relative, const DirNode& node) {
        const std::string target = TargetDir(relative);
        if (!Platform::IsDirectory(target)) {
            int err = Platform::PathExists(target) ? Platform::kAlreadyExists : 0;
            if (err == 0)
                err = Platform::CreateDirectories(target);
            if (err != 0) {
                ItemFailed(CannotCreate(target, err, source, Side::Target));
                return false;
            }
            Changed(relative);
        }
        m_there.clear();
        std::vector<Platform::Entry> entries;
        if (const int err = Platform::ListDirectory(target, Platform::Detail::Full, entries)) {
            ItemFailed(IoError(err, target, Side::Target));
            return false;
        }
        for (Platform::Entry& e : entries) m_there.emplace(Platform::PathKey(e.name), std::move(e));
        if (node.error != 0) {
            ItemFailed(IoError(node.error, source, Side::Source));
            return false;
        }
        return true;
    }

    // The directory of `relative` (or of its parent) got new names.
    void Changed(const std::string& relative) {
        if (m_syncEach)
            m_changedDirs.push_back(relative);
    }

    // The files of one source directory that the filter passes, each made whole in the
    // target's directory; their names go into `expected`.
    void ContinueFiles(const std::string& source, const std::string& relative,
                       const std::vector<Platform::Entry>& files, std::size_t node,
                       const TreeFilter& applied, std::unordered_set<std::string>& expected) {
        std::unique_ptr<Platform::Directory> from, to;
        int err = Platform::Directory::Open(source, from);
        if (err != 0)
            return ItemFailed(IoError(err, source, Side::Source));
        if ((err = Platform::Directory::Open(TargetDir(relative), to)) != 0)
            return ItemFailed(IoError(err, TargetDir(relative), Side::Target));
        for (const Platform::Entry& e : files) {
            if (m_options.stop.requested()) {
                m_summary.copy.stopped = true;
                return;
            }
            ++m_summary.copy.examined;
            m_progress.StepIt();
            if (!applied.PassesFile(node, e) || e.kind == Platform::FileKind::Special ||
                (node == 0 && e.name == kIncompleteMarker))
                continue;  // the copy passed these over, and said so then
            expected.insert(Platform::PathKey(e.name));
            const auto there = m_there.find(Platform::PathKey(e.name));
            const File file{*from,    *to, JoinPath(source, e.name),
                            relative, e,   there == m_there.end() ? nullptr : &there->second};
            ContinueFile(file);
        }
    }

    // One file of the source and what the target holds in its place, if anything.
    struct File {
        const Platform::Directory& from;
        const Platform::Directory& to;
        std::string source;
        std::string relativeDir;
        const Platform::Entry& entry;
        const Platform::Entry* there;
    };

    // The file's path below the target's root, as the list of durable files names it.
    std::string Relative(const File& f) const {
        return f.relativeDir.empty() ? f.entry.name : JoinPath(f.relativeDir, f.entry.name);
    }

    // Keeps the file there when it is whole, else makes it so.
    void ContinueFile(const File& f) {
        const std::string target = JoinPath(TargetDir(f.relativeDir), f.entry.name);
        const Platform::Entry* there = f.there;
        if (there && there->isDirectory)
            return ItemFailed(
                CannotCreate(target, Platform::kAlreadyExists, f.source, Side::Target));
        if (there && f.entry.kind == Platform::FileKind::Regular &&
            there->kind == Platform::FileKind::Regular && Whole(f, target))
            return;
        // A link is made again; anything but a plain file in a file's place is replaced.
        if (there && (f.entry.kind == Platform::FileKind::Link ||
                      there->kind != Platform::FileKind::Regular)) {
            if (const int err = Platform::RemoveFile(target))
                return ItemFailed(CannotCreate(target, err, f.source, Side::Target));
            there = nullptr;
        }
        ShowTexts(f, target);
        if (f.entry.kind == Platform::FileKind::Link) {
            const Platform::CopyOutcome outcome = Platform::CopyLink(Platform::CopyRequest{
                &f.from, f.entry.name, &f.to, f.entry.name, nullptr, this, m_syncEach});
            return Written(f, target, outcome, false);
        }
        if (!there) {
            const Platform::CopyOutcome outcome = Platform::CopyFileContent(Platform::CopyRequest{
                &f.from, f.entry.name, &f.to, f.entry.name, m_temporaries.get(), this, m_syncEach});
            return Written(f, target, outcome, true);
        }
        Replace(f, target);
    }

    // Whether the file already at `target` is its source's whole copy: the record says it is on
    // the disk and the source is as it was then, or its bytes are the source's.
    bool Whole(const File& f, const std::string& target) {
        const auto listed = m_durable.find(Relative(f));
        if (listed != m_durable.end() && listed->second.size == f.entry.size &&
            listed->second.mtime == f.entry.mtime && f.there->size == f.entry.size) {
            ++m_summary.kept;
            if (m_verify)
                m_toVerify.push_back(Placed{f.source, target, f.entry.size});
            return true;
        }
        const Platform::ComparisonOutcome outcome = Platform::CompareFiles(f.source, target);
        if (outcome.result == Platform::Comparison::SourceFailed) {
            ItemFailed(IoError(outcome.error, f.source, Side::Source));
            return true;  // nothing to do for it
        }
        if (outcome.result != Platform::Comparison::Same)
            return false;
        ++m_summary.kept;
        ++m_compared;
        return true;
    }

    // A whole copy made beside the marker's other files, then renamed over the one there.
    void Replace(const File& f, const std::string& target) {
        const std::string temp = ".continue-" + std::to_string(m_made++);
        const Platform::CopyOutcome outcome = Platform::CopyFileContent(Platform::CopyRequest{
            &f.from, f.entry.name, m_temporaries.get(), temp, nullptr, this, m_syncEach});
        if (outcome.failure == Platform::CopyFailure::None) {
            if (const int err = Platform::RenameOver(PathBelow(m_marker, temp), target)) {
                Platform::RemoveFile(PathBelow(m_marker, temp));
                return ItemFailed(CannotCreate(target, err, f.source, Side::Target));
            }
        }
        Written(f, target, outcome, true);
    }

    // Counts a file (`content`) or link written now, or reports why it could not be.
    void Written(const File& f, const std::string& target, const Platform::CopyOutcome& outcome,
                 bool content) {
        if (outcome.failure != Platform::CopyFailure::None)
            return ItemFailed(CopyFailureError(outcome, f.source, target));
        Changed(f.relativeDir);
        ++m_summary.copy.copied;
        m_summary.copy.bytes += outcome.bytes;
        m_progress.FileCopied();
        if (m_verify && content)
            m_toVerify.push_back(Placed{f.source, target, outcome.bytes});
    }

    // The from- and to-texts of the file about to be written, as a copy shows them.
    void ShowTexts(const File& f, const std::string& target) {
        m_progress.SetFromText("from: " + PathShownFrom(m_record.workDir, f.source));
        m_progress.SetToText("to: " + target.substr(m_root.size() - LastName(m_root).size()));
    }

    // The last part of `path`.
    static std::string LastName(const std::string& path) {
        const auto cut = path.find_last_of(kSeparator);
        return cut == std::string::npos ? path : path.substr(cut + 1);
    }

    // What the target's directory holds that the copy would not make.
    void ListExtras(const std::string& relative, const std::unordered_set<std::string>& expected) {
        for (const auto& [key, e] : m_there) {
            if (expected.contains(key) || (relative.empty() && e.name == kIncompleteMarker))
                continue;
            const std::string path = relative.empty() ? e.name : JoinPath(relative, e.name);
            m_summary.extras.push_back(e.isDirectory ? path + kSeparator : path);
        }
    }

    // A failure of one item ends the continuing, unless it goes on past such items; one that
    // concerns the whole target always ends it.
    void ItemFailed(const QuillError& failure) {
        if (!m_options.keepGoing ||
            (failure.side() != Side::Source && Platform::IsTargetWideError(failure.error())))
            throw failure;
        const std::string& path = failure.path();
        const std::size_t cut = m_record.source.size() + 1;
        m_summary.copy.skipped.push_back(SkippedItem{
            path.size() > cut && path.starts_with(m_record.source) ? path.substr(cut) : path,
            failure.what(), failure.error(), failure.cause()});
    }

    // Syncs, reads back when asked, and removes the marker once all of that held.
    void Finish();
    // Reads back what was not compared on the way.
    void Verify();
    // Each part of a file's content copied, for the progress.
    void Copied(std::int64_t bytes) override { m_progress.AddBytes(bytes); }

    const std::string m_root;
    const std::string m_marker;
    const CopyRecord m_record;
    const CopyOptions& m_options;
    CopyProgress& m_progress;
    ContinueSummary& m_summary;
    const bool m_verify;
    std::unique_ptr<Platform::Directory> m_temporaries;  // the marker directory
    bool m_syncEach = false;
    std::unordered_map<std::string, DurableFile> m_durable;
    std::unordered_map<std::string, Platform::Entry> m_there;  // the current directory's, by key
    std::vector<std::string> m_changedDirs;
    std::vector<Placed> m_toVerify;
    std::int64_t m_compared = 0;  // files found equal to their sources on the way
    unsigned m_made = 0;
};

// Everything is written: to the disk with it, read back when the copy is to be, and the
// marker goes only when all of that held.
void Continuation::Finish() {
    m_progress.Syncing();
    int err = 0;
    if (m_syncEach) {
        for (const std::string& relative : m_changedDirs) {
            std::unique_ptr<Platform::Directory> dir;
            err = Platform::Directory::Open(TargetDir(relative), dir);
            if (err == 0)
                err = dir->SyncEntries();
            if (err != 0)
                break;
        }
    } else {
        err = m_temporaries->SyncFileSystem();
    }
    if (err != 0)
        throw QuillError("Stream write error", err, m_root, Side::TargetRoot);
    if (m_verify) {
        Verify();
        if (!m_summary.copy.mismatches.empty() || m_summary.copy.stopped)
            return;
    }
    m_temporaries.reset();
    std::unique_ptr<Platform::Directory> root;
    err = EmptyMarker(m_root);
    if (err == 0)
        err = Platform::Directory::Open(m_root, root);
    if (err == 0)
        err = root->SyncEntries();
    if (err == 0)
        err = root->RemoveChild(kIncompleteMarker);
    if (err == 0)
        err = root->SyncEntries();
    if (err != 0)
        throw QuillError("Stream write error", err, m_root, Side::TargetRoot);
    m_summary.finished = true;
}

// Reads back every file not compared already and compares it with its source.
void Continuation::Verify() {
    std::int64_t bytes = 0;
    for (const Placed& p : m_toVerify) bytes += p.size;
    m_progress.Verifying(static_cast<std::int64_t>(m_toVerify.size()), bytes);
    m_summary.copy.verified = 0;
    for (const Placed& p : m_toVerify) {
        if (m_options.stop.requested()) {
            m_summary.copy.stopped = true;
            return;
        }
        const Platform::ComparisonOutcome outcome =
            Platform::CompareFiles(p.source, p.target, this);
        ++m_summary.copy.verified;
        m_progress.FileCopied();
        if (outcome.result == Platform::Comparison::Same)
            continue;
        Mismatch m{p.source.substr(std::min(m_record.source.size() + 1, p.source.size())),
                   kDifferentText, "different", outcome.error};
        if (outcome.result == Platform::Comparison::SourceFailed) {
            m.reason = kSourceUnreadableText;
            m.word = "source-unreadable";
        } else if (outcome.result == Platform::Comparison::CopyFailed) {
            m.reason = kCopyUnreadableText;
            m.word = "copy-unreadable";
        }
        m_summary.copy.mismatches.push_back(std::move(m));
    }
    m_summary.copy.verified += m_compared;
}

}  // namespace

CopyRecord ContinuableRecord(const std::string& targetRoot) {
    if (!TargetIncomplete(targetRoot))
        throw ContinueRefusedError(kNotIncompleteText, "not-incomplete");
    std::optional<CopyRecord> record = ReadCopyRecord(targetRoot);
    if (!record)
        throw ContinueRefusedError(kNoRecordText, "no-record");
    if (!Platform::IsDirectory(record->source))
        throw ContinueRefusedError(kSourceGoneText + record->source, "source-gone");
    return *record;
}

void ContinueCopy(const std::string& targetRoot, const CopyOptions& options, CopyProgress& progress,
                  ContinueSummary& summary) {
    summary = ContinueSummary{};
    CopyRecord record = ContinuableRecord(targetRoot);
    Continuation(targetRoot, std::move(record), options, progress, summary).Run();
}

}  // namespace FunSub
