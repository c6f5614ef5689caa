// SHA-256 gives the standard's answers, a million bytes fed in uneven pieces too.
#include "replay/core/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/replay_samples.h"

namespace {

TEST(Sha256, StandardVectors) {
    EXPECT_EQ(Sha256Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        Sha256Of("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnop"
                 "qklmnopqrlmnopqrsmnopqrstnopqrstu"),
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    // A million a's, fed in uneven pieces across the block boundaries.
    Sha256 s;
    Sha256Start(&s);
    const std::string a(1000, 'a');
    std::size_t fed = 0;
    for (std::size_t piece = 1; fed < 1000000; piece = piece % 97 + 1) {
        const std::size_t n = std::min(piece, 1000000 - fed);
        Sha256Feed(&s, a.data(), n);
        fed += n;
    }
    std::uint8_t digest[32];
    Sha256Finish(&s, digest);
    char hex[65];
    Sha256Hex(digest, hex);
    EXPECT_STREQ(hex, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
