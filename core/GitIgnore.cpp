#include "core/GitIgnore.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace FunSub {

namespace {

// How a pattern is matched: the fast shapes compare bytes only, the rest go through Glob.
enum class Shape : std::uint8_t { Exact, Suffix, Prefix, Tail, Glob, Never };

struct Pattern {
    std::string text;     // what is matched: no "!", no leading or trailing "/"
    std::string literal;  // Exact, Suffix, Prefix: the bytes to compare, escapes resolved
    std::string shown;    // the line as written, without its trailing blanks
    int line = 0;
    std::size_t firstWild = 0;  // where the first wildcard or backslash of `text` is
    std::size_t tailStart = 0;  // Tail: "*" and then `tailLength` characters from here
    std::size_t tailLength = 0;
    int slashes = -1;   // anchored: the "/" in any path it can match; -1 with "**", any number
    int lastByte = -1;  // the byte every name it matches ends in; -1 when that is not one byte
    // "X/**": its number among such patterns of its file, and the length of X; -1 for others.
    // Whether it matches depends on the directory alone, and each Scope knows the answer.
    int under = -1;
    std::size_t underLength = 0;
    Shape shape = Shape::Glob;
    bool negated = false;
    bool directoryOnly = false;
    bool anchored = false;  // matched against the path below the file's directory, not the name
};

// One file of patterns, and the next one out (lower precedence).
struct RuleFile {
    std::string source;
    std::size_t base = 0;  // length of the path of the file's directory, as Scope::path
    int depth = 0;         // names from the work tree's top down to that directory
    std::vector<Pattern> patterns;
    std::shared_ptr<const RuleFile> outer;
    std::uint32_t underBase = 0;   // the "X/**" patterns of the outer files
    std::uint32_t underCount = 0;  // and of this one
    // For files [0] and directories [1]: by the last byte of the name, the patterns that can
    // match it, the last one first, in order[k][from[k][b]] to order[k][from[k][b + 1]].
    std::vector<std::uint32_t> order[2];
    std::array<std::uint32_t, 257> from[2] = {};
};

}  // namespace

class GitIgnore::Scope {
public:
    std::string path;  // below the work tree's top, with a "/" after each name; "" at the top
    std::string full;  // the directory on the disk
    int depth = 0;     // its names below the top
    // By the numbers of the "X/**" patterns in force: X matches this directory or one above
    // it (below the pattern's file), so the pattern matches every entry here.
    std::vector<bool> inside;
    std::shared_ptr<const RuleFile> rules;  // the innermost file in force
};

namespace {

bool IsGlobChar(char c) {
    return c == '*' || c == '?' || c == '[' || c == '\\';
}

// The POSIX class `name` of a bracket expression, in ASCII as git has it.
int ClassMatch(std::string_view name, unsigned char c) {
    const bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
    const bool digit = c >= '0' && c <= '9', print = c >= 0x20 && c < 0x7f;
    const bool space = c == ' ' || (c >= '\t' && c <= '\r');
    if (name == "alnum")
        return upper || lower || digit;
    if (name == "alpha")
        return upper || lower;
    if (name == "blank")
        return c == ' ' || c == '\t';
    if (name == "cntrl")
        return c < 0x20 || c == 0x7f;
    if (name == "digit")
        return digit;
    if (name == "graph")
        return print && c != ' ';
    if (name == "lower")
        return lower;
    if (name == "print")
        return print;
    if (name == "punct")
        return print && c != ' ' && !upper && !lower && !digit;
    if (name == "space")
        return space;
    if (name == "upper")
        return upper;
    if (name == "xdigit")
        return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    return -1;
}

// Reads the bracket expression at p[i] == '[' and moves i past its "]". Returns whether `c`
// is one of its characters, or -1 when the expression is malformed (never closed, an
// unknown class), which makes the whole pattern match nothing.
int Bracket(std::string_view p, std::size_t& i, unsigned char c) {
    ++i;
    const bool negate = i < p.size() && (p[i] == '!' || p[i] == '^');
    if (negate)
        ++i;
    bool hit = false;
    for (bool first = true;; first = false) {
        if (i >= p.size())
            return -1;
        unsigned char lo = static_cast<unsigned char>(p[i]);
        if (lo == ']' && !first) {
            ++i;
            break;
        }
        if (lo == '[' && i + 1 < p.size() && p[i + 1] == ':') {
            const std::size_t close = p.find(']', i + 2);
            if (close == std::string_view::npos)
                return -1;
            if (close >= i + 3 && p[close - 1] == ':') {
                const int in = ClassMatch(p.substr(i + 2, close - 1 - (i + 2)), c);
                if (in < 0)
                    return -1;
                hit = hit || in > 0;
                i = close + 1;
                continue;
            }
            // Not a class after all: the "[" stands for itself and the ":" is dropped.
            i += 2;
        } else {
            if (lo == '\\' && ++i >= p.size())
                return -1;
            lo = static_cast<unsigned char>(p[i]);
            ++i;
        }
        unsigned char hi = lo;
        if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']') {
            i += (p[i + 1] == '\\') ? 2 : 1;
            if (i >= p.size())
                return -1;
            hi = static_cast<unsigned char>(p[i++]);
        }
        hit = hit || (c >= lo && c <= hi);
    }
    return (hit != negate) && c != '/';
}

