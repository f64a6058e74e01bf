#include "core/TreeScan.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "core/FunSub.h"
#include "core/Parallel.h"

namespace FunSub {
namespace {

// One directory as it is read: its children are made by the thread that lists it and read
// by whichever thread takes them next.
struct Dir {
    const Dir* parent = nullptr;
    std::string label;
    std::string path;
    int level = 0;
    Platform::FileId id;
    int error = 0;
    bool loop = false;
    std::vector<Platform::Entry> files;
    std::vector<std::unique_ptr<Dir>> children;
};

class Reader {
public:
    Reader(const ScanOptions& options) : m_options(options) {}

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

    bool Stopped() const {
        return m_options.stop && m_options.stop->load(std::memory_order_relaxed);
    }
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
        dir.error = Platform::EnterAndList(
            dir.path, m_options.files ? Platform::Detail::Full : Platform::Detail::Kinds, entries,
            dir.id);
        if (dir.error != 0)
            return;
        for (const Dir* up = dir.parent; up; up = up->parent) {
            if (up->id == dir.id) {
                dir.loop = true;  // met again on its own path (a bind mount): not entered
                return;
            }
        }
        for (Platform::Entry& e : entries) {
            if (!e.isDirectory) {
                if (m_options.files)
                    dir.files.push_back(std::move(e));
                continue;
            }
            if (e.name.empty() || e.name[0] == '.')
                continue;
            auto child = std::make_unique<Dir>();
            child->parent = &dir;
            child->path = PathBelow(dir.path, e.name);
            child->label = std::move(e.name);
            child->level = dir.level + 1;
            dir.children.push_back(std::move(child));
        }
        const std::int64_t files = m_files += static_cast<std::int64_t>(dir.files.size());
        if (m_options.progress)
            m_options.progress(files);
    }

    const ScanOptions& m_options;
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
