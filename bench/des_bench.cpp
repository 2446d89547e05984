// des_bench - deciphering speed of our DES (method 0, each block on its own)
// and two-key triple DES CBC (method 1) against OpenSSL's DES-ECB and
// DES-EDE-CBC decryption of the same bytes, in the same run.
//
//   des_bench [MiB] [repeats]        (defaults: 64 MiB, best of 3)
//
// OpenSSL is timed through EVP (legacy provider) and through its low-level
// DES functions; the faster of the two is the reference for the ratio.  Times
// are the thread's CPU time, so other work on a shared machine disturbs the
// figures less than it would wall-clock time.
//
// Then short runs: for each bitsliced kernel the processor runs, the time of
// one pass (a partial batch costs as much as a whole one) against the
// tables' time per block, and the run length at which they break even, which
// is where the dispatcher's tableBelow belongs.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "crypto/cipher.h"
#include "crypto/des_kernels.h"
#include "crypto/md5.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

const char *const kPassword = "benchmark password";
const std::uint8_t kIv[8] = {1, 2, 3, 4, 5, 6, 7, 8};

// Best time of `repeats` runs of `work` over a fresh copy of `input`; the
// last run's output stays in `output`.
double BestSeconds(int repeats, const Bytes &input, Bytes &output, const std::function<void(Bytes &)> &work)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        output = input;
        const double start = CpuSeconds();
        work(output);
        best = std::min(best, CpuSeconds() - start);
    }
    return best;
}

bool EvpDecrypt(const char *name, const std::uint8_t *key, const std::uint8_t *iv, Bytes &data)
{
    EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    if (cipher == nullptr)
        return false;
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    int outLength = 0;
    bool ok = EVP_DecryptInit_ex(ctx, cipher, nullptr, key, iv) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_DecryptUpdate(ctx, data.data(), &outLength, data.data(), static_cast<int>(data.size())) == 1 &&
              static_cast<std::size_t>(outLength) == data.size();
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    return ok;
}

DES_key_schedule LowLevelKey(const std::uint8_t *key)
{
    DES_cblock block;
    std::memcpy(block, key, 8);
    DES_key_schedule s;
    DES_set_key_unchecked(&block, &s);
    return s;
}

// CPU seconds per call of `work`, the best of five rounds of `calls` calls.
double SecondsPerCall(int calls, const std::function<void()> &work)
{
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        const double start = CpuSeconds();
        for (int i = 0; i < calls; ++i)
            work();
        best = std::min(best, (CpuSeconds() - start) / calls);
    }
    return best;
}

// One pass of each bitsliced kernel against the tables' cost per block.
void ShortRuns()
{
    qm::DesSchedule k1, k2;
    const std::uint8_t key[16] = {1, 35, 69, 103, 137, 171, 205, 239, 254, 220, 186, 152, 118, 84, 50, 16};
    qm::BuildDesSchedule(key, qm::DesDirection::Decrypt, k1);
    qm::BuildDesSchedule(key + 8, qm::DesDirection::Encrypt, k2);
    Bytes buffer(8 * 512, 0x5A);
    std::uint8_t chaining[8] = {};
    constexpr std::size_t kTableBlocks = 64;
    const double tableEcb =
        SecondsPerCall(2000, [&] { qm::DesBlocksTable(buffer.data(), kTableBlocks, k1); }) / kTableBlocks;
    const double tableCbc =
        SecondsPerCall(1000, [&] { qm::TripleDesCbcTable(buffer.data(), kTableBlocks, k1, k2, chaining); }) /
        kTableBlocks;
    std::printf("\nshort runs: the tables take %.1f ns a block (method 0), %.1f ns (method 1)\n", tableEcb * 1e9,
                tableCbc * 1e9);
    std::printf("%-8s %6s %16s %16s %22s\n", "kernel", "batch", "pass, method 0", "pass, method 1",
                "break-even (blocks)");
    for (qm::DesKernel kernel : {qm::DesKernel::Sse2, qm::DesKernel::Avx2, qm::DesKernel::Avx512}) {
        if (!qm::DesKernelRuns(kernel))
            continue;
        const qm::DesKernelInfo &k = qm::DesKernelFor(kernel);
        const double ecb = SecondsPerCall(2000, [&] { k.ecb(buffer.data(), 1, k1); });
        const double cbc = SecondsPerCall(1000, [&] { k.tripleCbc(buffer.data(), 1, k1, k2, chaining); });
        std::printf("%-8s %6zu %13.2f us %13.2f us %12.0f and %.0f\n", k.name, k.batchBlocks, ecb * 1e6, cbc * 1e6,
                    ecb / tableEcb, cbc / tableCbc);
    }
}

