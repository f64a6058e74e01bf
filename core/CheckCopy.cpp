#include "core/CheckCopy.h"

#include <algorithm>

#include "core/FilterCopy.h"
#include "core/FunSub.h"
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

class Check {
public:
    Check(const DirTree& tree, const std::string& outputDir)
        : m_tree(tree), m_paths(AllNodePaths(tree)), m_cut(m_paths.front().size() + 1) {
        Platform::ReadVolumeInfo(outputDir, m_plan.volume);
        m_traits = Platform::ProbeTarget(outputDir);
        if (OutputLiesInSource(outputDir, m_paths.front()))
            m_blocking.push_back(CopyProblem{ProblemKind::OutputInsideSource, "", "", true});
    }

    CopyPlan Run() {
        for (int i = 0; i < m_tree.size(); ++i) Directory(i);
        const Platform::VolumeInfo& v = m_plan.volume;
        if (v.freeBytes >= 0 && m_plan.bytesNeeded > v.freeBytes) {
            m_blocking.insert(m_blocking.begin(),
                              CopyProblem{ProblemKind::NoSpace, "",
                                          SizeText(m_plan.bytesNeeded) + " > " + SizeText(v.freeBytes),
                                          true});
        }
        m_plan.problems.insert(m_plan.problems.begin(), m_blocking.begin(), m_blocking.end());
        return std::move(m_plan);
    }

private:
    void Directory(int i) {
        const DirNode& node = m_tree.nodes[i];
        ++m_plan.directories;
        m_plan.bytesNeeded += m_plan.volume.blockSize;
        const std::string& path = m_paths[i];
        if (i > 0)
            CheckName(node.label, path);
        if (node.loop)
            return;
        int err = node.error;
        if (err == 0)
            err = Platform::ListDirectory(path, Platform::Detail::Full, m_entries);
        if (err != 0)
            return Problem(ProblemKind::UnreadableDirectory, path, IoErrorText(err));
        Files(path);
    }

    void Files(const std::string& dir) {
        m_names.clear();
        for (const Platform::Entry& e : m_entries) {
            if (e.isDirectory) {
                if (e.name[0] != '.')
                    m_names.push_back(e.name);
                continue;
            }
            ++m_plan.examined;
            if (!PassesFilter(TypeKey(e.name)))
                continue;
            const std::string path = JoinPath(dir, e.name);
            if (e.kind == Platform::FileKind::Special) {
                Problem(ProblemKind::SpecialFile, path, "");
                continue;
            }
            m_names.push_back(e.name);
            CheckName(e.name, path);
            ++m_plan.files;
            if (e.kind == Platform::FileKind::DanglingLink) {
                if (!m_traits.links)
                    Problem(ProblemKind::DanglingLink, path, "");
                m_plan.bytesNeeded += m_plan.volume.blockSize;
                continue;
            }
            if (!e.readable)
                Problem(ProblemKind::UnreadableFile, path, "");
            m_plan.bytes += e.size;
            m_plan.bytesNeeded += RoundUp(e.size, m_plan.volume.blockSize);
            const std::int64_t max = m_plan.volume.maxFileSize;
            if (max >= 0 && e.size > max) {
                m_blocking.push_back(CopyProblem{ProblemKind::FileTooLarge, Relative(path),
                                                 SizeText(e.size) + " > " + SizeText(max), true});
            }
        }
        if (m_traits.caseInsensitive)
            Clashes(dir);
    }

    // Names of one directory that the target takes for one: each later one against the first.
    void Clashes(const std::string& dir) {
        if (m_names.size() < 2)
            return;
        std::vector<std::pair<std::string, const std::string*>> folded;
        folded.reserve(m_names.size());
        for (const std::string& n : m_names) folded.emplace_back(LowerAscii(n), &n);
        std::stable_sort(folded.begin(), folded.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::size_t first = 0;
        for (std::size_t k = 1; k < folded.size(); ++k) {
            if (folded[k].first != folded[first].first) {
                first = k;
                continue;
            }
            Problem(ProblemKind::NameClash, JoinPath(dir, *folded[k].second),
                    Relative(JoinPath(dir, *folded[first].second)));
        }
    }

    void CheckName(const std::string& name, const std::string& path) {
        if (m_traits.windowsNames && RefusedByWindows(name))
            Problem(ProblemKind::NameNotAllowed, path, "");
    }

    void Problem(ProblemKind kind, const std::string& path, std::string detail) {
        m_plan.problems.push_back(CopyProblem{kind, Relative(path), std::move(detail), false});
    }

    std::string Relative(const std::string& path) const {
        return path.size() > m_cut ? path.substr(m_cut) : std::string();
    }

    const DirTree& m_tree;
    const std::vector<std::string> m_paths;
    const std::size_t m_cut;
    Platform::TargetTraits m_traits;
    CopyPlan m_plan;
    std::vector<CopyProblem> m_blocking;
    std::vector<Platform::Entry> m_entries;
    std::vector<std::string> m_names;
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