// fnmatch with FNM_PATHNAME and git's "**": "*", "?" and brackets never match "/". Two or
// more stars that follow a "/" or begin the pattern or its first wildcard (git compares the
// bytes before that one as they are and matches the rest on its own, so "l**/m" takes "lm")
// are special: before a "/" they match no or any number of whole directories, at the end of
// the pattern anything at all. Elsewhere they are one star.
bool Glob(std::string_view p, std::size_t pi, std::string_view t, std::size_t ti,
          std::size_t firstWild) {
    while (pi < p.size()) {
        const char pc = p[pi];
        if (pc == '*') {
            const std::size_t from = pi;
            while (pi < p.size() && p[pi] == '*') ++pi;
            const bool twice =
                pi - from >= 2 && (from == firstWild || from == 0 || p[from - 1] == '/');
            if (pi == p.size())
                return twice || t.find('/', ti) == std::string_view::npos;
            if (twice && p[pi] == '/') {
                for (std::size_t k = ti;; ++k) {
                    if (Glob(p, pi + 1, t, k, firstWild))
                        return true;
                    k = t.find('/', k);
                    if (k == std::string_view::npos)
                        return false;
                }
            }
            for (std::size_t k = ti;; ++k) {
                if (Glob(p, pi, t, k, firstWild))
                    return true;
                if (k >= t.size() || t[k] == '/')
                    return false;
            }
        }
        if (ti >= t.size())
            return false;
        const unsigned char tc = static_cast<unsigned char>(t[ti]);
        if (pc == '[') {
            if (Bracket(p, pi, tc) != 1)
                return false;
        } else if (pc == '?') {
            if (tc == '/')
                return false;
            ++pi;
        } else {
            if (pc == '\\')
                ++pi;
            if (pi >= p.size() || static_cast<unsigned char>(p[pi]) != tc)
                return false;
            ++pi;
        }
        ++ti;
    }
    return ti == t.size();
}

// Whether `text` can match anything: every bracket closes and names a known class, and no
// backslash ends it.
bool WellFormed(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\\') {
            if (i + 1 >= text.size())
                return false;
            i += 2;
        } else if (text[i] == '[') {
            if (Bracket(text, i, 'a') < 0)
                return false;
        } else {
            ++i;
        }
    }
    return true;
}

// The escapes of `text` resolved, when it holds no wildcard; false when it holds one.
bool Literal(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[++i];
        } else if (IsGlobChar(text[i])) {
            return false;
        } else {
            out += text[i];
        }
    }
    return true;
}

