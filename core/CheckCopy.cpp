#include "core/CheckCopy.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <iterator>
#include <mutex>
#include <thread>

#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/Parallel.h"
#include "core/Reasons.h"
#include "core/TreeFilter.h"
#include "core/TreeStats.h"

namespace FunSub {
namespace {

// What FAT, exFAT and NTFS refuse in a name, besides control characters.
bool RefusedByWindows(const std::string& name) {
    if (name.find_first_of("\"*:<>?\\|") != std::string::npos)
        return true;
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return true;
    return !name.empty() && (name.back() == '.' || name.back() == ' ');
}

std::int64_t RoundUp(std::int64_t bytes, std::int64_t block) {
    return (bytes + block - 1) / block * block;
}

// Shorter link texts are kept in the link's own inode on the usual file systems.
constexpr std::int64_t kInlineLinkText = 60;

// What the check found in one directory.
// What a line of the list of durable files takes besides its path, at most: its size, time,
// check, tabs and line end.
constexpr std::int64_t kListLineBytes = 20 + 20 + 8 + 4;
// The files inside the marker: the record and the list.
constexpr std::int64_t kMarkerFiles = 2;

struct DirectoryResult {
    std::int64_t examined = 0;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    std::int64_t needed = 0;
    std::int64_t listed = 0;  // bytes of the lines the list of durable files may get
    std::int64_t largest = 0;
    std::vector<CopyProblem> problems;
};

// The nearest directory at or above `path` that exists: a missing output directory is made
// there by the copy, so that is where what the target can do is found out.
std::string ExistingDirectoryAtOrAbove(std::string path) {
    while (!path.empty() && !DirExists(path)) {
        const auto cut = path.find_last_of(kSeparator);
        if (cut == std::string::npos)
            return {};
        path.erase(cut == 0 ? 1 : cut);
        if (cut == 0)
            break;
    }
    return path;
}

// The directories are looked at independently, so several are looked at at once: the check
// comes before every copy, and a stat of each file is most of its time.
class Check {
public:
    Check(const DirTree& tree, const std::string& outputDir, StopToken stop, CopyFilter filter,
          std::vector<std::vector<Platform::Entry>>* listed = nullptr)
        : m_tree(tree),
          m_listed(listed),
          m_paths(AllNodePaths(tree)),
          m_cut(m_paths.front().size() + 1),
          m_probeDir(ExistingDirectoryAtOrAbove(outputDir)),
          m_stop(stop),
          m_filter(std::move(filter)) {
        Platform::ReadVolumeInfo(m_probeDir, m_volume);
        m_traits = Platform::ProbeTarget(m_probeDir);
        m_inside = OutputLiesInSource(outputDir, m_paths.front());
        m_clones = m_traits.writeError == 0 && Platform::CopyClones(m_paths.front(), m_probeDir);
        // Where a directory takes blocks and a file may have holes, a file of many parts
        // keeps the list of its parts in blocks of its own (ext4 and its kind).
        m_partBlocks = m_traits.holes && m_traits.directoryBytes > 0;
    }

    CopyPlan Run() const {
        CopyPlan plan;
        const std::size_t count = m_paths.size();
        if (m_listed)
            plan.listings = std::move(*m_listed);
        plan.listings.resize(count);
        plan.listErrors.resize(count);
        std::vector<DirectoryResult> results(count);
        // Each directory is looked at by itself, so several are at once: a stat of each file
        // is most of the check's time. Few directories go faster on one thread.
        ParallelFor(
            count, count < 64 ? 1u : WalkThreads(),
            [&](std::size_t i) {
                const StopToken::Working working(m_stop);  // a paused check rests here
                Directory(i, plan, results[i]);
            },
            [this] { return m_stop.requested(); });
        plan.stopped = m_stop.requested();

        plan.volume = m_volume;
        plan.clones = m_clones;
        plan.directories = m_applied.DirectoriesKept();
        plan.sourceIncomplete = TargetIncomplete(m_paths.front());
        // Every directory, and while the copy runs the one that marks it unfinished.
        plan.bytesNeeded = (plan.directories + 1) * DirectoryBytes();
        std::int64_t largest = 0;
        std::int64_t listed = 0;
        for (DirectoryResult& r : results) {
            listed += r.listed;
            plan.examined += r.examined;
            plan.files += r.files;
            plan.bytes += r.bytes;
            plan.bytesNeeded += r.needed;
            largest = std::max(largest, r.largest);
            std::move(r.problems.begin(), r.problems.end(), std::back_inserter(plan.problems));
        }
        // The marker holds the copy's record and its list of durable files while it runs.
        const std::int64_t block = std::max<std::int64_t>(m_volume.blockSize, 1);
        plan.bytesNeeded += block + RoundUp(listed, block);
        std::vector<CopyProblem> blocking;
        if (m_inside)
            blocking.push_back(CopyProblem{ProblemKind::OutputInsideSource, "", "", true});
        if (m_traits.writeError != 0) {
            blocking.push_back(CopyProblem{ProblemKind::OutputNotWritable, "",
                                           IoErrorText(m_traits.writeError), true});
        } else if (m_volume.freeBytes >= 0 && plan.bytesNeeded > m_volume.freeBytes) {
            blocking.push_back(CopyProblem{ProblemKind::NoSpace, "",
                                           "需要 " + SizeText(plan.bytesNeeded) +
                                               "（含每个文件所占的整块），可用 " +
                                               SizeText(m_volume.freeBytes),
                                           true});
        }
        if (m_traits.writeError == 0)
            TooFewInodes(plan, blocking);
        if (m_traits.writeError == 0 && largest > 0)
            TooLarge(plan, Platform::FileSizeLimitBelow(m_probeDir, largest, m_traits), blocking);
        if (plan.sourceIncomplete)
            plan.problems.insert(plan.problems.begin(),
                                 CopyProblem{ProblemKind::IncompleteSource, "", "", false});
        plan.problems.insert(plan.problems.begin(), blocking.begin(), blocking.end());
        return plan;
    }

private:
    std::int64_t DirectoryBytes() const {
        return m_traits.directoryBytes >= 0 ? m_traits.directoryBytes : m_volume.blockSize;
    }

