#include "core/CopyJob.h"

#include <algorithm>
#include <cmath>

#include "core/Glob.h"
#include "core/TreeStats.h"

namespace FunSub {

CopyFilter::CopyFilter(FilterKind mode, std::vector<std::string> types, FilterRules rules)
    : m_mode(mode), m_types(std::move(types)), m_rules(std::move(rules)) {
    for (const std::string& pattern : m_rules.namePatterns) {
        const bool directories = !pattern.empty() && pattern.back() == '/';
        m_patterns.push_back(
            Pattern{Platform::PathKey(pattern.substr(0, pattern.size() - (directories ? 1 : 0))),
                    directories});
    }
}

bool CopyFilter::PassesType(const std::string& key) const {
    const bool chosen = std::find(m_types.begin(), m_types.end(), key) != m_types.end();
    return m_mode == FilterKind::Exclude ? !chosen : chosen;
}

bool CopyFilter::PassesFile(const std::string& name, std::int64_t size) const {
    if (m_rules.sizeLimit >= 0 && size > m_rules.sizeLimit)
        return false;
    return PassesType(TypeKey(name)) && !MatchingPattern(name, false);
}

bool CopyFilter::PassesDirectory(const std::string& name) const {
    return DirectoryRule(name).empty();
}

std::string CopyFilter::DirectoryRule(const std::string& name) const {
    const auto& names = m_rules.directoryNames;
    if (!names.empty() && std::find(names.begin(), names.end(), LowerAscii(name)) != names.end())
        return "dir:" + LowerAscii(name);
    const std::string* pattern = MatchingPattern(name, true);
    return pattern ? "name:" + *pattern : std::string();
}

std::string CopyFilter::FileRule(const std::string& name, std::int64_t size) const {
    if (const std::string* pattern = MatchingPattern(name, false))
        return "name:" + *pattern;
    if (m_rules.sizeLimit >= 0 && size > m_rules.sizeLimit)
        return "size:" + std::to_string(m_rules.sizeLimit);
    const std::string type = TypeKey(name);
    return PassesType(type) ? std::string() : "type:" + type;
}

const std::string* CopyFilter::MatchingPattern(const std::string& name, bool directory) const {
    if (m_patterns.empty())
        return nullptr;
    const std::string key = Platform::PathKey(name);
    for (std::size_t i = 0; i < m_patterns.size(); ++i) {
        if (m_patterns[i].directories == directory && GlobMatch(m_patterns[i].key, key))
            return &m_rules.namePatterns[i];
    }
    return nullptr;
}

std::int64_t ParseSize(const std::string& text) {
    // The number by hand: the user's locale may write its decimal point otherwise.
    long double number = 0, scale = 0;
    std::size_t end = 0, digits = 0;
    for (; end < text.size(); ++end) {
        const char c = text[end];
        if (c == '.' && scale == 0) {
            scale = 1;
        } else if (c >= '0' && c <= '9') {
            ++digits;
            number = scale == 0 ? number * 10 + (c - '0') : number + (c - '0') * (scale /= 10);
        } else {
            break;
        }
    }
    std::string unit = LowerAscii(text.substr(end));
    if (unit == "b")
        unit.clear();
    if (unit.size() == 2 && unit[1] == 'b')
        unit.pop_back();  // "MB" as "M"
    const std::string kUnits = "kmgt";
    const std::size_t step = unit.size() == 1 ? kUnits.find(unit[0]) + 1 : 0;  // npos + 1 is 0
    if (digits == 0 || digits > 18 || (!unit.empty() && step == 0) || (step == 0 && scale != 0))
        return -1;
    const long double bytes = number * std::pow(1024.0L, static_cast<int>(step));
    return bytes > 9.0e18L ? -1 : static_cast<std::int64_t>(bytes);
}

std::vector<std::string> RuleWords(const FilterRules& rules) {
    std::vector<std::string> words;
    for (const std::string& name : rules.directoryNames) words.push_back("dir:" + name);
    for (const std::string& pattern : rules.namePatterns) words.push_back("name:" + pattern);
    if (rules.sizeLimit >= 0)
        words.push_back("size:" + std::to_string(rules.sizeLimit));
    if (rules.gitignore)
        words.push_back("gitignore");
    return words;
}

CopyFilter CurrentFilter() {
    return CopyFilter(FilterMode, SelectedTypes, SelectedRules);
}

CopyJob CurrentCopyJob() {
    CopyJob job;
    job.workDir = WorkDir;
    job.outputDir = OutputDir;
    job.targetName = TargetName;
    job.filter = CurrentFilter();
    job.fileTotal = TreeFileTotal;
    job.options.keepGoing = KeepGoing;
    job.options.verify = Verify;
    return job;
}

}  // namespace FunSub
