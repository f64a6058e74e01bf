#include <algorithm>
#include <atomic>

#include "core/FileCopyPlatform.h"
#include "core/Platform.h"

namespace Platform {
namespace {

unsigned char Folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

}  // namespace

bool NameLess(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Folded(a[i]);
        const unsigned char y = Folded(b[i]);
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;  // the same but for case: a fixed order all the same ("A" before "a")
}

namespace {
std::atomic<ListingHook> g_listingHook{nullptr};
std::atomic<SyncHook> g_syncHook{nullptr};
}  // namespace

void SetSyncHook(SyncHook hook) {
    g_syncHook = hook;
}

bool AnswerSyncFromHook(int& result) {
    const SyncHook hook = g_syncHook.load();
    if (hook)
        result = hook();
    return hook != nullptr;
}

void SetListingHook(ListingHook hook) {
    g_listingHook = hook;
}

void RunListingHook(const std::string& dir) {
    if (const ListingHook hook = g_listingHook.load(std::memory_order_relaxed))
        hook(dir);
}

void SortByName(std::vector<Entry>& entries) {
    std::sort(entries.begin(), entries.end(),
              [](const Entry& x, const Entry& y) { return NameLess(x.name, y.name); });
}

}  // namespace Platform
