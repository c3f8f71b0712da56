// The MD5 digest (RFC 1321), for request signatures.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

std::array<uint8_t, 16> Md5Digest(const void* data, size_t length);
// The digest of the text's bytes up to its NUL as 32 upper-case hexadecimal digits; null is the
// empty text.
std::string Md5HexUpper(const char* text);
