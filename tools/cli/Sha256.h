// SHA-256 of a byte buffer (FIPS 180-4), for fingerprinting simulation results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// Lower-case hexadecimal SHA-256 digest of size bytes at data.
std::string sha256Hex(const void* data, size_t size);
