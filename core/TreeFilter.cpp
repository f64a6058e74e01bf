#include "core/TreeFilter.h"

#include <algorithm>

#include "core/FileCopyPlatform.h"
#include "core/TreeStats.h"

namespace FunSub {

namespace {

// `path` below `root`, with "/" between its names, as git writes paths.
std::string GitPath(const std::string& path, const std::string& root) {
    std::string relative = path.size() > root.size() ? path.substr(root.size()) : std::string();
    while (!relative.empty() && relative.front() == kSeparator) relative.erase(0, 1);
    std::replace(relative.begin(), relative.end(), kSeparator, '/');
    return relative;
}

}  // namespace

TreeFilter::TreeFilter(const DirTree& tree, CopyFilter filter,
                       const std::vector<std::vector<Platform::Entry>>* files)
    : m_filter(std::move(filter)), m_dirRule(tree.nodes.size()) {
    const FilterRules& rules = m_filter.rules();
    if (tree.nodes.empty() ||
        (rules.directoryNames.empty() && rules.namePatterns.empty() && !rules.gitignore))
        return;
    if (rules.gitignore) {
        m_paths = AllNodePaths(tree);
        m_git = std::make_unique<GitIgnore>(m_paths.front());
        m_scopes.resize(tree.nodes.size());
        m_scopes[0] = m_git->Root();
    }
    for (std::size_t i = 1; i < tree.nodes.size(); ++i) {
        const DirNode& node = tree.nodes[i];
        const auto parent = static_cast<std::size_t>(node.parent);
        m_dirRule[i] = m_dirRule[parent];
        if (m_dirRule[i].empty())
            m_dirRule[i] = m_filter.DirectoryRule(node.label);
        if (!m_git || !m_dirRule[i].empty())
            continue;
        if (m_git->Ignored(*m_scopes[parent], node.label, true)) {
            m_dirRule[i] = GitRule(parent, node.label, true);
        } else if (files && i < files->size() && !node.loop) {
            GitIgnore::Marks marks = GitIgnore::MarksOf((*files)[i]);
            marks.repository =
                marks.repository || Platform::PathExists(JoinPath(m_paths[i], ".git"));
            m_scopes[i] = m_git->Enter(*m_scopes[parent], node.label, marks);
        } else {
            m_scopes[i] = m_git->EnterReading(*m_scopes[parent], node.label);
        }
    }
}

std::int64_t TreeFilter::DirectoriesKept() const {
    return std::count_if(m_dirRule.begin(), m_dirRule.end(),
                         [](const std::string& rule) { return rule.empty(); });
}

bool TreeFilter::PassesFile(std::size_t node, const Platform::Entry& e) const {
    if (LeftOut(node) || !m_filter.PassesFile(e.name, e.size))
        return false;
    return !m_git || !m_scopes[node] || !m_git->Ignored(*m_scopes[node], e.name, false);
}

std::string TreeFilter::FileRule(std::size_t node, const Platform::Entry& e) const {
    if (LeftOut(node))
        return m_dirRule[node];
    const std::string rule = m_filter.FileRule(e.name, e.size);
    if (m_git && m_scopes[node] && (rule.empty() || rule.starts_with("type:")) &&
        m_git->Ignored(*m_scopes[node], e.name, false))
        return GitRule(node, e.name, false);
    return rule;
}

std::string TreeFilter::GitRule(std::size_t node, const std::string& name, bool isDirectory) const {
    const std::string path = JoinPath(m_paths[node], name);
    const GitIgnore::Verdict verdict = m_git->Explain(GitPath(path, m_paths.front()), isDirectory);
    const std::string& root = m_paths.front();
    const bool below =
        verdict.source.size() > root.size() && verdict.source.compare(0, root.size(), root) == 0;
    return "gitignore:" + (below ? GitPath(verdict.source, root) : verdict.source);
}

CopyFilter RulesAlone(const CopyFilter& filter) {
    return CopyFilter(FilterKind::Exclude, {}, filter.rules());
}

bool PassesWithRules(const TreeFilter& rulesAlone, const CopyFilter& filter, std::size_t node,
                     const Platform::Entry& e) {
    return rulesAlone.PassesFile(node, e) && filter.PassesType(TypeKey(e.name));
}

FilterEffect MeasureFilter(const DirTree& tree,
                           const std::vector<std::vector<Platform::Entry>>& files,
                           const CopyFilter& filter) {
    return MeasureFilter(TreeFilter(tree, RulesAlone(filter), &files), files, filter);
}

FilterEffect MeasureFilter(const TreeFilter& rulesAlone,
                           const std::vector<std::vector<Platform::Entry>>& files,
                           const CopyFilter& filter) {
    FilterEffect effect;
    for (std::size_t i = 0; i < files.size() && i < rulesAlone.size(); ++i) {
        effect.ruleDirectories += rulesAlone.LeftOut(i) ? 1 : 0;
        for (const Platform::Entry& e : files[i]) {
            if (!rulesAlone.PassesFile(i, e)) {
                ++effect.ruleFiles;
                effect.ruleBytes += e.size;
            } else if (filter.PassesType(TypeKey(e.name))) {
                ++effect.copiedFiles;
                effect.copiedBytes += e.size;
            }
        }
    }
    return effect;
}

std::vector<RuleTally> LeftOutByRule(const DirTree& tree,
                                     const std::vector<std::vector<Platform::Entry>>& files,
                                     const CopyFilter& filter) {
    std::vector<RuleTally> tallies;
    for (std::string& word : RuleWords(filter.rules())) {
        if (word != "gitignore")  // each ignore file that leaves something out has its own
            tallies.push_back(RuleTally{std::move(word)});
    }
    if (filter.mode() == FilterKind::Exclude) {
        for (const std::string& type : filter.types()) tallies.push_back(RuleTally{"type:" + type});
    }
    auto tally = [&](const std::string& rule) -> RuleTally& {
        auto it = std::find_if(tallies.begin(), tallies.end(),
                               [&](const RuleTally& t) { return t.rule == rule; });
        return it != tallies.end() ? *it : tallies.emplace_back(RuleTally{rule});
    };
    const TreeFilter applied(tree, filter, &files);
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        if (applied.LeftOut(i))
            ++tally(applied.DirectoryRule(i)).directories;
        for (const Platform::Entry& e :
             i < files.size() ? files[i] : std::vector<Platform::Entry>{}) {
            const std::string rule = applied.FileRule(i, e);
            if (rule.empty())
                continue;
            RuleTally& t = tally(rule);
            ++t.files;
            t.bytes += e.size;
        }
    }
    return tallies;
}

