#include "core/CheckCopy.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <iterator>
#include <mutex>
#include <thread>

#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/Reasons.h"
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

// What the check found in one directory.
struct DirectoryResult {
    std::int64_t examined = 0;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    std::int64_t needed = 0;
    std::vector<CopyProblem> problems;
    std::vector<CopyProblem> blocking;
};

// Reused by one worker from directory to directory.
struct Scratch {
    std::vector<Platform::Entry> entries;
    std::vector<std::string> names;
};

// The directories are looked at independently, so several are looked at at once: the check
// comes before every copy, and a stat of each file is most of its time.
class Check {
public:
    Check(const DirTree& tree, const std::string& outputDir)
        : m_tree(tree), m_paths(AllNodePaths(tree)), m_cut(m_paths.front().size() + 1) {
        Platform::ReadVolumeInfo(outputDir, m_volume);
        m_traits = Platform::ProbeTarget(outputDir);
        m_inside = OutputLiesInSource(outputDir, m_paths.front());
    }

    CopyPlan Run() const {
        std::vector<DirectoryResult> results(m_paths.size());
        ForEachDirectory([&](std::size_t i, Scratch& scratch) { Directory(i, scratch, results[i]); });

        CopyPlan plan;
        plan.volume = m_volume;
        plan.directories = static_cast<std::int64_t>(results.size());
        std::vector<CopyProblem> blocking;
        if (m_inside)
            blocking.push_back(CopyProblem{ProblemKind::OutputInsideSource, "", "", true});
        for (DirectoryResult& r : results) {
            plan.examined += r.examined;
            plan.files += r.files;
            plan.bytes += r.bytes;
            plan.bytesNeeded += r.needed;
            std::move(r.blocking.begin(), r.blocking.end(), std::back_inserter(blocking));
            std::move(r.problems.begin(), r.problems.end(), std::back_inserter(plan.problems));
        }
        if (m_volume.freeBytes >= 0 && plan.bytesNeeded > m_volume.freeBytes) {
            blocking.insert(blocking.begin(),
                            CopyProblem{ProblemKind::NoSpace, "",
                                        SizeText(plan.bytesNeeded) + " > " + SizeText(m_volume.freeBytes),
                                        true});
        }
        plan.problems.insert(plan.problems.begin(), blocking.begin(), blocking.end());
        return plan;
    }

private:
    template <class Work>
    void ForEachDirectory(Work work) const {
        const std::size_t count = m_paths.size();
        const unsigned threads =
            count < 64 ? 1u : std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        std::atomic<std::size_t> next{0};
        std::exception_ptr failure;
        std::mutex failureMutex;
        auto worker = [&] {
            Scratch scratch;
            try {
                for (std::size_t i; (i = next++) < count;) work(i, scratch);
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                failure = std::current_exception();
                next = count;
            }
        };
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(worker);
        worker();
        for (std::thread& t : helpers) t.join();
        if (failure)
            std::rethrow_exception(failure);
    }

    void Directory(std::size_t i, Scratch& s, DirectoryResult& r) const {
        const DirNode& node = m_tree.nodes[i];
        const std::string& path = m_paths[i];
        r.needed += m_volume.blockSize;
        if (i > 0)
            CheckName(node.label, m_paths[static_cast<std::size_t>(node.parent)], r);
        if (node.loop)
            return;
        int err = node.error;
        if (err == 0)
            err = Platform::ListDirectory(path, Platform::Detail::Full, s.entries);
        if (err != 0)
            return Problem(ProblemKind::UnreadableDirectory, path, ReasonText(err), r, err);
        Files(path, s, r);
    }

