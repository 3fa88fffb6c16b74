#include "test_support/fuzz_oracles.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

std::string escapedBytes(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f && u != '\\') {
      escaped += c;
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", u);
      escaped += code;
    }
  }
  return escaped;
}

void finding(const std::string& what, const std::string& text) {
  // The input itself is kept by the fuzzer: its start is enough to read here.
  const size_t kShown = 400;
  std::string shown = escapedBytes(text.substr(0, kShown));
  if (text.size() > kShown) shown += "... (" + std::to_string(text.size()) + " bytes)";
  std::fprintf(stderr, "\nFINDING: %s\n  in: %s\n", what.c_str(), shown.c_str());
  std::abort();
}

// Decodes by RFC 3629: the shortest form only, no surrogates, nothing past
// U+10FFFF; whatever else is a byte on its own.
std::string steersTerminal(const std::string& shown, RawC1 raw) {
  for (size_t i = 0; i < shown.size();) {
    const unsigned char lead = static_cast<unsigned char>(shown[i]);
    size_t length = 1;
    uint32_t code = lead;
    if (lead >= 0xC2 && lead <= 0xF4) {
      length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      code = lead & (0x7F >> length);
      for (size_t k = 1; k < length; ++k) {
        const unsigned char next = i + k < shown.size() ? shown[i + k] : 0;
        if ((next & 0xC0) != 0x80) {
          length = 0;
          break;
        }
        code = code << 6 | (next & 0x3F);
      }
      const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
      if (length != 0 &&
          (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
        length = 0;
      }
    } else if (lead >= 0x80) {
      length = 0;
    }
    char where[64];
    std::snprintf(where, sizeof where, " at byte %zu", i);
    if (length == 0) {
      const bool steers = raw == RawC1::AllSteer ? lead >= 0x80 && lead <= 0x9F : lead == 0x9B;
      if (steers) return "a raw byte of 0x80 to 0x9F" + std::string(where);
      ++i;
      continue;
    }
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
      return "a control character" + std::string(where);
    }
    if ((code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069)) {
      return "a bidirectional override" + std::string(where);
    }
    i += length;
  }
  return std::string();
}
