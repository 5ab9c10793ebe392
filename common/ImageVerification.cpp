#include "ImageVerification.h"

#include <windows.h>

#include "HandleHolder.h"
#include "ImageChecksum.h"

namespace {

class CMappedView {
public:
    explicit CMappedView(const void* view) noexcept : m_view(view) {}
    ~CMappedView()
    {
        if (m_view) {
            UnmapViewOfFile(m_view);
        }
    }
    CMappedView(const CMappedView&) = delete;
    CMappedView& operator=(const CMappedView&) = delete;

    const uint8_t* Bytes() const noexcept { return static_cast<const uint8_t*>(m_view); }

private:
    const void* m_view;
};

}  // namespace

bool VerifyOwnImage(const wchar_t* path)
{
    HANDLE opened = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return false;
    }
    CHandleHolder file(opened);
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF) {
        return false;
    }
    CHandleHolder mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) {
        return false;
    }
    CMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (!view.Bytes()) {
        return false;
    }
    const size_t length = static_cast<size_t>(size.QuadPart);
    const size_t offset = FindImageChecksumOffset(view.Bytes(), length);
    if (offset == 0) {
        return false;
    }
    const uint32_t stored = ReadImageChecksum(view.Bytes(), offset);
    return stored != 0 && stored == ComputeImageChecksum(view.Bytes(), length, offset);
}
