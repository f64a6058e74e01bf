#include "core/TargetDiff.h"

#include <atomic>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/FilterCopy.h"
#include "core/FilterMemory.h"
#include "core/FunSub.h"
#include "core/QuillError.h"
#include "core/TreeFilter.h"
#include "core/TreeStats.h"

namespace FunSub {

void DiffGroup::Add(DiffEntry entry) {
    if (entry.directory) {
        ++totals.directories;
    } else {
        ++totals.files;
        totals.bytes += entry.size;
    }
    entries.push_back(std::move(entry));
}

bool TargetDiff::Same() const {
    return !stopped && !targetIncomplete && sourceUnreadable == 0 && targetUnreadable == 0 &&
           missing.entries.empty() && changed.entries.empty() && extra.entries.empty();
}

namespace {

// Both sides list their entries in the one order of every listing, so they can be merged.
int Order(const std::string& a, const std::string& b) {
    if (a == b)
        return 0;
    return Platform::NameLess(a, b) ? -1 : 1;
}

std::string Below(const std::string& dir, const std::string& name) {
    return dir.empty() ? name : dir + kSeparator + name;
}

class Comparer {
public:
    Comparer(const ScannedTree& source, const ScannedTree& target, const CopyFilter* filter,
             TargetDiff& out)
        : m_source(source),
          m_target(target),
          m_out(out),
          m_sourceChildren(ChildrenOf(source.tree)),
          m_targetChildren(ChildrenOf(target.tree)) {
        if (filter && !source.tree.empty())
            m_applied = std::make_unique<TreeFilter>(source.tree, *filter, &source.files);
        m_out.filterRecorded = filter != nullptr;
    }

    void Run() {
        if (m_source.tree.empty() || m_target.tree.empty())
            return;
        m_pending.push_back(Pair{0, 0, {}, true});
        while (!m_pending.empty()) {
            Pair pair = std::move(m_pending.back());
            m_pending.pop_back();
            Visit(pair);
        }
        Classify();
    }

private:
    // A directory of one side or of both; `judged` is false below a directory one side could
    // not read, where the target's files still tell which types it holds.
    struct Pair {
        int source = -1;
        int target = -1;
        std::string path;
        bool judged = true;
    };

    static const std::vector<Platform::Entry>& NoFiles() {
        static const std::vector<Platform::Entry> none;
        return none;
    }

    const std::vector<Platform::Entry>& FilesOf(const ScannedTree& side, int node) const {
        if (node < 0)
            return NoFiles();
        const DirNode& n = side.tree.nodes[static_cast<std::size_t>(node)];
        return n.loop || n.error != 0 ? NoFiles() : side.files[static_cast<std::size_t>(node)];
    }

    void Visit(const Pair& pair) {
        const DirNode* s = pair.source >= 0
                               ? &m_source.tree.nodes[static_cast<std::size_t>(pair.source)]
                               : nullptr;
        const DirNode* t = pair.target >= 0
                               ? &m_target.tree.nodes[static_cast<std::size_t>(pair.target)]
                               : nullptr;
        if (s && s->error != 0)
            ++m_out.sourceUnreadable;
        if (t && t->error != 0)
            ++m_out.targetUnreadable;
        const bool judged = pair.judged && !(s && s->error != 0) && !(t && t->error != 0);
        if (judged && s && !t)
            m_lacking.push_back({{}, DiffEntry{pair.path, true}, pair.source, nullptr});
        if (judged && t && !s)
            m_out.extra.Add(DiffEntry{pair.path, true});
        CompareFiles(pair, judged);

        static const std::vector<int> kNone;
        const std::vector<int>& sc =
            s ? m_sourceChildren[static_cast<std::size_t>(pair.source)] : kNone;
        const std::vector<int>& tc =
            t ? m_targetChildren[static_cast<std::size_t>(pair.target)] : kNone;
        // Pushed last to first, so that the first directory is compared first.
        std::vector<Pair> next;
        std::size_t i = 0;
        std::size_t j = 0;
        while (i < sc.size() || j < tc.size()) {
            const std::string* a = i < sc.size()
                                       ? &m_source.tree.nodes[static_cast<std::size_t>(sc[i])].label
                                       : nullptr;
            const std::string* b = j < tc.size()
                                       ? &m_target.tree.nodes[static_cast<std::size_t>(tc[j])].label
                                       : nullptr;
            const int order = !a ? 1 : !b ? -1 : Order(*a, *b);
            Pair child{-1, -1, {}, judged};
            if (order <= 0)
                child.source = sc[i++];
            if (order >= 0)
                child.target = tc[j++];
            child.path = Below(pair.path, order <= 0 ? *a : *b);
            next.push_back(std::move(child));
        }
        for (auto it = next.rbegin(); it != next.rend(); ++it) m_pending.push_back(std::move(*it));
    }

