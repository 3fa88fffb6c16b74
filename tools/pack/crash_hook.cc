#include <cstdlib>

#include "file.h"

bool isCrashWrite() {
  static const char* setting = std::getenv("PACK_TEST_CRASH_AT_WRITE");
  static long remaining = setting ? std::atol(setting) : 0;
  return remaining > 0 && --remaining == 0;
}
