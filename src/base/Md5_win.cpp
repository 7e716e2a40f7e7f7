#include "base/Md5.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdlib>

namespace drovane {

// Md5Hex is computed with the other digests (Digests_win.cpp), by the same CNG hash objects.

std::string RandomMd5Hex() {
  // From the system's generator: the C library's sequence starts alike in every process, so each
  // run would draw the names an earlier run drew.
  unsigned char bytes[15] = {};
  if (!BCRYPT_SUCCESS(
          BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    static const bool seeded =
        (std::srand(static_cast<unsigned>(GetTickCount() ^ (GetCurrentProcessId() << 16))), true);
    (void)seeded;
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(std::rand());
  }
  std::string letters;
  for (unsigned char byte : bytes) letters += static_cast<char>('a' + byte % 26);
  return Md5Hex(letters);
}

}  // namespace drovane