    void CompareFiles(const Pair& pair, bool judged) {
        const std::vector<Platform::Entry>& sf =
            judged ? FilesOf(m_source, pair.source) : NoFiles();
        const std::vector<Platform::Entry>& tf = FilesOf(m_target, pair.target);
        std::size_t i = 0;
        std::size_t j = 0;
        while (i < sf.size() || j < tf.size()) {
            const int order = i == sf.size()   ? 1
                              : j == tf.size() ? -1
                                               : Order(sf[i].name, tf[j].name);
            if (order > 0) {
                const Platform::Entry& e = tf[j++];
                m_targetTypes.insert(TypeKey(e.name));
                if (judged)
                    m_out.extra.Add(DiffEntry{Below(pair.path, e.name), false, e.size});
                continue;
            }
            const Platform::Entry& e = sf[i++];
            if (order < 0) {
                // Pipes, sockets and devices hold nothing a copy would make.
                if (e.kind != Platform::FileKind::Special)
                    m_lacking.push_back({TypeKey(e.name),
                                         DiffEntry{Below(pair.path, e.name), false, e.size},
                                         pair.source, &e});
                continue;
            }
            const Platform::Entry& copy = tf[j++];
            m_targetTypes.insert(TypeKey(copy.name));
            if (e.size != copy.size || e.mtime > copy.mtime) {
                DiffEntry entry{Below(pair.path, e.name), false, e.size, copy.size};
                entry.sizeDiffers = e.size != copy.size;
                entry.sourceNewer = e.mtime > copy.mtime;
                m_out.changed.Add(std::move(entry));
            }
        }
    }

    // What the target lacks is missing unless the filter leaves it out.
    void Classify() {
        std::unordered_map<std::string, std::size_t> leftOut;
        for (Lacking& l : m_lacking) {
            const std::string rule = RuleOf(l);
            if (rule.empty()) {
                m_out.missing.Add(std::move(l.entry));
                continue;
            }
            auto [it, added] = leftOut.emplace(rule, m_out.leftOut.size());
            if (added) {
                const bool byType = rule.starts_with(kTypeRule);
                m_out.leftOut.push_back(
                    LeftOutType{byType ? rule.substr(kTypeRule.size()) : std::string(), rule, {}});
            }
            DiffTotals& all = m_out.leftOutTotals;
            ++(l.entry.directory ? all.directories : all.files);
            all.bytes += l.entry.size;
            m_out.leftOut[it->second].files.Add(std::move(l.entry));
        }
    }

    struct Lacking {
        std::string type;
        DiffEntry entry;
        int node = -1;                          // the source's directory it lies in, or is
        const Platform::Entry* file = nullptr;  // the source's entry of a file
    };

    // The rule of the filter that leaves `l` out, empty when it should have been copied.
    // Without the copy's filter, a file counts as left out when the target holds no file of
    // its type.
    std::string RuleOf(const Lacking& l) const {
        if (!m_applied) {
            const bool typeHeld = l.entry.directory || m_targetTypes.count(l.type) != 0;
            return typeHeld ? std::string() : std::string(kTypeRule) + l.type;
        }
        const auto node = static_cast<std::size_t>(l.node);
        return l.entry.directory ? m_applied->DirectoryRule(node)
                                 : m_applied->FileRule(node, *l.file);
    }

    static constexpr std::string_view kTypeRule = "type:";

