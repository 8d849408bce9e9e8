// The authentication code of WinZip AES entries. libzip reports a wrong
// code of a stored entry like the certain mismatch of the 0 that AE-2
// entries store as CRC, so the code is checked here with OpenSSL.
#include "core/aes_code.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <memory>

namespace {

constexpr size_t kVerifierSize = 2;
constexpr size_t kCodeSize = 10;
constexpr int kKeyIterations = 1000;
constexpr size_t kMaxKeySize = 32;

// Closes a raw entry stream on every way out.
struct StreamClose {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
// Frees OpenSSL's MAC records on every way out.
struct MacFree {
    void operator()(EVP_MAC *mac) const { EVP_MAC_free(mac); }
    void operator()(EVP_MAC_CTX *context) const { EVP_MAC_CTX_free(context); }
};

// Reads exactly count bytes; never asks for more, so the stream's end,
// where its CRC layer would complain, is never read.
bool ReadExactly(zip_file_t *file, uint8_t *buffer, size_t count) {
    return zip_fread(file, buffer, count) == static_cast<zip_int64_t>(count);
}

// An HMAC-SHA1 computation keyed with key; NULL when OpenSSL fails.
EVP_MAC_CTX *StartHmac(EVP_MAC *mac, const uint8_t *key, size_t keySize) {
    EVP_MAC_CTX *context = EVP_MAC_CTX_new(mac);
    if (!context) return nullptr;
    char digest[] = "SHA1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("digest", digest, 0), OSSL_PARAM_construct_end()};
    if (EVP_MAC_init(context, key, keySize, params) != 1) {
        EVP_MAC_CTX_free(context);
        return nullptr;
    }
    return context;
}

// Feeds count ciphertext bytes from the stream to the HMAC, through scratch.
bool HashCiphertext(zip_file_t *file, EVP_MAC_CTX *hmac, zip_uint64_t count, uint8_t *scratch, size_t scratchSize) {
    while (count > 0) {
        size_t chunk = count < scratchSize ? static_cast<size_t>(count) : scratchSize;
        if (!ReadExactly(file, scratch, chunk) || EVP_MAC_update(hmac, scratch, chunk) != 1) return false;
        count -= chunk;
    }
    return true;
}

}  // namespace

size_t AesKeySize(uint16_t method) {
    switch (method) {
        case ZIP_EM_AES_128: return 16;
        case ZIP_EM_AES_192: return 24;
        case ZIP_EM_AES_256: return 32;
        default: return 0;
    }
}

size_t AesHeaderSize(uint16_t method) {
    const size_t keySize = AesKeySize(method);
    return keySize == 0 ? 0 : keySize / 2 + kVerifierSize;
}

bool AesCodeMatches(zip_t *archive, const zip_stat_t &stat, const char *password, uint8_t *scratch, size_t scratchSize) {
    size_t keySize = AesKeySize(stat.encryption_method);
    size_t saltSize = keySize / 2;
    if (!keySize || !password || !(stat.valid & ZIP_STAT_COMP_SIZE)) return false;
    if (stat.comp_size < saltSize + kVerifierSize + kCodeSize) return false;
    std::unique_ptr<zip_file_t, StreamClose> raw(
        zip_fopen_index_encrypted(archive, stat.index, ZIP_FL_ENCRYPTED | ZIP_FL_COMPRESSED, nullptr));
    if (!raw || !ReadExactly(raw.get(), scratch, saltSize + kVerifierSize)) return false;
    uint8_t keys[2 * kMaxKeySize + kVerifierSize];
    if (PKCS5_PBKDF2_HMAC_SHA1(password, -1, scratch, static_cast<int>(saltSize), kKeyIterations,
                               static_cast<int>(2 * keySize + kVerifierSize), keys) != 1) {
        return false;
    }
    std::unique_ptr<EVP_MAC, MacFree> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    std::unique_ptr<EVP_MAC_CTX, MacFree> hmac(mac ? StartHmac(mac.get(), keys + keySize, keySize) : nullptr);
    OPENSSL_cleanse(keys, sizeof keys);
    zip_uint64_t ciphertext = stat.comp_size - saltSize - kVerifierSize - kCodeSize;
    if (!hmac || !HashCiphertext(raw.get(), hmac.get(), ciphertext, scratch, scratchSize)) return false;
    uint8_t code[EVP_MAX_MD_SIZE];
    size_t codeSize = 0;
    if (EVP_MAC_final(hmac.get(), code, &codeSize, sizeof code) != 1 || codeSize < kCodeSize) return false;
    if (!ReadExactly(raw.get(), scratch, kCodeSize)) return false;
    return CRYPTO_memcmp(code, scratch, kCodeSize) == 0;
}
