// Build tool, run on each linked program: points the optional header's load-configuration
// directory at the program's `_load_config_used` (found in the link map; older GNU linkers
// leave the directory empty), then writes the standard PE image checksum, so that the
// program can refuse to start from a truncated or corrupted file.
// With --checksum-only it writes the checksum alone: the release step after a signer that
// leaves the checksum stale (the Authenticode digest excludes that field, so the signature
// stays valid).
// With --signed-parts it writes, to another file, the image's bytes that signing leaves
// unchanged, for the build to record the program's digest.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../common/ImageChecksum.h"
#include "../common/SignedImageParts.h"

namespace {

uint32_t Read32(const std::vector<uint8_t>& image, size_t at)
{
    return static_cast<uint32_t>(image[at]) | static_cast<uint32_t>(image[at + 1]) << 8 |
           static_cast<uint32_t>(image[at + 2]) << 16 | static_cast<uint32_t>(image[at + 3]) << 24;
}

void Write32(std::vector<uint8_t>& image, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        image[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// The address the link map gives the symbol, or 0.
uint64_t SymbolAddress(const char* mapPath, const char* symbol)
{
    std::FILE* map = std::fopen(mapPath, "r");
    if (!map) {
        return 0;
    }
    char line[4096];
    uint64_t address = 0;
    while (address == 0 && std::fgets(line, sizeof(line), map)) {
        unsigned long long value = 0;
        char name[256] = {};
        if (std::sscanf(line, " 0x%llx %255s", &value, name) != 2) {
            continue;
        }
        // The map names the symbol with or without the leading underscore of 32-bit C names.
        if (std::strcmp(name, symbol) == 0 || (name[0] == '_' && std::strcmp(name + 1, symbol) == 0)) {
            address = value;
        }
    }
    std::fclose(map);
    return address;
}

// File offset of `rva` through the section table, or 0 when no section holds it.
size_t FileOffset(const std::vector<uint8_t>& image, size_t header, uint32_t rva)
{
    const size_t sections = image[header + 6] | image[header + 7] << 8;
    const size_t optionalSize = image[header + 20] | image[header + 21] << 8;
    const size_t table = header + 24 + optionalSize;
    for (size_t i = 0; i < sections && table + 40 * (i + 1) <= image.size(); ++i) {
        const size_t entry = table + 40 * i;
        const uint32_t virtualSize = Read32(image, entry + 8);
        const uint32_t virtualAddress = Read32(image, entry + 12);
        const uint32_t rawSize = Read32(image, entry + 16);
        const uint32_t rawOffset = Read32(image, entry + 20);
        if (rva >= virtualAddress && rva - virtualAddress < virtualSize && rva - virtualAddress < rawSize) {
            return rawOffset + (rva - virtualAddress);
        }
    }
    return 0;
}

bool SetLoadConfigDirectory(std::vector<uint8_t>& image, size_t checksumOffset, const char* mapPath)
{
    const size_t optional = checksumOffset - 64;
    const size_t header = optional - 24;
    // PE32 keeps a 32-bit image base at 28 and its data directories at 96; PE32+ a 64-bit
    // base at 24 and the directories at 112.
    uint64_t imageBase = 0;
    size_t directories = 0;
    if (image[optional] == 0x0B && image[optional + 1] == 0x01) {
        imageBase = Read32(image, optional + 28);
        directories = optional + 96;
    } else if (image[optional] == 0x0B && image[optional + 1] == 0x02) {
        imageBase = Read32(image, optional + 24) | static_cast<uint64_t>(Read32(image, optional + 28)) << 32;
        directories = optional + 112;
    } else {
        return false;
    }
    const uint64_t address = SymbolAddress(mapPath, "_load_config_used");
    if (address <= imageBase || address - imageBase > 0xFFFFFFFFu) {
        return false;
    }
    const uint32_t rva = static_cast<uint32_t>(address - imageBase);
    const size_t at = FileOffset(image, header, rva);
    if (at == 0 || at + 4 > image.size()) {
        return false;
    }
    const size_t directory = directories + 10 * 8;  // IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG
    Write32(image, directory, rva);
    Write32(image, directory + 4, Read32(image, at));  // the structure's own Size field
    return true;
}

std::vector<uint8_t> ReadAll(std::FILE* file)
{
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

int WriteSignedParts(const char* path, const char* outputPath)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::perror(path);
        return 1;
    }
    const std::vector<uint8_t> image = ReadAll(file);
    std::fclose(file);
    ImagePart parts[SignedImagePartCount];
    if (!FindSignedImageParts(image.data(), image.size(), parts)) {
        std::fprintf(stderr, "%s: not a PE image\n", path);
        return 1;
    }
    std::FILE* output = std::fopen(outputPath, "wb");
    if (!output) {
        std::perror(outputPath);
        return 1;
    }
    bool written = true;
    for (const ImagePart& part : parts) {
        const size_t size = part.end - part.begin;
        written = written && std::fwrite(image.data() + part.begin, 1, size, output) == size;
    }
    if (std::fclose(output) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write\n", outputPath);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--signed-parts") == 0) {
        return WriteSignedParts(argv[2], argv[3]);
    }
    const bool checksumOnly = argc == 3 && std::strcmp(argv[1], "--checksum-only") == 0;
    if (argc != 3) {
        std::fprintf(stderr, "usage: stamp-image program.exe program.map\n"
                             "       stamp-image --checksum-only program.exe\n"
                             "       stamp-image --signed-parts program.exe output\n");
        return 2;
    }
    const char* path = checksumOnly ? argv[2] : argv[1];
    std::FILE* file = std::fopen(path, "r+b");
    if (!file) {
        std::perror(path);
        return 1;
    }
    std::vector<uint8_t> image = ReadAll(file);
    const size_t offset = FindImageChecksumOffset(image.data(), image.size());
    if (offset == 0 || image.size() < offset - 64 + 112 + 16 * 8) {
        std::fprintf(stderr, "%s: not a PE image\n", path);
        std::fclose(file);
        return 1;
    }
    if (!checksumOnly && !SetLoadConfigDirectory(image, offset, argv[2])) {
        std::fprintf(stderr, "%s: no load configuration in %s\n", argv[1], argv[2]);
        std::fclose(file);
        return 1;
    }
    Write32(image, offset, ComputeImageChecksum(image.data(), image.size(), offset));
    const bool written = std::fseek(file, 0, SEEK_SET) == 0 &&
                         std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write the image\n", path);
        return 1;
    }
    return 0;
}
