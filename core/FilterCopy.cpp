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
    if (IsBelow(sourceRoot, WorkDir))
        return CutBelow(WorkDir);
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
        RaiseCannotCreate(targetRoot);
}

// A directory below the target. The target is brand new, so anything already there was made
// by this copy under another spelling of the name (a case-insensitive target): merging into
// it would mix two directories, so it is a failure.
void CreateNodeDir(const std::string& dir) {
    if (Platform::CreateNewDirectory(dir) != 0)
        RaiseCannotCreate(dir);
}

[[noreturn]] void RaiseCopyFailure(const Platform::CopyOutcome& outcome, const std::string& source,
                                   const std::string& destination) {
    switch (outcome.failure) {
        case Platform::CopyFailure::OpenSource:
            RaiseCannotOpen(source);
        case Platform::CopyFailure::CreateDestination:
            RaiseCannotCreate(destination);
        case Platform::CopyFailure::Read:
            throw QuillError("Stream read error");
        case Platform::CopyFailure::Write:
        case Platform::CopyFailure::None:
            break;
    }
    throw QuillError("Stream write error");
}

class Walk {
public:
    Walk(const DirTree& tree, CopyProgress& progress)
        : m_tree(tree),
          m_progress(progress),
          m_targetRoot(PathBelow(OutputDir, TargetName)),
          m_sources(AllNodePaths(tree)),
          m_destinations(DestinationDirs(tree, m_targetRoot)),
          m_fromCut(FromTextCut(m_sources.front())),
          m_sourceCut(CutBelow(m_sources.front())),
          m_toCut(m_targetRoot.size() - TargetName.size()) {}

    CopySummary Run() {
        if (OutputLiesInSource(OutputDir, m_sources.front()))
            throw OutputInsideSourceError();
        CreateTargetRoot(m_targetRoot);
        m_progress.SetMax(TreeFileTotal);
        m_progress.SetStep(1);
        for (std::size_t i = 0; i < m_sources.size(); ++i) {
            if (i > 0)
                CreateNodeDir(m_destinations[i]);
            if (!m_tree.nodes[i].loop)
                CopyFilesOf(m_sources[i], m_destinations[i]);
        }
        return m_summary;
    }

private:
    void CopyFilesOf(const std::string& sourceDir, const std::string& destinationDir) {
        CheckEnterable(sourceDir);
        if (int err = Platform::ListDirectory(sourceDir, Platform::Detail::Kinds, m_entries)) {
            RaiseIoError(err);
        }
        for (const Platform::Entry& e : m_entries) {
            if (e.isDirectory)
                continue;
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
        if (e.kind == Platform::FileKind::DanglingLink) {
            const Platform::CopyOutcome outcome = Platform::CopyLink(m_source, m_destination);
            if (outcome.failure != Platform::CopyFailure::None)
                RaiseCopyFailure(outcome, m_source, m_destination);
        } else {
            m_summary.bytes += CopyFileWhole(m_source, m_destination);
        }
        ++m_summary.copied;
    }

    const DirTree& m_tree;
    CopyProgress& m_progress;
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
    CopySummary m_summary;
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

CopySummary RunFilterCopy(const DirTree& sourceTree, CopyProgress& progress) {
    if (sourceTree.empty())
        return {};
    return Walk(sourceTree, progress).Run();
}

std::int64_t CopyFileWhole(const std::string& source, const std::string& destination) {
    const Platform::CopyOutcome outcome = Platform::CopyFileContent(source, destination);
    if (outcome.failure != Platform::CopyFailure::None)
        RaiseCopyFailure(outcome, source, destination);
    return outcome.bytes;
}

}  // namespace FunSub
