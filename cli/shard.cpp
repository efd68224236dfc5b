// Shares of a batch by FNV-1a (offset basis 14695981039346656037, prime
// 1099511628211, one byte at a time, unsigned wrap-around): fixed by its
// definition, unlike std::hash, so machines of a cluster agree.
#include "shard.h"

#include <algorithm>

std::uint64_t stableHash(const std::string& text) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

int shareOf(const std::string& relative, int count) {
    return static_cast<int>(stableHash(relative) % static_cast<std::uint64_t>(count)) + 1;
}

void keepShare(std::vector<BatchItem>& items, int index, int count) {
    if (count <= 0) return;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const BatchItem& i) { return shareOf(i.relative, count) != index; }),
                items.end());
}
