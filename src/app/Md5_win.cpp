#include "app/Md5.h"

#include <cstdlib>

namespace drovane {

// Md5Hex is computed with the other digests (Digests_win.cpp), by the same CNG hash objects.

std::string RandomMd5Hex() {
  std::string letters;
  for (int i = 0; i < 15; ++i) letters += static_cast<char>('a' + std::rand() % 26);
  return Md5Hex(letters);
}

}  // namespace drovane