    // Each file, link and directory takes an inode of the target, and so does the mark of an
    // unfinished copy; a file system made with few runs out of them with blocks to spare.
    void TooFewInodes(const CopyPlan& plan, std::vector<CopyProblem>& out) const {
        const std::int64_t needed = plan.files + plan.directories + 1 + kMarkerFiles;
        if (m_volume.freeEntries < 0 || needed <= m_volume.freeEntries)
            return;
        out.push_back(CopyProblem{ProblemKind::NoInodes, "",
                                  "需要新建 " + FormatThousands(needed) + " 个文件和目录，可新建 " +
                                      FormatThousands(m_volume.freeEntries) + " 个",
                                  true});
    }

    // Every file larger than what the target's file system holds.
    void TooLarge(const CopyPlan& plan, std::int64_t limit, std::vector<CopyProblem>& out) const {
        if (limit < 0)
            return;
        for (std::size_t i = 0; i < plan.listings.size(); ++i) {
            for (const Platform::Entry& e : plan.listings[i]) {
                if (e.kind != Platform::FileKind::Regular || e.size <= limit ||
                    !m_applied.PassesFile(i, e))
                    continue;
                out.push_back(CopyProblem{ProblemKind::FileTooLarge,
                                          Relative(JoinPath(m_paths[i], e.name)),
                                          SizeText(e.size) + " > " + SizeText(limit), true});
            }
        }
    }

    void Directory(std::size_t i, CopyPlan& plan, DirectoryResult& r) const {
        const DirNode& node = m_tree.nodes[i];
        const std::string& path = m_paths[i];
        if (m_applied.LeftOut(i))
            return;
        if (i > 0)
            CheckName(node.label, m_paths[static_cast<std::size_t>(node.parent)], r);
        if (node.loop)
            return;
        std::vector<Platform::Entry>& entries = plan.listings[i];
        int err = node.error;
        if (err == 0 && !m_listed) {
            // Entered and listed as the copy will: the same failure with the same number.
            Platform::FileId id;
            err = Platform::EnterAndList(path, Platform::Detail::Full, entries, id);
            std::erase_if(entries, [](const Platform::Entry& e) { return e.isDirectory; });
        }
        if (err != 0) {
            entries.clear();
            plan.listErrors[i] = err;
            return Problem(ProblemKind::UnreadableDirectory, path, ReasonText(err), r, err);
        }
        std::vector<std::string> names;
        for (const int child : m_children[i])
            if (!m_applied.LeftOut(static_cast<std::size_t>(child)))
                names.push_back(m_tree.nodes[static_cast<std::size_t>(child)].label);
        Files(i, names, entries, r);
    }

