#pragma once

// The standard PE image checksum (the value MapFileAndCheckSumW computes): the file's
// 16-bit words summed with end-around carry, the header's checksum field counted as zero,
// plus the file's length. Shared by the build's stamping tool and the programs' self-check;
// needs no Windows header.

#include <cstddef>
#include <cstdint>

// Offset of the optional header's CheckSum field, or 0 when `image` is not a PE file.
inline size_t FindImageChecksumOffset(const uint8_t* image, size_t size)
{
    if (size < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        return 0;
    }
    const size_t header = static_cast<size_t>(image[0x3C]) | static_cast<size_t>(image[0x3D]) << 8 |
                          static_cast<size_t>(image[0x3E]) << 16 | static_cast<size_t>(image[0x3F]) << 24;
    // Signature (4 bytes), file header (20 bytes), then CheckSum at 64 into the optional header.
    const size_t offset = header + 4 + 20 + 64;
    if (header > size || size - header < 4 + 20 + 64 + 4 || image[header] != 'P' || image[header + 1] != 'E' ||
        image[header + 2] != 0 || image[header + 3] != 0) {
        return 0;
    }
    return offset;
}

inline uint32_t ComputeImageChecksum(const uint8_t* image, size_t size, size_t checksumOffset)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < size; i += 2) {
        uint32_t word = image[i];
        if (i + 1 < size) {
            word |= static_cast<uint32_t>(image[i + 1]) << 8;
        }
        if (i == checksumOffset || i == checksumOffset + 2) {
            word = 0;
        }
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<uint32_t>(size);
}

// The little-endian 32-bit value at `at`.
inline uint32_t ReadImageDword(const uint8_t* image, size_t at)
{
    return static_cast<uint32_t>(image[at]) | static_cast<uint32_t>(image[at + 1]) << 8 |
           static_cast<uint32_t>(image[at + 2]) << 16 | static_cast<uint32_t>(image[at + 3]) << 24;
}

inline uint32_t ReadImageChecksum(const uint8_t* image, size_t checksumOffset)
{
    return ReadImageDword(image, checksumOffset);
}
