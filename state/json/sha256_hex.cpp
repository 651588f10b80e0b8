#include "sha256_hex.h"

#include <openssl/evp.h>

namespace kelvo {

std::string sha256Hex(const uint8_t* data, size_t size) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    static constexpr uint8_t noBytes = 0;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    // The whole size_t length goes to the digest: cutting it to 32 bits would
    // hash only a prefix of an input of 4 GiB or more.
    if (EVP_Digest(size ? data : &noBytes, size, digest, &digestSize, EVP_sha256(), nullptr) != 1 ||
        digestSize != 32)
        return {};
    std::string hex(64, '0');
    for (unsigned int i = 0; i < digestSize; ++i) {
        hex[2 * i] = hexDigits[digest[i] >> 4];
        hex[2 * i + 1] = hexDigits[digest[i] & 15];
    }
    return hex;
}

}  // namespace kelvo
