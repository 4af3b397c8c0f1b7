// SHA-256 through the platform's cryptography (CNG), fed piece by piece.
#pragma once

#include "win/Scoped.h"

#include <string>
#include <vector>

namespace brivaneup {

class Sha256 {
public:
    Sha256();  // valid() tells whether CNG gave us a hash
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool valid() const { return hash_.valid(); }
    bool update(const void* data, size_t size);
    // 64 lower-case hexadecimal digits; empty when hashing failed. Ends the hash.
    std::string finishHex();

private:
    win::UniqueAlgorithm algorithm_;
    std::vector<unsigned char> object_;  // the hash's state, owned by us (Windows 7 wants it so)
    win::UniqueHash hash_;
    bool failed_ = false;
};

}  // namespace brivaneup
