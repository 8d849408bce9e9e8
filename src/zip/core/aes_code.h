// The authentication code of WinZip AES entries, checked over their raw
// bytes.
#pragma once

#include <zip.h>

#include <cstddef>
#include <cstdint>

// The AES key length in bytes of an encryption method, 0 for other methods.
size_t AesKeySize(uint16_t method);

// Bytes an AES method puts before the data: the salt (half the key length)
// and the password verifier; 0 for other methods.
size_t AesHeaderSize(uint16_t method);

// Whether an AES entry's stored authentication code (the first 10 bytes of
// HMAC-SHA1 over its ciphertext) matches under password. Reads the entry's
// raw bytes (salt, verifier, ciphertext, code) through a stream of its own,
// exactly its compressed size, using scratch (at least 64 bytes) for them.
// False on any failure: a code that cannot be checked does not match.
bool AesCodeMatches(zip_t *archive, const zip_stat_t &stat, const char *password, uint8_t *scratch, size_t scratchSize);
