// --shard K/N: which inputs worker K of N converts. Each input's share is
// a stable hash of its path below the argument that named it, so every
// worker given the same inputs, in whatever order its shell lists them,
// agrees on the shares, and each input is in exactly one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "batch_inputs.h"

// 64-bit FNV-1a of the bytes of `text`: the same on every machine.
std::uint64_t stableHash(const std::string& text);

// The share (1 to count) that `relative` belongs to.
int shareOf(const std::string& relative, int count);

// Keeps the items of share `index` of `count` (count 0: keeps all).
void keepShare(std::vector<BatchItem>& items, int index, int count);
