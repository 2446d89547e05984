// The packer's cipher for data that arrives in pieces against its cipher for
// the whole: qmpack enciphers entries as they stream, the fixtures whole.
#include <gtest/gtest.h>

#include "encoder_inputs.h"
#include "packer_crypto/packer_crypto.h"

namespace {

TEST(PackerCipherStream, PiecesGiveTheBytesOfTheWhole)
{
    const qmpack::ChainingBlock chaining = {9, 8, 7, 6, 5, 4, 3, 2};
    // Lengths around the 8-byte blocks, cut at every odd piece size.
    for (const std::size_t size : {0u, 1u, 7u, 8u, 9u, 1000u, 4099u}) {
        const qmpack::Bytes plain = qmtest::RandomBytes(size, static_cast<std::uint32_t>(size + 1));
        for (const std::int32_t method : {-1, 0, 1, 2}) {
            for (const std::size_t piece : {1u, 3u, 8u, 13u, 4096u}) {
                SCOPED_TRACE("size " + std::to_string(size) + ", method " + std::to_string(method) +
                             ", pieces of " + std::to_string(piece));
                qmpack::DataEncipherer cipher(method, "p\xE4ss", chaining);
                qmpack::Bytes out;
                cipher.Start(out);
                for (std::size_t at = 0; at < plain.size(); at += piece)
                    cipher.Update(plain.data() + at, std::min(piece, plain.size() - at), out);
                cipher.Finish(out);
                EXPECT_EQ(out, qmpack::EncipherData(plain, method, "p\xE4ss", chaining));
            }
        }
    }
}

}  // namespace