struct Row {
    const char *what;
    double ours, evp, lowLevel;
    bool same;
};

}  // namespace

int main(int argc, char **argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    if (mib == 0 || mib > 1024 || repeats < 1) {
        std::fprintf(stderr, "usage: des_bench [MiB 1..1024] [repeats]\n");
        return 2;
    }
    OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER *base = OSSL_PROVIDER_load(nullptr, "default");
    if (legacy == nullptr)
        std::fprintf(stderr, "note: OpenSSL's legacy provider did not load; EVP rows are skipped\n");

    Bytes input(mib << 20);
    std::mt19937 rng(7);
    for (auto &b : input)
        b = static_cast<std::uint8_t>(rng());
    std::uint8_t key[16];
    qm::PasswordDigest(kPassword, key);
    const auto length = static_cast<std::int32_t>(input.size());

    Row rows[2];
    Bytes ours, evp, low;
    qm::DataCipher cipher;

    // Method 0 against DES-ECB.
    rows[0].what = "DES, each block (method 0) vs DES-ECB";
    rows[0].ours = BestSeconds(repeats, input, ours, [&](Bytes &d) {
        cipher.SelectKey(kPassword, 0);
        cipher.Decipher(d.data(), length, 0);
    });
    rows[0].evp = legacy ? BestSeconds(repeats, input, evp, [&](Bytes &d) { EvpDecrypt("DES-ECB", key, nullptr, d); }) : 0;
    rows[0].lowLevel = BestSeconds(repeats, input, low, [&](Bytes &d) {
        DES_key_schedule k1 = LowLevelKey(key);
        for (std::size_t at = 0; at < d.size(); at += 8)
            DES_ecb_encrypt(reinterpret_cast<const_DES_cblock *>(d.data() + at),
                            reinterpret_cast<DES_cblock *>(d.data() + at), &k1, DES_DECRYPT);
    });
    rows[0].same = ours == low && (!legacy || ours == evp);

    // Method 1 against DES-EDE-CBC.
    rows[1].what = "triple DES CBC (method 1) vs DES-EDE-CBC";
    rows[1].ours = BestSeconds(repeats, input, ours, [&](Bytes &d) {
        cipher.SelectKey(kPassword, 1);
        cipher.SetIv(kIv);
        cipher.Decipher(d.data(), length, 1);
    });
    rows[1].evp = legacy ? BestSeconds(repeats, input, evp, [&](Bytes &d) { EvpDecrypt("DES-EDE-CBC", key, kIv, d); }) : 0;
    rows[1].lowLevel = BestSeconds(repeats, input, low, [&](Bytes &d) {
        DES_key_schedule k1 = LowLevelKey(key), k2 = LowLevelKey(key + 8);
        DES_cblock iv;
        std::memcpy(iv, kIv, 8);
        DES_ede3_cbc_encrypt(d.data(), d.data(), static_cast<long>(d.size()), &k1, &k2, &k1, &iv, DES_DECRYPT);
    });
    rows[1].same = ours == low && (!legacy || ours == evp);

    const double mb = static_cast<double>(input.size()) / 1e6;
    std::printf("deciphering %zu MiB, best of %d\n", mib, repeats);
    std::printf("%-42s %10s %10s %10s %7s\n", "", "ours MB/s", "EVP MB/s", "DES_* MB/s", "ratio");
    bool allSame = true;
    for (const Row &r : rows) {
        const double evpRate = r.evp > 0 ? mb / r.evp : 0;
        const double lowRate = mb / r.lowLevel;
        const double best = std::max(evpRate, lowRate);
        std::printf("%-42s %10.1f %10.1f %10.1f %7.2f%s\n", r.what, mb / r.ours, evpRate, lowRate,
                    (mb / r.ours) / best, r.same ? "" : "  OUTPUT DIFFERS");
        allSame = allSame && r.same;
    }
    std::printf("ratio = our rate / the faster of OpenSSL's two\n");
    ShortRuns();

    if (legacy)
        OSSL_PROVIDER_unload(legacy);
    if (base)
        OSSL_PROVIDER_unload(base);
    return allSame ? 0 : 1;
}
