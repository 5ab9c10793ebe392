#pragma once

#include <cstddef>
#include <cstdint>

constexpr int Sha256Size = 32;

struct ByteSpan {
    const uint8_t* data;
    size_t size;
};

// The SHA-256 of `count` spans taken one after another, through the system's CNG provider;
// false when the system cannot compute it.
bool ComputeSha256(const ByteSpan* spans, int count, uint8_t (&digest)[Sha256Size]);