    const ScannedTree& m_source;
    const ScannedTree& m_target;
    TargetDiff& m_out;
    std::vector<std::vector<int>> m_sourceChildren;
    std::vector<std::vector<int>> m_targetChildren;
    std::vector<Pair> m_pending;
    std::vector<Lacking> m_lacking;  // in the order of the walk
    std::unordered_set<std::string> m_targetTypes;
    std::unique_ptr<TreeFilter> m_applied;  // the filter the copy recorded
};

void RequireRoot(const std::string& dir) {
    if (const int err = Platform::CheckEnterable(dir))
        throw IoError(err, dir);
}

std::string Count(std::int64_t n, const char* unit) {
    return FormatThousands(n) + " " + unit;
}

// The start of the summary: what the filter left out.
std::string LeftOutSummary(const TargetDiff& diff) {
    if (!diff.filterRecorded) {
        return "按类型滤除 " + Count(static_cast<std::int64_t>(diff.leftOut.size()), "种类型；");
    }
    const DiffTotals& t = diff.leftOutTotals;
    return std::string(kLeftOutRecordedCaption) + " " + Count(t.files, "个文件") +
           (t.directories ? "和 " + Count(t.directories, "个目录") : "") + "；";
}

// The filter the copy that made `targetDir` from `sourceDir` recorded, if it did.
std::optional<CopyFilter> RecordedFilter(const std::string& sourceDir,
                                         const std::string& targetDir) {
    const std::optional<CopyOrigin> record = RecordedCopy(targetDir);
    if (!record || !SameDirectory(record->source, Platform::CanonicalPath(sourceDir)))
        return std::nullopt;
    const FilterChoice& f = record->filter;
    return CopyFilter(f.mode, f.types, f.rules);
}

}  // namespace

TargetDiff CompareTrees(const ScannedTree& source, const ScannedTree& target,
                        const CopyFilter* filter) {
    TargetDiff diff;
    Comparer(source, target, filter, diff).Run();
    return diff;
}

TargetDiff CompareTarget(const std::string& sourceDir, const std::string& targetDir,
                         const DiffOptions& options) {
    RequireRoot(sourceDir);
    RequireRoot(targetDir);
    std::atomic<std::int64_t> before{0};
    ScanOptions scan;
    scan.stop = options.stop;
    if (options.progress)
        scan.progress = [&](std::int64_t files) { options.progress(before + files); };
    TargetDiff diff;
    const ScannedTree source = ScanTree(sourceDir, RootLabel::AsGiven, scan);
    before = source.fileCount;
    if (!source.stopped) {
        const ScannedTree target = ScanTree(targetDir, RootLabel::AsGiven, scan);
        const std::optional<CopyFilter> filter = RecordedFilter(sourceDir, targetDir);
        if (!target.stopped)
            diff = CompareTrees(source, target, filter ? &*filter : nullptr);
        diff.stopped = target.stopped;
    }
    diff.stopped = diff.stopped || source.stopped;
    diff.targetIncomplete = TargetIncomplete(targetDir);
    return diff;
}

std::string TotalsText(const DiffTotals& totals) {
    std::string text = Count(totals.files, "个文件，") + Count(totals.bytes, "字节");
    if (totals.directories > 0)
        text += "，" + Count(totals.directories, "个目录");
    return text;
}

std::string ChangeText(const DiffEntry& entry) {
    std::string text;
    if (entry.sizeDiffers) {
        text =
            "大小不同（源 " + Count(entry.size, "字节，目标 ") + Count(entry.targetSize, "字节）");
    }
    if (entry.sourceNewer)
        text += std::string(text.empty() ? "" : "，") + "源文件较新";
    return text;
}

std::string DiffSummaryText(const TargetDiff& diff) {
    if (diff.stopped)
        return "对比已中止";
    std::string text = LeftOutSummary(diff);
    if (diff.Same())
        return text + "其余与源目录一致：没有缺少、改变或多出的文件";
    std::vector<std::string> parts;
    if (const DiffTotals& m = diff.missing.totals; m.files + m.directories > 0)
        parts.push_back("缺少 " + Count(m.files, "个文件") +
                        (m.directories ? "和 " + Count(m.directories, "个目录") : ""));
    if (diff.changed.totals.files > 0)
        parts.push_back("改变了 " + Count(diff.changed.totals.files, "个文件"));
    if (const DiffTotals& x = diff.extra.totals; x.files + x.directories > 0)
        parts.push_back("多出 " + Count(x.files, "个文件") +
                        (x.directories ? "和 " + Count(x.directories, "个目录") : ""));
    if (parts.empty())
        return text + "无法确定其余部分是否一致";
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? "，" : "") + parts[i];
    return text;
}

std::vector<std::string> DiffNotices(const TargetDiff& diff) {
    std::vector<std::string> lines;
    if (diff.sourceUnreadable > 0)
        lines.push_back("源目录中有 " +
                        Count(diff.sourceUnreadable, "个目录无法读取，其中的内容没有对比"));
    if (diff.targetUnreadable > 0)
        lines.push_back("目标目录中有 " +
                        Count(diff.targetUnreadable, "个目录无法读取，其中的内容没有对比"));
    if (diff.targetIncomplete)
        lines.push_back(kIncompleteTargetText);
    if (!diff.stopped && !diff.filterRecorded)
        lines.push_back(kNoFilterRecordText);
    return lines;
}

std::string LeftOutLabel(const LeftOutType& group) {
    return group.type.empty() ? group.rule : group.type;
}

namespace {

std::string Shown(const DiffEntry& e) {
    return e.directory ? e.path + kSeparator : e.path;
}

}  // namespace

std::vector<std::string> DiffLines(const TargetDiff& diff) {
    std::vector<std::string> lines{DiffSummaryText(diff)};
    for (const std::string& notice : DiffNotices(diff)) lines.push_back(notice);
    if (diff.stopped)
        return lines;
    const auto rules = static_cast<std::int64_t>(diff.leftOut.size());
    lines.push_back(diff.filterRecorded
                        ? std::string(kLeftOutRecordedCaption) + "：" + Count(rules, "条规则，") +
                              TotalsText(diff.leftOutTotals)
                        : std::string(kLeftOutCaption) + "：" + Count(rules, "种类型，") +
                              TotalsText(diff.leftOutTotals));
    for (const LeftOutType& type : diff.leftOut) {
        lines.push_back("  " + LeftOutLabel(type) + "：" + TotalsText(type.files.totals));
        for (const DiffEntry& e : type.files.entries) lines.push_back("    " + Shown(e));
    }
    const struct {
        const char* caption;
        const DiffGroup* group;
    } groups[] = {{kMissingCaption, &diff.missing},
                  {kChangedCaption, &diff.changed},
                  {kExtraCaption, &diff.extra}};
    for (const auto& g : groups) {
        lines.push_back(std::string(g.caption) + "：" + TotalsText(g.group->totals));
        for (const DiffEntry& e : g.group->entries) {
            const std::string why = g.group == &diff.changed ? "  " + ChangeText(e) : std::string();
            lines.push_back("  " + Shown(e) + why);
        }
    }
    return lines;
}

}  // namespace FunSub
