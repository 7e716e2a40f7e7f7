#pragma once
#include <string>

namespace drovane {

// MD5 of the bytes as 32 lowercase hexadecimal digits (Windows CNG does the hashing).
std::string Md5Hex(const std::string& bytes);

// MD5 of 15 letters drawn with the C library's rand(): a name for a new file. Callers test that
// the name is free and draw again when it is not.
std::string RandomMd5Hex();

}  // namespace drovane