    // Looks at the entries of the directory of node `i` that are not directories; `names`
    // holds its subdirectories' names.
    void Files(std::size_t i, std::vector<std::string>& names,
               const std::vector<Platform::Entry>& entries, DirectoryResult& r) const {
        const std::string& dir = m_paths[i];
        for (const Platform::Entry& e : entries) {
            ++r.examined;
            if (!m_applied.PassesFile(i, e))
                continue;
            if (e.kind == Platform::FileKind::Special) {
                Problem(ProblemKind::SpecialFile, JoinPath(dir, e.name), "", r);
                continue;
            }
            names.push_back(e.name);
            CheckName(e.name, dir, r);
            ++r.files;
            r.needed += BytesOnTarget(e);
            // Its line in the marker's list: the path below the source, two numbers, a check.
            r.listed +=
                static_cast<std::int64_t>(dir.size() - m_paths.front().size() + e.name.size()) +
                kListLineBytes;
            if (e.kind == Platform::FileKind::Link) {
                if (!m_traits.links)
                    Problem(ProblemKind::LinkNotSupported, JoinPath(dir, e.name), "", r);
                continue;
            }
            if (!e.readable)
                Problem(ProblemKind::UnreadableFile, JoinPath(dir, e.name), "", r);
            r.bytes += e.size;
            r.largest = std::max(r.largest, e.size);
        }
        if (m_traits.caseInsensitive)
            Clashes(dir, names, r);
    }

    // What the copy of one entry takes on the target: whole blocks of data (only the blocks
    // it really has, where the target keeps holes as the copy does), and on file systems that
    // list a file's parts in blocks of their own, those blocks.
    std::int64_t BytesOnTarget(const Platform::Entry& e) const {
        const std::int64_t block = m_volume.blockSize;
        if (e.kind == Platform::FileKind::Link)
            return e.size < kInlineLinkText ? 0 : RoundUp(e.size, block);
        if (m_clones)
            return 0;  // the clone shares every block with its source
        const bool sparse = e.allocated >= 0 && e.allocated < e.size;
        const std::int64_t data = RoundUp(sparse && m_traits.holes ? e.allocated : e.size, block);
        return data + PartListBlocks(data / block) * block;
    }

    // A part (extent) reaches at most across one block group, which has as many blocks as a
    // bitmap block has bits; the inode holds four parts, each further block (12 + 12 n bytes)
    // holds the rest, and blocks of such blocks again above four.
    std::int64_t PartListBlocks(std::int64_t blocks) const {
        if (!m_partBlocks || blocks == 0)
            return 0;
        const std::int64_t group = 8 * m_volume.blockSize;
        const std::int64_t parts = (blocks + group - 1) / group + 1;
        if (parts <= 4)
            return 0;
        const std::int64_t perBlock = std::max<std::int64_t>((m_volume.blockSize - 12) / 12, 2);
        std::int64_t level = (parts + perBlock - 1) / perBlock;
        std::int64_t total = level;
        while (level > 4) {
            level = (level + perBlock - 1) / perBlock;
            total += level;
        }
        return total;
    }