    void Files(const std::string& dir, Scratch& s, DirectoryResult& r) const {
        s.names.clear();
        for (const Platform::Entry& e : s.entries) {
            if (e.isDirectory) {
                if (e.name[0] != '.')
                    s.names.push_back(e.name);
                continue;
            }
            ++r.examined;
            if (!PassesFilter(TypeKey(e.name)))
                continue;
            if (e.kind == Platform::FileKind::Special) {
                Problem(ProblemKind::SpecialFile, JoinPath(dir, e.name), "", r);
                continue;
            }
            s.names.push_back(e.name);
            CheckName(e.name, dir, r);
            ++r.files;
            if (e.kind == Platform::FileKind::DanglingLink) {
                if (!m_traits.links)
                    Problem(ProblemKind::DanglingLink, JoinPath(dir, e.name), "", r);
                r.needed += m_volume.blockSize;
                continue;
            }
            if (!e.readable)
                Problem(ProblemKind::UnreadableFile, JoinPath(dir, e.name), "", r);
            r.bytes += e.size;
            r.needed += RoundUp(e.size, m_volume.blockSize);
            if (m_volume.maxFileSize >= 0 && e.size > m_volume.maxFileSize) {
                r.blocking.push_back(CopyProblem{ProblemKind::FileTooLarge, Relative(JoinPath(dir, e.name)),
                                                 SizeText(e.size) + " > " + SizeText(m_volume.maxFileSize),
                                                 true});
            }
        }
        if (m_traits.caseInsensitive)
            Clashes(dir, s.names, r);
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

    void Problem(ProblemKind kind, const std::string& path, std::string detail,
                 DirectoryResult& r, int error = 0) const {
        r.problems.push_back(CopyProblem{kind, Relative(path), std::move(detail), false, error});
    }

    std::string Relative(const std::string& path) const {
        return path.size() > m_cut ? path.substr(m_cut) : std::string();
    }

    const DirTree& m_tree;
    const std::vector<std::string> m_paths;
    const std::size_t m_cut;
    Platform::VolumeInfo m_volume;
    Platform::TargetTraits m_traits;
    bool m_inside = false;
};

}  // namespace

CopyPlan CheckCopy(const DirTree& sourceTree, const std::string& outputDir) {
    if (sourceTree.empty())
        return {};
    return Check(sourceTree, outputDir).Run();
}

std::string ProblemKindName(ProblemKind kind) {
    switch (kind) {
        case ProblemKind::OutputInsideSource: return "output-inside-source";
        case ProblemKind::NoSpace: return "no-space";
        case ProblemKind::FileTooLarge: return "file-too-large";
        case ProblemKind::NameNotAllowed: return "name-not-allowed";
        case ProblemKind::NameClash: return "name-clash";
        case ProblemKind::UnreadableDirectory: return "unreadable-directory";
        case ProblemKind::UnreadableFile: return "unreadable-file";
        case ProblemKind::SpecialFile: return "special-file";
        case ProblemKind::DanglingLink: return "dangling-link";
    }
    return "unknown";
}

std::string ProblemText(const CopyProblem& p) {
    std::string text;
    switch (p.kind) {
        case ProblemKind::OutputInsideSource: text = kOutputInsideSourceText; break;
        case ProblemKind::NoSpace: text = "目标磁盘空间不足"; break;
        case ProblemKind::FileTooLarge: text = "文件太大，目标磁盘存不下"; break;
        case ProblemKind::NameNotAllowed: text = "目标磁盘不允许的名称"; break;
        case ProblemKind::NameClash: text = "目标磁盘不分大小写，名称相同"; break;
        case ProblemKind::UnreadableDirectory: text = "无法读取的目录"; break;
        case ProblemKind::UnreadableFile: text = "无法读取的文件"; break;
        case ProblemKind::SpecialFile: text = "特殊文件（管道、套接字或设备），不复制"; break;
        case ProblemKind::DanglingLink: text = "失效的符号链接，目标磁盘不能保存链接"; break;
    }
    if (!p.path.empty())
        text += "：" + p.path;
    if (!p.detail.empty())
        text += p.kind == ProblemKind::NameClash ? "（与 " + p.detail + "）" : "（" + p.detail + "）";
    return text;
}

std::string PlanText(const CopyPlan& plan) {
    std::string text = "将复制 " + FormatThousands(plan.files) + " 个文件（" + SizeText(plan.bytes) + "）";
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
