#include "Sha256.h"

#include <windows.h>
#include <bcrypt.h>

namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

class CHashAlgorithm {
public:
    CHashAlgorithm() noexcept
    {
        if (!Succeeded(BCryptOpenAlgorithmProvider(&m_handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
            m_handle = nullptr;
        }
    }
    ~CHashAlgorithm()
    {
        if (m_handle) {
            BCryptCloseAlgorithmProvider(m_handle, 0);
        }
    }
    CHashAlgorithm(const CHashAlgorithm&) = delete;
    CHashAlgorithm& operator=(const CHashAlgorithm&) = delete;

    BCRYPT_ALG_HANDLE Get() const noexcept { return m_handle; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
};

class CHash {
public:
    explicit CHash(BCRYPT_ALG_HANDLE algorithm) noexcept
    {
        // The provider allocates the hash object itself (Windows 7 and later).
        if (!algorithm || !Succeeded(BCryptCreateHash(algorithm, &m_handle, nullptr, 0, nullptr, 0, 0))) {
            m_handle = nullptr;
        }
    }
    ~CHash()
    {
        if (m_handle) {
            BCryptDestroyHash(m_handle);
        }
    }
    CHash(const CHash&) = delete;
    CHash& operator=(const CHash&) = delete;

    BCRYPT_HASH_HANDLE Get() const noexcept { return m_handle; }

private:
    BCRYPT_HASH_HANDLE m_handle = nullptr;
};

}  // namespace

bool ComputeSha256(const ByteSpan* spans, int count, uint8_t (&digest)[Sha256Size])
{
    const CHashAlgorithm algorithm;
    const CHash hash(algorithm.Get());
    if (!hash.Get()) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (spans[i].size > 0xFFFFFFFFu ||
            !Succeeded(BCryptHashData(hash.Get(), const_cast<PUCHAR>(spans[i].data), static_cast<ULONG>(spans[i].size),
                                      0))) {
            return false;
        }
    }
    return Succeeded(BCryptFinishHash(hash.Get(), digest, Sha256Size, 0));
}
