// packer_crypto.cpp - the packer's ciphers over OpenSSL's MD5 and DES.
//
// The DES functions of OpenSSL 3 are marked deprecated but are the one
// interface to single and two-key triple DES that needs no provider loaded.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include "packer_crypto/packer_crypto.h"

#include <openssl/des.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace qmpack {

namespace {

void KeySchedule(const std::uint8_t *key, DES_key_schedule &schedule)
{
    DES_cblock block;
    std::memcpy(block, key, 8);
    DES_set_key_unchecked(&block, &schedule);
}

Bytes PadToBlocks(const Bytes &plain)
{
    Bytes padded = plain;
    padded.resize((plain.size() + 7) / 8 * 8, 0);
    return padded;
}

}  // namespace

std::array<std::uint8_t, 16> PasswordKey(const std::string &password)
{
    std::array<std::uint8_t, 16> digest{};
    unsigned int size = 0;
    if (EVP_Digest(password.data(), password.size(), digest.data(), &size, EVP_md5(), nullptr) != 1 ||
        size != 16)
        throw std::runtime_error("MD5 failed");
    return digest;
}

Bytes EncipherData(const Bytes &plain, std::int32_t method, const std::string &password,
                   const ChainingBlock &chaining)
{
    if (method == 2) {
        Bytes out(chaining.begin(), chaining.end());
        out.insert(out.end(), plain.begin(), plain.end());
        return out;
    }
    if (method != 0 && method != 1)
        return plain;

    const auto key = PasswordKey(password);
    DES_key_schedule k1, k2;
    KeySchedule(key.data(), k1);
    KeySchedule(key.data() + 8, k2);
    Bytes padded = PadToBlocks(plain);

    if (method == 0) {
        for (std::size_t at = 0; at < padded.size(); at += 8) {
            DES_cblock in, out;
            std::memcpy(in, padded.data() + at, 8);
            DES_ecb_encrypt(&in, &out, &k1, DES_ENCRYPT);
            std::memcpy(padded.data() + at, out, 8);
        }
        return padded;
    }

    Bytes out(chaining.begin(), chaining.end());
    out.resize(8 + padded.size());
    DES_cblock iv;
    std::memcpy(iv, chaining.data(), 8);
    DES_ede3_cbc_encrypt(padded.data(), out.data() + 8, static_cast<long>(padded.size()), &k1, &k2, &k1,
                         &iv, DES_ENCRYPT);
    return out;
}

struct DataEncipherer::Keys {
    DES_key_schedule k1, k2;
    DES_cblock iv;
};

DataEncipherer::DataEncipherer(std::int32_t method, const std::string &password, const ChainingBlock &chaining)
    : method_(method), chaining_(chaining)
{
    if (method != 0 && method != 1)
        return;
    keys_ = std::make_unique<Keys>();
    const auto key = PasswordKey(password);
    KeySchedule(key.data(), keys_->k1);
    KeySchedule(key.data() + 8, keys_->k2);
    std::memcpy(keys_->iv, chaining.data(), 8);
}

DataEncipherer::~DataEncipherer() = default;

void DataEncipherer::Start(Bytes &out)
{
    if (method_ == 1 || method_ == 2)
        out.insert(out.end(), chaining_.begin(), chaining_.end());
}

void DataEncipherer::Update(const std::uint8_t *data, std::size_t size, Bytes &out)
{
    if (!keys_) {
        out.insert(out.end(), data, data + size);
        return;
    }
    // Whole blocks only; the rest waits for more bytes or for Finish.
    auto blocks = [&](const std::uint8_t *in, std::size_t n) {
        const std::size_t at = out.size();
        out.resize(at + n);
        std::uint8_t *to = out.data() + at;
        if (method_ == 1) {
            DES_ede3_cbc_encrypt(in, to, static_cast<long>(n), &keys_->k1, &keys_->k2, &keys_->k1, &keys_->iv,
                                 DES_ENCRYPT);
            return;
        }
        for (std::size_t k = 0; k < n; k += 8) {
            DES_cblock plain, cipher;
            std::memcpy(plain, in + k, 8);
            DES_ecb_encrypt(&plain, &cipher, &keys_->k1, DES_ENCRYPT);
            std::memcpy(to + k, cipher, 8);
        }
    };
    if (partialSize_ > 0) {
        const std::size_t take = std::min(size, 8 - partialSize_);
        std::memcpy(partial_ + partialSize_, data, take);
        partialSize_ += take;
        data += take;
        size -= take;
        if (partialSize_ < 8)
            return;
        blocks(partial_, 8);
        partialSize_ = 0;
    }
    const std::size_t whole = size / 8 * 8;
    if (whole > 0)
        blocks(data, whole);
    std::memcpy(partial_, data + whole, size - whole);
    partialSize_ = size - whole;
}

void DataEncipherer::Finish(Bytes &out)
{
    if (!keys_ || partialSize_ == 0)
        return;
    const std::uint8_t zeros[8] = {};
    Update(zeros, 8 - partialSize_, out);
}

EntrySpec EncipheredEntry(std::string name, const Bytes &data, std::int32_t method,
                          const std::string &password, const ChainingBlock &chaining)
{
    EntrySpec e = StoredEntry(std::move(name), data);
    e.stored = EncipherData(data, method, password, chaining);
    e.cipherMethod = method;
    return e;
}

std::function<void(std::uint8_t *block)> HeaderEncipherer(const std::string &headerPassword)
{
    const auto key = PasswordKey(headerPassword);
    DES_key_schedule k1;
    KeySchedule(key.data(), k1);
    return [k1](std::uint8_t *block) mutable {
        for (std::size_t at = 0; at < kHeaderBlockSize; at += 8) {
            DES_cblock in, out;
            std::memcpy(in, block + at, 8);
            DES_ecb_encrypt(&in, &out, &k1, DES_ENCRYPT);
            std::memcpy(block + at, out, 8);
        }
    };
}

}  // namespace qmpack