// How many characters of a name the pattern text from `at` on matches, when that is fixed
// (no star in it); -1 otherwise. The text is well formed.
long FixedLength(std::string_view text, std::size_t at) {
    long n = 0;
    for (std::size_t i = at; i < text.size(); ++n) {
        if (text[i] == '*')
            return -1;
        if (text[i] == '[')
            Bracket(text, i, 'a');
        else
            i += text[i] == '\\' ? 2 : 1;
    }
    return n;
}

// Picks the fastest way to match `p`.
void ChooseShape(Pattern& p) {
    if (!WellFormed(p.text)) {
        p.shape = Shape::Never;
    } else if (Literal(p.text, p.literal)) {
        p.shape = Shape::Exact;
    } else if (p.anchored) {
        p.shape = Shape::Glob;
    } else if (p.text[0] == '*' && Literal(std::string_view(p.text).substr(1), p.literal)) {
        p.shape = Shape::Suffix;  // "*.o": no "/" in a name, so "*" takes any start
    } else {
        const std::size_t stars = p.text.find_last_not_of('*') + 1;
        const bool prefix = stars < p.text.size() && p.text[stars - 1] != '\\' &&
                            Literal(std::string_view(p.text).substr(0, stars), p.literal);
        p.shape = prefix ? Shape::Prefix : Shape::Glob;
        const std::size_t tail = p.text.find_first_not_of('*');
        const long length = tail > 0 ? FixedLength(p.text, tail) : -1;
        if (!prefix && length >= 0) {
            p.shape = Shape::Tail;  // "*.py[co]": only the name's last characters can match
            p.tailStart = tail;
            p.tailLength = static_cast<std::size_t>(length);
        }
    }
}

// The byte that the last character of `text` stands for when that is a plain or escaped
// one; -1 for a wildcard or a bracket expression.
int LastByte(std::string_view text) {
    int last = -1;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '[') {
            Bracket(text, i, 'a');
            last = -1;
            continue;
        }
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        else if (text[i] == '*' || text[i] == '?')
            last = -2;
        last = last == -2 ? -1 : static_cast<unsigned char>(text[i]);
        ++i;
    }
    return last;
}

// The end of `line` once its trailing blanks are cut: a blank escaped by a backslash stays.
std::size_t CutTrailingBlanks(std::string_view line) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            i = std::min(i + 1, line.size() - 1);
            end = i + 1;
        } else if (line[i] != ' ') {
            end = i + 1;
        }
    }
    return end;
}

// The pattern of one line; false for a blank line, a comment or one that matches no name.
bool ParseLine(std::string_view line, int number, Pattern& p) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty() || line[0] == '#')
        return false;
    line = line.substr(0, CutTrailingBlanks(line));
    p = Pattern{};
    p.shown = std::string(line);
    p.line = number;
    if (!line.empty() && line[0] == '!') {
        p.negated = true;
        line.remove_prefix(1);
    }
    if (!line.empty() && line.back() == '/') {
        p.directoryOnly = true;
        line.remove_suffix(1);
    }
    p.anchored = line.find('/') != std::string_view::npos;
    if (!line.empty() && line[0] == '/')
        line.remove_prefix(1);
    if (line.empty())
        return false;
    p.text = std::string(line);
    p.firstWild = std::min(p.text.find_first_of("*?[\\"), p.text.size());
    p.lastByte = LastByte(p.text);
    if (p.anchored && p.text.find("**") == std::string::npos)
        p.slashes = static_cast<int>(std::count(p.text.begin(), p.text.end(), '/'));
    ChooseShape(p);
    return true;
}

bool Matches(const Pattern& p, std::string_view subject) {
    switch (p.shape) {
        case Shape::Exact:
            return subject == p.literal;
        case Shape::Suffix:
            return subject.size() >= p.literal.size() &&
                   subject.substr(subject.size() - p.literal.size()) == p.literal;
        case Shape::Prefix:
            return subject.substr(0, p.literal.size()) == p.literal;
        case Shape::Tail:
            return subject.size() >= p.tailLength &&
                   Glob(p.text, p.tailStart, subject.substr(subject.size() - p.tailLength), 0,
                        std::string_view::npos);
        case Shape::Glob:
            return Glob(p.text, 0, subject, 0, p.firstWild);
        case Shape::Never:
            break;
    }
    return false;
}

