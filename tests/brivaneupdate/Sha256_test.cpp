#include "brivaneupdate/Sha256.h"

#include <gtest/gtest.h>

using brivaneup::Sha256;

TEST(Sha256Test, MatchesKnownDigests) {
    struct Case {
        std::string data;
        size_t piece;  // fed in pieces of this size
        const char* digest;
    } cases[] = {
        {"", 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 7,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), 65536, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        Sha256 hash;
        ASSERT_TRUE(hash.valid());
        for (size_t at = 0; at < c.data.size(); at += c.piece)
            ASSERT_TRUE(hash.update(c.data.data() + at, std::min(c.piece, c.data.size() - at)));
        EXPECT_EQ(hash.finishHex(), c.digest) << c.data.substr(0, 10);
    }
}

TEST(Sha256Test, TakesNothingAfterTheEnd) {
    Sha256 hash;
    hash.update("abc", 3);
    EXPECT_FALSE(hash.finishHex().empty());
    EXPECT_FALSE(hash.update("d", 1));
    EXPECT_TRUE(hash.finishHex().empty());
}