namespace {

// The names of `relative`, split at "/" and the separator; "." dropped, ".." refused.
std::vector<std::string> NamesOf(const std::string& relative) {
    std::vector<std::string> names{std::string()};
    for (const char c : relative) {
        if (c == '/' || c == kSeparator)
            names.emplace_back();
        else
            names.back() += c;
    }
    std::erase_if(names, [](const std::string& n) { return n.empty() || n == "."; });
    if (names.empty() || std::find(names.begin(), names.end(), "..") != names.end())
        throw QuillError("the path must name an entry inside the source", Reason::InvalidName);
    return names;
}

}  // namespace

std::string WhyLeftOut(const std::string& source, const std::string& relative,
                       const CopyFilter& filter) {
    const std::vector<std::string> names = NamesOf(relative);
    DirTree tree;
    tree.nodes.push_back(DirNode{RootLabelFor(source, RootLabel::AsGiven)});
    Platform::Entry last;
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string dir = NodePath(tree, tree.size() - 1);
        std::vector<Platform::Entry> entries;
        if (const int err = Platform::ListDirectory(dir, Platform::Detail::Full, entries))
            RaiseIoError(err);
        const auto it = std::find_if(entries.begin(), entries.end(),
                                     [&](const Platform::Entry& e) { return e.name == names[k]; });
        if (it == entries.end() || (k + 1 < names.size() && !it->isDirectory))
            throw QuillError("File not found: " + JoinPath(dir, names[k]), Reason::NotFound);
        if (it->isDirectory && IsDotName(it->name))
            return "dot-directory";
        last = *it;
        if (it->isDirectory)
            tree.nodes.push_back(DirNode{it->name, tree.size() - 1, tree.size()});
    }
    const TreeFilter applied(tree, filter);
    for (std::size_t i = 1; i < tree.nodes.size(); ++i) {
        if (applied.LeftOut(i))
            return applied.DirectoryRule(i);
    }
    return last.isDirectory ? std::string() : applied.FileRule(tree.nodes.size() - 1, last);
}

}  // namespace FunSub
