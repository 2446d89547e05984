// qm_make_fixtures DIR - writes the enciphered fixture carriers (see
// cipher_fixtures.h) into DIR, creating it if need be.
#include <cstdio>

#include "packer_crypto/cipher_fixtures.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qm_make_fixtures OUTPUT_DIRECTORY\n");
        return 2;
    }
    if (!qmpack::WriteCipherFixtures(argv[1])) {
        std::fprintf(stderr, "qm_make_fixtures: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
