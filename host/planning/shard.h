// A stable split of a run's tracks into N shards, one per machine: a track belongs to shard K of N
// by a hash of its input path as given, so that every machine that is given the same inputs makes
// the same split, whatever their order and however many other tracks there are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cvnhost {

struct Shard {
    uint32_t index = 1; // K, from 1
    uint32_t count = 1; // N
};

// "K/N" with 1 <= K <= N; nothing otherwise.
std::optional<Shard> parseShard(const std::string& text);

bool belongsToShard(const std::string& input, const Shard& shard);

} // namespace cvnhost
