#pragma once

// The parts of a PE image that an Authenticode signature leaves as they were: everything
// but the header's checksum field, the certificate-table entry of the data directory and
// the certificate table itself. A digest of these parts is the same before and after
// signing (and after a checksum step). Shared by the build's image tool and setup; needs no
// Windows header.

#include <cstddef>
#include <cstdint>

#include "ImageChecksum.h"

struct ImagePart {
    size_t begin;
    size_t end;  // one past the last byte
};

constexpr int SignedImagePartCount = 4;

// Where the headers and every section's bytes in the file have ended; the file's size when
// the section table does not fit in the file.
inline size_t ImageDataEnd(const uint8_t* image, size_t size, size_t optional)
{
    const size_t header = optional - 20;  // the file header
    const size_t sections = static_cast<size_t>(image[header + 2]) | static_cast<size_t>(image[header + 3]) << 8;
    const size_t optionalSize = static_cast<size_t>(image[header + 16]) | static_cast<size_t>(image[header + 17]) << 8;
    const size_t table = optional + optionalSize;
    if (size < optional + 64 || table > size || (size - table) / 40 < sections) {
        return size;
    }
    size_t end = ReadImageDword(image, optional + 60);  // SizeOfHeaders
    end = end > table + 40 * sections ? end : table + 40 * sections;
    for (size_t i = 0; i < sections; ++i) {
        const size_t rawSize = ReadImageDword(image, table + 40 * i + 16);
        const size_t rawOffset = ReadImageDword(image, table + 40 * i + 20);
        if (rawOffset > size || rawSize > size - rawOffset) {
            return size;  // a section past the end of the file
        }
        if (rawSize != 0 && rawOffset + rawSize > end) {
            end = rawOffset + rawSize;
        }
    }
    return end;
}

// Fills `parts` in file order (some may be empty); false when `image` is not a PE image or
// its certificate table is not the end of the file, after the headers and every section. A
// table anywhere else would leave bytes inside the image out of the digest: inserted there,
// they could replace the section table.
inline bool FindSignedImageParts(const uint8_t* image, size_t size, ImagePart (&parts)[SignedImagePartCount])
{
    const size_t checksum = FindImageChecksumOffset(image, size);
    if (checksum == 0) {
        return false;
    }
    const size_t optional = checksum - 64;
    size_t directory = 0;  // IMAGE_DIRECTORY_ENTRY_SECURITY
    if (size >= optional + 2 && image[optional] == 0x0B && image[optional + 1] == 0x01) {
        directory = optional + 96 + 4 * 8;  // PE32
    } else if (size >= optional + 2 && image[optional] == 0x0B && image[optional + 1] == 0x02) {
        directory = optional + 112 + 4 * 8;  // PE32+
    } else {
        return false;
    }
    if (size < directory + 8) {
        return false;
    }
    const size_t tableOffset = ReadImageDword(image, directory);
    const size_t tableSize = ReadImageDword(image, directory + 4);
    size_t tableBegin = size;
    size_t tableEnd = size;
    if (tableSize != 0) {
        if (tableOffset < ImageDataEnd(image, size, optional) || tableOffset > size || size - tableOffset != tableSize) {
            return false;
        }
        tableBegin = tableOffset;
        tableEnd = tableOffset + tableSize;
    }
    parts[0] = {0, checksum};
    parts[1] = {checksum + 4, directory};
    parts[2] = {directory + 8, tableBegin};
    parts[3] = {tableEnd, size};
    return true;
}
