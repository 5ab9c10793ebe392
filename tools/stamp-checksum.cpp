// Build tool: writes the standard PE image checksum into a linked program's optional
// header, so that the program can refuse to start from a truncated or corrupted file.
#include <cstdio>
#include <vector>

#include "../common/ImageChecksum.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: stamp-checksum program.exe\n");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "r+b");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<uint8_t> image;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        image.insert(image.end(), chunk, chunk + got);
    }
    const size_t offset = FindImageChecksumOffset(image.data(), image.size());
    if (offset == 0) {
        std::fprintf(stderr, "%s: not a PE image\n", argv[1]);
        std::fclose(file);
        return 1;
    }
    const uint32_t checksum = ComputeImageChecksum(image.data(), image.size(), offset);
    const uint8_t bytes[4] = {static_cast<uint8_t>(checksum), static_cast<uint8_t>(checksum >> 8),
                              static_cast<uint8_t>(checksum >> 16), static_cast<uint8_t>(checksum >> 24)};
    const bool written = std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
                         std::fwrite(bytes, 1, 4, file) == 4;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write the checksum\n", argv[1]);
        return 1;
    }
    return 0;
}
