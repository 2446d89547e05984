// packer_crypto.h - the packer's ciphers, built on OpenSSL.
//
// The packer enciphers with OpenSSL rather than with the library's own code,
// so a mistake that the library's enciphering and deciphering share cannot
// hide in a round trip.  A password's key material is its MD5 digest; key 1 is
// bytes 0-7, key 2 bytes 8-15.
//
//   method -1  data stored as it is
//   method 0   data padded with zero bytes to a multiple of 8, each block
//              enciphered with single DES under key 1
//   method 1   an 8-byte chaining value, then the padded data enciphered with
//              two-key triple DES (EDE: key 1, key 2, key 1) in CBC mode
//   method 2   an 8-byte chaining value, then the data as it is
//   other      data stored as it is
//
// The chaining value counts in the entry's packed size.  Header blocks of an
// archive with enciphered headers are single DES under the header password.
// Native builds only: OpenSSL is not there for the Windows cross-builds.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "packer/carrier_writer.h"

namespace qmpack {

using ChainingBlock = std::array<std::uint8_t, 8>;

// MD5 of the password's bytes.
std::array<std::uint8_t, 16> PasswordKey(const std::string &password);

// The bytes stored behind an entry's header block for the given method.
Bytes EncipherData(const Bytes &plain, std::int32_t method, const std::string &password,
                   const ChainingBlock &chaining);

// EncipherData for data that arrives in pieces: Start gives the bytes ahead
// of the data, Update the enciphered whole blocks so far, Finish the last
// block padded with zeros.  Together they are EncipherData's bytes.
class DataEncipherer {
public:
    DataEncipherer(std::int32_t method, const std::string &password, const ChainingBlock &chaining);
    ~DataEncipherer();
    DataEncipherer(const DataEncipherer &) = delete;
    DataEncipherer &operator=(const DataEncipherer &) = delete;

    void Start(Bytes &out);
    void Update(const std::uint8_t *data, std::size_t size, Bytes &out);
    void Finish(Bytes &out);

private:
    struct Keys;
    std::int32_t method_;
    ChainingBlock chaining_;
    std::unique_ptr<Keys> keys_;  // DES and triple DES only
    std::uint8_t partial_[8] = {};
    std::size_t partialSize_ = 0;
};

// A stored entry of `data`, enciphered with the given method.
EntrySpec EncipheredEntry(std::string name, const Bytes &data, std::int32_t method,
                          const std::string &password, const ChainingBlock &chaining);

// Enciphers 432-byte header blocks with single DES under the header password;
// fits CarrierSpec::encipherHeader.
std::function<void(std::uint8_t *block)> HeaderEncipherer(const std::string &headerPassword);

}  // namespace qmpack