    // Names of one directory that the target takes for one: each later one against the first.
    void Clashes(const std::string& dir, const std::vector<std::string>& names,
                 DirectoryResult& r) const {
        if (names.size() < 2)
            return;
        std::vector<std::pair<std::string, const std::string*>> folded;
        folded.reserve(names.size());
        for (const std::string& n : names) folded.emplace_back(LowerAscii(n), &n);
        std::stable_sort(folded.begin(), folded.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::size_t first = 0;
        for (std::size_t k = 1; k < folded.size(); ++k) {
            if (folded[k].first != folded[first].first) {
                first = k;
                continue;
            }
            Problem(ProblemKind::NameClash, JoinPath(dir, *folded[k].second),
                    Relative(JoinPath(dir, *folded[first].second)), r);
        }
    }

    // The name of an entry of the directory `dir`.
    void CheckName(const std::string& name, const std::string& dir, DirectoryResult& r) const {
        if (m_traits.windowsNames && RefusedByWindows(name))
            Problem(ProblemKind::NameNotAllowed, JoinPath(dir, name), "", r);
    }

    void Problem(ProblemKind kind, const std::string& path, std::string detail, DirectoryResult& r,
                 int error = 0) const {
        r.problems.push_back(CopyProblem{kind, Relative(path), std::move(detail), false, error});
    }

    std::string Relative(const std::string& path) const {
        return path.size() > m_cut ? path.substr(m_cut) : std::string();
    }

    const DirTree& m_tree;
    std::vector<std::vector<Platform::Entry>>* const m_listed;
    const std::vector<std::vector<int>> m_children = ChildrenOf(m_tree);  // by node index
    const std::vector<std::string> m_paths;
    const std::size_t m_cut;
    const std::string m_probeDir;
    const StopToken m_stop;
    const CopyFilter m_filter;
    const TreeFilter m_applied{m_tree, m_filter, m_listed};
    Platform::VolumeInfo m_volume;
    Platform::TargetTraits m_traits;
    bool m_inside = false;
    bool m_partBlocks = false;
    bool m_clones = false;
};

}  // namespace

CopyPlan CheckCopy(const CopyJob& job, const DirTree& sourceTree, StopToken stop) {
    if (sourceTree.empty())
        return {};
    return Check(sourceTree, job.outputDir, stop, job.filter).Run();
}

CopyPlan CheckCopy(const CopyJob& job, const DirTree& sourceTree,
                   std::vector<std::vector<Platform::Entry>>&& listings, StopToken stop) {
    if (sourceTree.empty())
        return {};
    return Check(sourceTree, job.outputDir, stop, job.filter, &listings).Run();
}

CopyPlan PlanWithoutCheck(std::vector<std::vector<Platform::Entry>>&& listings) {
    CopyPlan plan;
    plan.examined = plan.files = plan.bytes = -1;
    plan.listings = std::move(listings);
    plan.listErrors.resize(plan.listings.size());
    return plan;
}

std::string ProblemKindName(ProblemKind kind) {
    switch (kind) {
        case ProblemKind::OutputInsideSource:
            return "output-inside-source";
        case ProblemKind::OutputNotWritable:
            return "output-not-writable";
        case ProblemKind::NoSpace:
            return "no-space";
        case ProblemKind::NoInodes:
            return "no-inodes";
        case ProblemKind::FileTooLarge:
            return "file-too-large";
        case ProblemKind::NameNotAllowed:
            return "name-not-allowed";
        case ProblemKind::NameClash:
            return "name-clash";
        case ProblemKind::UnreadableDirectory:
            return "unreadable-directory";
        case ProblemKind::UnreadableFile:
            return "unreadable-file";
        case ProblemKind::SpecialFile:
            return "special-file";
        case ProblemKind::LinkNotSupported:
            return "link-not-supported";
        case ProblemKind::IncompleteSource:
            return "incomplete-source";
    }
    return "unknown";
}

std::string ProblemText(const CopyProblem& p) {
    std::string text;
    switch (p.kind) {
        case ProblemKind::OutputInsideSource:
            text = kOutputInsideSourceText;
            break;
        case ProblemKind::OutputNotWritable:
            text = "输出目录不能写入";
            break;
        case ProblemKind::NoSpace:
            text = "目标磁盘空间不足";
            break;
        case ProblemKind::NoInodes:
            text = "目标磁盘能新建的文件数不足";
            break;
        case ProblemKind::FileTooLarge:
            text = "文件太大，目标磁盘存不下";
            break;
        case ProblemKind::NameNotAllowed:
            text = "目标磁盘不允许的名称";
            break;
        case ProblemKind::NameClash:
            text = "目标磁盘不分大小写，名称相同";
            break;
        case ProblemKind::UnreadableDirectory:
            text = "无法读取的目录";
            break;
        case ProblemKind::UnreadableFile:
            text = "无法读取的文件";
            break;
        case ProblemKind::SpecialFile:
            text = "特殊文件（管道、套接字或设备），不复制";
            break;
        case ProblemKind::LinkNotSupported:
            text = "符号链接，目标磁盘不能保存链接";
            break;
        case ProblemKind::IncompleteSource:
            text = "源目录是一次没有完成的复制";
            break;
    }
    if (!p.path.empty())
        text += "：" + p.path;
    if (p.detail.empty())
        return text;
    if (p.kind == ProblemKind::NoSpace || p.kind == ProblemKind::NoInodes)
        return text + "：" + p.detail;
    text += p.kind == ProblemKind::NameClash ? "（与 " + p.detail + "）" : "（" + p.detail + "）";
    return text;
}

std::string PlanText(const CopyPlan& plan) {
    std::string text = std::string(plan.clones ? "将克隆 " : "将复制 ") +
                       FormatThousands(plan.files) + " 个文件（" + SizeText(plan.bytes) + "）";
    if (plan.clones)
        text += "，与源文件共用数据块，不另占空间";
    if (plan.volume.freeBytes >= 0)
        text += "，目标磁盘可用 " + SizeText(plan.volume.freeBytes);
    return text;
}

namespace {

struct Unit {
    std::int64_t scale;
    const char* name;
};

Unit UnitFor(std::int64_t bytes) {
    static const char* const kNames[] = {"KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1024)
        return Unit{1, "B"};
    int unit = 0;
    std::int64_t scale = 1024;
    while (unit < 4 && bytes / scale >= 1024) {
        scale *= 1024;
        ++unit;
    }
    return Unit{scale, kNames[unit]};
}

// In tenths, rounded, without the C library's locale-dependent decimal point.
std::string Scaled(std::int64_t bytes, std::int64_t scale) {
    if (scale == 1)
        return std::to_string(bytes);
    const std::int64_t tenths = (bytes * 10 + scale / 2) / scale;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace

std::string SizeText(std::int64_t bytes) {
    const Unit unit = UnitFor(bytes);
    return Scaled(bytes, unit.scale) + " " + unit.name;
}

std::string SizeNumber(std::int64_t bytes, std::int64_t unitOf) {
    return Scaled(bytes, UnitFor(unitOf).scale);
}

}  // namespace FunSub
