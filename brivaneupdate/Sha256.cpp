#include "brivaneupdate/Sha256.h"

#include <algorithm>
#include <limits>

namespace brivaneup {

namespace {

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

Sha256::Sha256() {
    if (!succeeded(BCryptOpenAlgorithmProvider(algorithm_.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return;
    DWORD objectLength = 0;
    ULONG size = 0;
    if (!succeeded(BCryptGetProperty(algorithm_.get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                     sizeof objectLength, &size, 0)))
        return;
    object_.resize(objectLength);
    BCryptCreateHash(algorithm_.get(), hash_.receive(), object_.data(), static_cast<ULONG>(object_.size()), nullptr,
                     0, 0);
}

bool Sha256::update(const void* data, size_t size) {
    const UCHAR* bytes = static_cast<const UCHAR*>(data);
    while (!failed_ && valid() && size > 0) {
        ULONG piece = static_cast<ULONG>(std::min<size_t>(size, std::numeric_limits<ULONG>::max()));
        failed_ = !succeeded(BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        size -= piece;
    }
    return !failed_ && valid();
}

std::string Sha256::finishHex() {
    unsigned char digest[32];
    if (failed_ || !valid() || !succeeded(BCryptFinishHash(hash_.get(), digest, sizeof digest, 0))) {
        failed_ = true;
        return {};
    }
    failed_ = true;  // a finished CNG hash takes no more data
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : digest) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

}  // namespace brivaneup
