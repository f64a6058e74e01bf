#include "core/TreeScan.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "core/FileCopyPlatform.h"
#include "core/FunSub.h"
#include "core/Parallel.h"

namespace FunSub {
namespace {

// One directory as it is read: its children are made by the thread that lists it and read
// by whichever thread takes them next.
struct Dir {
    Dir* parent = nullptr;
    std::string label;
    std::string path;
    int level = 0;
    Platform::FileId id;
    int error = 0;
    bool loop = false;
    std::vector<Platform::Entry> files;
    std::vector<std::unique_ptr<Dir>> children;
    GitIgnore::ScopePtr rules;  // git's rules in force here, when they are asked for
    // The directory itself, open while children are still to be read, so that they are
    // reached relative to it; null where too many are open already.
    std::shared_ptr<const Platform::Directory> handle;
    std::atomic<std::size_t> unread{0};  // children that have not been opened yet
};

class Reader {
public:
    Reader(const ScanOptions& options)
        : m_options(options),
          m_handleRoom(std::clamp<std::int64_t>(Platform::OpenFileRoom() / 4, 16, 8192)) {}

    // Reads `root` and everything below it.
    void Run(Dir& root) {
        m_waiting.push_back(&root);
        m_pending = 1;
        const int threads =
            m_options.threads > 0 ? m_options.threads : static_cast<int>(WalkThreads());
        std::vector<std::thread> helpers;
        for (int t = 1; t < threads; ++t) helpers.emplace_back([this] { Work(); });
        Work();
        for (std::thread& t : helpers) t.join();
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

    bool Stopped() const { return m_options.stop.requested(); }
    std::int64_t files() const { return m_files; }

private:
    void Work() {
        for (;;) {
            Dir* dir = nullptr;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [this] { return m_pending == 0 || !m_waiting.empty(); });
                if (m_pending == 0)
                    return;
                dir = m_waiting.back();
                m_waiting.pop_back();
            }
            try {
                if (!Stopped() && !m_failure)
                    Read(*dir);
            } catch (...) {
                const std::lock_guard lock(m_mutex);
                m_failure = std::current_exception();
            }
            const std::lock_guard lock(m_mutex);
            // Later siblings go below earlier ones, so the first is read first.
            for (auto it = dir->children.rbegin(); it != dir->children.rend(); ++it)
                m_waiting.push_back(it->get());
            m_pending += dir->children.size();
            if (--m_pending == 0 || !dir->children.empty())
                m_ready.notify_all();
        }
    }

    void Read(Dir& dir) {
        std::vector<Platform::Entry> entries;
        std::unique_ptr<Platform::Directory> opened;
        dir.error = Enter(dir, entries, opened);
        if (dir.error != 0)
            return;
        for (const Dir* up = dir.parent; up; up = up->parent) {
            if (up->id == dir.id) {
                dir.loop = true;  // met again on its own path (a bind mount): not entered
                return;
            }
        }
        if (const GitIgnore* git = m_options.ignore) {
            dir.rules = dir.parent
                            ? git->Enter(*dir.parent->rules, dir.label, GitIgnore::MarksOf(entries))
                            : git->Root();
        }
        for (Platform::Entry& e : entries) {
            if (!e.isDirectory) {
                if (m_options.files)
                    dir.files.push_back(std::move(e));
                continue;
            }
            if (e.name.empty() || IsDotName(e.name) ||
                (m_options.enter && !m_options.enter(e.name)) ||
                (dir.rules && m_options.ignore->Ignored(*dir.rules, e.name, true)))
                continue;
            auto child = std::make_unique<Dir>();
            child->parent = &dir;
            child->path = PathBelow(dir.path, e.name);
            child->label = std::move(e.name);
            child->level = dir.level + 1;
            dir.children.push_back(std::move(child));
        }
        Keep(dir, std::move(opened));
        const std::int64_t files = m_files += static_cast<std::int64_t>(dir.files.size());
        if (m_options.progress)
            m_options.progress(files);
    }

    // Enters and lists `dir`: relative to its parent where that is open, else by its path,
    // checked to lie still in the parent the walk listed it in. `opened` receives it open
    // when it was reached relative to its parent (or is the root). The parent's handle goes
    // once its last child has been opened.
    int Enter(Dir& dir, std::vector<Platform::Entry>& entries,
              std::unique_ptr<Platform::Directory>& opened) const {
        const auto detail = m_options.files ? Platform::Detail::Full : Platform::Detail::Kinds;
        if (!dir.parent) {
            const int err = Platform::EnterAndList(dir.path, detail, entries, dir.id);
            if (err == 0 && Platform::Directory::Open(dir.path, opened) != 0)
                opened.reset();
            return err;
        }
        const std::shared_ptr<const Platform::Directory> parent = dir.parent->handle;
        const int err =
            parent ? Platform::EnterAndListIn(*parent, dir.label, dir.path, detail, entries, dir.id,
                                              opened)
                   : Platform::EnterAndList(dir.path, detail, entries, dir.id, &dir.parent->id);
        if (dir.parent->unread.fetch_sub(1, std::memory_order_acq_rel) == 1)
            dir.parent->handle.reset();
        return err;
    }

    // Keeps `dir` open for its children while few enough are.
    void Keep(Dir& dir, std::unique_ptr<Platform::Directory> opened) {
        dir.unread = dir.children.size();
        if (!opened || dir.children.empty() || *m_handles >= m_handleRoom)
            return;
        ++*m_handles;
        dir.handle = std::shared_ptr<const Platform::Directory>(
            opened.release(), [count = m_handles](const Platform::Directory* d) {
                delete d;
                --*count;
            });
    }

    const ScanOptions& m_options;
    // Directories held open for their children, at most a quarter of the descriptors the
    // process may have; shared with the handles, which may outlive the reader.
    const std::int64_t m_handleRoom;
    std::shared_ptr<std::atomic<std::int64_t>> m_handles =
        std::make_shared<std::atomic<std::int64_t>>(0);
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<Dir*> m_waiting;
    std::size_t m_pending = 0;
    std::atomic<std::int64_t> m_files{0};
    std::exception_ptr m_failure;
};

// The tree's nodes in depth-first pre-order, as one walk makes them.
void Assemble(Dir& root, ScannedTree& out) {
    std::vector<std::pair<Dir*, int>> stack{{&root, -1}};
    while (!stack.empty()) {
        auto [dir, parent] = stack.back();
        stack.pop_back();
        const int index = out.tree.size();
        out.tree.nodes.push_back(
            DirNode{std::move(dir->label), parent, dir->level, dir->loop, dir->error});
        out.files.push_back(std::move(dir->files));
        for (auto it = dir->children.rbegin(); it != dir->children.rend(); ++it)
            stack.emplace_back(it->get(), index);
    }
}

}  // namespace

ScannedTree ScanTree(const std::string& rootPath, RootLabel rule, const ScanOptions& options) {
    CheckEnterable(rootPath);
    Dir root;
    root.path = rootPath;
    root.label = RootLabelFor(rootPath, rule);
    Reader reader(options);
    reader.Run(root);
    ScannedTree out;
    out.stopped = reader.Stopped();
    out.fileCount = reader.files();
    Assemble(root, out);
    return out;
}

}  // namespace FunSub
