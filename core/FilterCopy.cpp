#include "core/FilterCopy.h"

#include <algorithm>
#include <vector>

#include "core/FileCopyPlatform.h"
#include "core/FunSub.h"
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
std::string ComparablePath(const std::string& path) { return LowerAscii(path); }
#else
const std::string& ComparablePath(const std::string& path) { return path; }
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

// The new target directory itself: it must not exist, and must really be new when made,
// so that a copy never mixes with an older tree.
void CreateTargetRoot(const std::string& targetRoot) {
    if (TargetName.empty())
        throw QuillError("No target name has been chosen for this source");
    if (OutputDir.empty())
        throw QuillError("No output directory has been set");
    if (Platform::PathExists(targetRoot))
        throw TargetExistsError();
    Platform::CreateDirectories(OutputDir);  // a failure shows as the next step's
    const int err = Platform::CreateNewDirectory(targetRoot);
    if (err == Platform::kAlreadyExists)
        throw TargetExistsError();
    if (err != 0)
        RaiseCannotCreate(targetRoot, err);
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
        case Platform::CopyFailure::Write:
        case Platform::CopyFailure::None:
            break;
    }
    return "Stream write error";
}

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
          m_toCut(m_targetRoot.size() - TargetName.size()) {}

    void Run() {
        if (OutputLiesInSource(OutputDir, m_sources.front()))
            throw OutputInsideSourceError();
        CreateTargetRoot(m_targetRoot);
        m_progress.SetMax(TreeFileTotal);
        m_progress.SetStep(1);
        int skipBelow = -1;  // the level of a directory passed over with all below it
        for (std::size_t i = 0; i < m_sources.size() && !Stopped(); ++i) {
            const DirNode& node = m_tree.nodes[i];
            if (skipBelow >= 0 && node.level > skipBelow)
                continue;
            skipBelow = -1;
            if (i > 0 && !MakeNodeDir(i)) {
                skipBelow = node.level;
                continue;
            }
            if (node.error != 0) {
                ItemFailed(m_sources[i], IoErrorText(node.error), node.error);
            } else if (!node.loop) {
                CopyFilesOf(m_sources[i], m_destinations[i]);
            }
        }
        Stopped();  // asked during the last file: stopped all the same, once it is whole
    }

private:
    bool Stopped() {
        if (m_options.stop && m_options.stop->load(std::memory_order_relaxed))
            m_summary.stopped = true;
        return m_summary.stopped;
    }

    // A failure that concerns one item ends the copy, unless the copy goes on past such
    // items; then it is listed. One that concerns the whole target always ends it.
    void ItemFailed(const std::string& sourcePath, const std::string& message, int error) {
        if (!m_options.keepGoing || Platform::IsTargetWideError(error))
            throw QuillError(message, error, sourcePath);
        m_summary.skipped.push_back(SkippedItem{
            sourcePath.substr(std::min(m_sourceCut, sourcePath.size())), message, error});
    }

    // The target is brand new, so anything already at a directory's place was made by this
    // copy under another spelling of the name (a case-insensitive target): merging into it
    // would mix two directories, so it is a failure.
    bool MakeNodeDir(std::size_t i) {
        const int err = Platform::CreateNewDirectory(m_destinations[i]);
        if (err == 0)
            return true;
        ItemFailed(m_sources[i], "Cannot create file " + m_destinations[i], err);
        return false;
    }

    void CopyFilesOf(const std::string& sourceDir, const std::string& destinationDir) {
        int err = Platform::CheckEnterable(sourceDir);
        if (err == 0)
            err = Platform::ListDirectory(sourceDir, Platform::Detail::Kinds, m_entries);
        if (err != 0)
            return ItemFailed(sourceDir, IoErrorText(err), err);
        for (const Platform::Entry& e : m_entries) {
            if (e.isDirectory)
                continue;
            if (Stopped())
                return;
            ++m_summary.examined;
            m_progress.StepIt();
            if (!PassesFilter(TypeKey(e.name)))
                continue;
            // Reused strings: a copy of many small files should not spend its time allocating.
            m_source.assign(sourceDir).append(1, kSeparator).append(e.name);
            if (e.kind == Platform::FileKind::Special) {
                m_summary.skipped.push_back(SkippedItem{m_source.substr(m_sourceCut), kSpecialFileText});
                continue;
            }
            CopyOne(destinationDir, e);
        }
    }

    void CopyOne(const std::string& destinationDir, const Platform::Entry& e) {
        m_destination.assign(destinationDir).append(1, kSeparator).append(e.name);
        m_text.assign("from: ").append(m_source, m_fromCut);
        m_progress.SetFromText(m_text);
        m_text.assign("to: ").append(m_destination, m_toCut);
        m_progress.SetToText(m_text);
        const Platform::CopyOutcome outcome =
            e.kind == Platform::FileKind::DanglingLink
                ? Platform::CopyLink(m_source, m_destination)
                : Platform::CopyFileContent(m_source, m_destination, this);
        if (outcome.failure != Platform::CopyFailure::None)
            return ItemFailed(m_source, FailureText(outcome, m_source, m_destination), outcome.error);
        m_summary.bytes += outcome.bytes;
        ++m_summary.copied;
        m_progress.FileCopied();
    }

    void Copied(std::int64_t bytes) override { m_progress.AddBytes(bytes); }

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
    std::vector<Platform::Entry> m_entries;
    std::string m_source;
    std::string m_destination;
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

bool PassesFilter(const std::string& key) {
    const bool selected =
        std::find(SelectedTypes.begin(), SelectedTypes.end(), key) != SelectedTypes.end();
    return FilterMode == FilterKind::Exclude ? !selected : selected;
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
