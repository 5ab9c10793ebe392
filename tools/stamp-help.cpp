// Build tool, run on the compiled help file: the help compiler stamps the time of day of
// the build into the file's header and into its #SYSTEM record. Both are set to the time
// of day of SOURCE_DATE_EPOCH, so that two builds of one commit give the same bytes.
// Usage: stamp-help file.chm epoch-seconds
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The header holds the time as milliseconds of the day, big-endian; #SYSTEM's record 10 (4
// bytes long) holds it too, little-endian.
constexpr size_t HeaderTimeOffset = 0x10;
constexpr uint32_t Day = 86400000;

// Two times of day at most ten seconds apart, either way round midnight: a build whose
// header is stamped at 23:59:59 writes its record at 00:00:0x.
bool CloseInTheDay(uint32_t a, uint32_t b)
{
    if (a >= Day || b >= Day) {
        return false;
    }
    const uint32_t apart = (a + Day - b) % Day;
    return apart < 10000 || Day - apart < 10000;
}

uint32_t ReadBigEndian(const std::vector<unsigned char>& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
           static_cast<uint32_t>(bytes[at + 2]) << 8 | static_cast<uint32_t>(bytes[at + 3]);
}

void PutBigEndian(std::vector<unsigned char>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<unsigned char>(value >> (24 - 8 * i));
    }
}

void PutLittleEndian(unsigned char* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: stamp-help file.chm epoch-seconds\n");
        return 2;
    }
    const unsigned long long epoch = std::strtoull(argv[2], nullptr, 10);
    const uint32_t dayTime = static_cast<uint32_t>(epoch % 86400) * 1000;
    std::FILE* file = std::fopen(argv[1], "r+b");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (bytes.size() < 0x60 || std::memcmp(bytes.data(), "ITSF", 4) != 0) {
        std::fprintf(stderr, "%s: not a compiled help file\n", argv[1]);
        std::fclose(file);
        return 1;
    }
    // The record is written a moment after the header: within ten seconds of it.
    const uint32_t header = ReadBigEndian(bytes, HeaderTimeOffset);
    if (header >= Day) {
        std::fprintf(stderr, "%s: the header's time %u is not a time of day\n", argv[1], header);
        std::fclose(file);
        return 1;
    }
    const unsigned char record[4] = {10, 0, 4, 0};
    int records = 0;
    for (size_t at = 0; at + 8 <= bytes.size(); ++at) {
        if (std::memcmp(bytes.data() + at, record, sizeof(record)) != 0) {
            continue;
        }
        const uint32_t value = static_cast<uint32_t>(bytes[at + 4]) | static_cast<uint32_t>(bytes[at + 5]) << 8 |
                               static_cast<uint32_t>(bytes[at + 6]) << 16 | static_cast<uint32_t>(bytes[at + 7]) << 24;
        if (CloseInTheDay(value, header)) {
            PutLittleEndian(bytes.data() + at + 4, dayTime);
            ++records;
        }
    }
    if (records != 1) {
        std::fprintf(stderr, "%s: %d time records in #SYSTEM, expected one\n", argv[1], records);
        std::fclose(file);
        return 1;
    }
    PutBigEndian(bytes, HeaderTimeOffset, dayTime);
    const bool written =
        std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write the help file\n", argv[1]);
        return 1;
    }
    return 0;
}