// Fills `order` and `from`: a name is tried only against the patterns that can end as it
// does, most of them compare nothing at all.
void IndexByLastByte(RuleFile& file) {
    for (int dirs = 0; dirs < 2; ++dirs) {
        auto& order = file.order[dirs];
        auto& from = file.from[dirs];
        for (int b = 0; b < 256; ++b) {
            from[b] = static_cast<std::uint32_t>(order.size());
            for (std::size_t k = file.patterns.size(); k-- > 0;) {
                const Pattern& p = file.patterns[k];
                if ((p.directoryOnly && !dirs) || p.shape == Shape::Never ||
                    (p.lastByte >= 0 && p.lastByte != b))
                    continue;
                order.push_back(static_cast<std::uint32_t>(k));
            }
        }
        from[256] = static_cast<std::uint32_t>(order.size());
    }
}

// Numbers the "X/**" patterns of `file`: X followed by a "/" that is a "/" of the path. When
// X ends in stars, "**/" may take no directory at all ("**/**" matches a name alone), and the
// pattern is matched as it is.
void NumberUnderPatterns(RuleFile& file) {
    for (Pattern& q : file.patterns) {
        const std::size_t x = q.text.size() >= 3 ? q.text.find_last_not_of('*') : 0;
        if (q.anchored && q.shape == Shape::Glob && x != std::string::npos && x > 0 &&
            x + 3 <= q.text.size() && q.text[x] == '/' && q.text[x - 1] != '\\' &&
            q.text[x - 1] != '*') {
            q.under = static_cast<int>(file.underCount++);
            q.underLength = x;
        }
    }
}

// Reads the patterns of `source` onto `outer`; gives `outer` itself when it has none.
std::shared_ptr<const RuleFile> ReadRules(const std::string& source, std::size_t base, int depth,
                                          std::shared_ptr<const RuleFile> outer) {
    std::string content;
    if (Platform::ReadSmallFile(source, content) != 0)
        return outer;
    auto file = std::make_shared<RuleFile>();
    std::string_view rest = content;
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);  // a UTF-8 byte-order mark
    Pattern p;
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        if (ParseLine(rest.substr(0, end), number, p))
            file->patterns.push_back(std::move(p));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    if (file->patterns.empty())
        return outer;
    file->source = source;
    file->base = base;
    file->depth = depth;
    file->underBase = outer ? outer->underBase + outer->underCount : 0;
    file->outer = std::move(outer);
    NumberUnderPatterns(*file);
    IndexByLastByte(*file);
    return file;
}

std::string Join(const std::string& dir, std::string_view name) {
    std::string out = dir;
    if (out.empty() || out.back() != Platform::kSeparator)
        out += Platform::kSeparator;
    out += name;
    return out;
}

bool IsAbsolute(const std::string& path) {
    return Platform::RootLength(path) > 0 || (!path.empty() && path[0] == Platform::kSeparator);
}

// The first line of a small file, without its line end; empty when it cannot be read.
std::string FirstLine(const std::string& path) {
    std::string content;
    if (Platform::ReadSmallFile(path, content) != 0)
        return {};
    content.resize(std::min(content.find_first_of("\r\n"), content.size()));
    return content;
}

// Where the info/exclude of the repository whose work tree's top is `top` lies: in its .git
// directory, or for a linked work tree (a .git file naming its directory) in the directory
// that the work trees share.
std::string ExcludeFileOf(const std::string& top) {
    std::string gitDir = Join(top, ".git");
    if (!Platform::IsDirectory(gitDir)) {
        std::string named = FirstLine(gitDir);
        if (named.rfind("gitdir:", 0) != 0)
            return {};
        named.erase(0, std::min(named.find_first_not_of(' ', 7), named.size()));
        if (named.empty())
            return {};
        gitDir = IsAbsolute(named) ? named : Join(top, named);
        std::string common = FirstLine(Join(gitDir, "commondir"));
        if (!common.empty())
            gitDir = IsAbsolute(common) ? common : Join(gitDir, common);
        // Named as the system names it, so that an explanation shows no "..".
        const std::string canonical = Platform::CanonicalPath(gitDir);
        if (!canonical.empty())
            gitDir = canonical;
    }
    return Join(Join(gitDir, "info"), "exclude");
}

