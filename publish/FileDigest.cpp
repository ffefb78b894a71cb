#include "FileDigest.h"

#include "UniqueHandle.h"

#include <bcrypt.h>

#include <vector>

namespace {

struct AlgorithmTraits
{
    using Type = BCRYPT_ALG_HANDLE;
    static BCRYPT_ALG_HANDLE Invalid() { return nullptr; }
    static void Close(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits
{
    using Type = BCRYPT_HASH_HANDLE;
    static BCRYPT_HASH_HANDLE Invalid() { return nullptr; }
    static void Close(BCRYPT_HASH_HANDLE h) { ::BCryptDestroyHash(h); }
};

const DWORD kChunkBytes = 1 << 16;
const ULONG kDigestBytes = 32;

}   // namespace

FileDigest DigestFile(LPCSTR pszPath)
{
    FileDigest digest;
    // Others may be writing a published file or holding it open: it is read as they allow.
    FileHandle file(::CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return digest;
    UniqueHandle<AlgorithmTraits> algorithm;
    UniqueHandle<HashTraits> hash;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(algorithm.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0)))
        return digest;

    std::vector<BYTE> chunk(kChunkBytes);
    ULONGLONG cbSize = 0;
    for (;;)
    {
        DWORD cbRead = 0;
        if (!::ReadFile(file.Get(), chunk.data(), kChunkBytes, &cbRead, nullptr))
            return digest;
        if (cbRead == 0)
            break;
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash.Get(), chunk.data(), cbRead, 0)))
            return digest;
        cbSize += cbRead;
    }
    BYTE bytes[kDigestBytes];
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.Get(), bytes, kDigestBytes, 0)))
        return digest;

    static const char kHex[] = "0123456789abcdef";
    for (BYTE b : bytes)
    {
        digest.strSha256 += kHex[b >> 4];
        digest.strSha256 += kHex[b & 0x0F];
    }
    digest.cbSize = cbSize;
    digest.bPresent = TRUE;
    return digest;
}