// The nearest directory from `dir` upwards that holds a .git; empty when there is none.
std::string WorkTreeTop(std::string dir) {
    for (;;) {
        const std::string git = Join(dir, ".git");
        if (Platform::IsDirectory(git) || Platform::IsFile(git))
            return dir;
        const std::size_t cut = dir.find_last_of(Platform::kSeparator);
        const std::size_t root = Platform::RootLength(dir);
        if (cut == std::string::npos || dir.size() <= root)
            return {};
        dir.resize(std::max(cut, root));
    }
}

GitIgnore::Marks ListedMarks(const std::string& dir) {
    std::vector<Platform::Entry> listing;
    Platform::ListDirectory(dir, Platform::Detail::Kinds, listing);
    return GitIgnore::MarksOf(listing);
}

}  // namespace

namespace {

// Fills `scope.inside`, from what holds for its parent (none in a repository of its own).
void MarkInside(GitIgnore::Scope& scope, const GitIgnore::Scope* parent) {
    const RuleFile* rules = scope.rules.get();
    scope.inside.assign(rules ? rules->underBase + rules->underCount : 0, false);
    if (parent) {
        const std::size_t n = std::min(parent->inside.size(), scope.inside.size());
        std::copy_n(parent->inside.begin(), n, scope.inside.begin());
    }
    for (const RuleFile* f = rules; f; f = f->outer.get()) {
        if (f->underCount == 0 || f->base >= scope.path.size())
            continue;
        const std::string_view dir =
            std::string_view(scope.path).substr(f->base, scope.path.size() - f->base - 1);
        for (const Pattern& p : f->patterns) {
            if (p.under < 0 || scope.inside[f->underBase + p.under])
                continue;
            const std::string_view x = std::string_view(p.text).substr(0, p.underLength);
            scope.inside[f->underBase + p.under] = Glob(x, 0, dir, 0, p.firstWild);
        }
    }
}

}  // namespace

GitIgnore::Marks GitIgnore::MarksOf(const std::vector<Platform::Entry>& listing) {
    Marks marks;
    for (const auto& e : listing) {
        if (e.name.size() < 4 || e.name[0] != '.')
            continue;
        if (e.name == ".gitignore" && !e.isDirectory && e.kind == Platform::FileKind::Regular)
            marks.ignoreFile = true;
        if (e.name == ".git" && (e.isDirectory || e.kind == Platform::FileKind::Regular))
            marks.repository = true;
    }
    return marks;
}

GitIgnore::GitIgnore(const std::string& root) {
    std::string canonical = Platform::CanonicalPath(root);
    if (canonical.empty())
        canonical = root;
    std::string top = WorkTreeTop(canonical);
    if (top.empty())
        top = canonical;
    auto scope = std::make_shared<Scope>();
    scope->full = top;
    const Marks topMarks = ListedMarks(top);
    if (topMarks.repository)
        scope->rules = ReadRules(ExcludeFileOf(top), 0, 0, nullptr);
    if (topMarks.ignoreFile)
        scope->rules = ReadRules(Join(top, ".gitignore"), 0, 0, scope->rules);
    MarkInside(*scope, nullptr);
    m_root = scope;
    // Down from the top to the root, as a walk would go.
    std::string_view below = std::string_view(canonical).substr(top.size());
    while (!below.empty()) {
        below.remove_prefix(std::min(below.find_first_not_of(Platform::kSeparator), below.size()));
        if (below.empty())
            break;
        const std::string_view name = below.substr(0, below.find(Platform::kSeparator));
        below.remove_prefix(name.size());
        if (!m_rootVerdict.ignored)
            m_rootVerdict = Decide(*m_root, name, true);
        m_root = EnterReading(*m_root, name);
    }
}

GitIgnore::ScopePtr GitIgnore::Enter(const Scope& parent, std::string_view name,
                                     Marks marks) const {
    auto scope = std::make_shared<Scope>();
    scope->path.reserve(parent.path.size() + name.size() + 1);
    scope->path.append(parent.path).append(name).push_back('/');
    scope->full = Join(parent.full, name);
    scope->depth = parent.depth + 1;
    scope->rules = parent.rules;
    const std::size_t base = scope->path.size();
    if (marks.repository)
        scope->rules = ReadRules(ExcludeFileOf(scope->full), base, scope->depth, nullptr);
    if (marks.ignoreFile) {
        scope->rules = ReadRules(Join(scope->full, ".gitignore"), base, scope->depth, scope->rules);
    }
    MarkInside(*scope, marks.repository ? nullptr : &parent);
    return scope;
}

GitIgnore::ScopePtr GitIgnore::EnterReading(const Scope& parent, std::string_view name) const {
    return Enter(parent, name, ListedMarks(Join(parent.full, name)));
}

namespace {

// The last pattern of the rules in force that matches, searched from the innermost file out.
const Pattern* LastMatch(const GitIgnore::Scope& scope, std::string_view name, bool isDirectory,
                         const RuleFile** from) {
    thread_local std::string path;
    bool pathMade = false;
    const unsigned char last = name.empty() ? 0 : static_cast<unsigned char>(name.back());
    for (const RuleFile* f = scope.rules.get(); f; f = f->outer.get()) {
        const int depth = scope.depth - f->depth;
        const auto& order = f->order[isDirectory];
        const auto& slice = f->from[isDirectory];
        for (std::uint32_t k = slice[last]; k < slice[last + 1]; ++k) {
            const Pattern* p = &f->patterns[order[k]];
            if (p->anchored && p->slashes >= 0 && p->slashes != depth)
                continue;
            if (p->under >= 0) {
                if (!scope.inside[f->underBase + p->under])
                    continue;
                *from = f;
                return p;
            }
            if (p->anchored && !pathMade) {
                path.assign(scope.path).append(name);
                pathMade = true;
            }
            if (Matches(*p, p->anchored ? std::string_view(path).substr(f->base) : name)) {
                *from = f;
                return p;
            }
        }
    }
    return nullptr;
}

}  // namespace

bool GitIgnore::Ignored(const Scope& scope, std::string_view name, bool isDirectory) const {
    if (m_rootVerdict.ignored)
        return true;
    const RuleFile* from = nullptr;
    const Pattern* p = LastMatch(scope, name, isDirectory, &from);
    return p && !p->negated;
}

GitIgnore::Verdict GitIgnore::Decide(const Scope& scope, std::string_view name,
                                     bool isDirectory) const {
    const RuleFile* from = nullptr;
    const Pattern* p = LastMatch(scope, name, isDirectory, &from);
    if (!p)
        return {};
    return {!p->negated, true, from->source, p->line, p->shown};
}

GitIgnore::Verdict GitIgnore::Explain(std::string_view relativePath, bool isDirectory) const {
    if (m_rootVerdict.ignored)
        return m_rootVerdict;
    ScopePtr scope = m_root;
    for (;;) {
        const std::size_t cut = relativePath.find('/');
        const std::string_view name = relativePath.substr(0, cut);
        if (cut == std::string_view::npos || cut + 1 == relativePath.size())
            return Decide(*scope, name, isDirectory || cut != std::string_view::npos);
        if (!name.empty()) {
            Verdict v = Decide(*scope, name, true);
            if (v.ignored)
                return v;
            scope = EnterReading(*scope, name);
        }
        relativePath.remove_prefix(cut + 1);
    }
}

}  // namespace FunSub
