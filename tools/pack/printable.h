// How the tool shows a name in its own messages: characters that would
// steer a terminal rather than show (controls, and the overrides that reverse
// text) become '?', so that a name can neither retitle nor clear the
// terminal, nor hide what it is.
#ifndef ZT_PACK_PRINTABLE_H_
#define ZT_PACK_PRINTABLE_H_

#include <cstdint>
#include <string>

// `text` with each of these shown as one '?': C0 controls and DEL; C1
// controls as UTF-8 writes them (C2 80 to C2 9F); a 0x9B byte that is not
// part of a well-formed UTF-8 character (an 8-bit terminal's control sequence
// introducer); the bidirectional embeddings, overrides and isolates U+202A to
// U+202E and U+2066 to U+2069. Every other byte is kept: well-formed UTF-8,
// and names in another encoding (Latin-1, a Windows code page) too.
inline std::string printable(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t n = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t code = n == 1 ? lead : lead & (0xFF >> (n + 1));
    bool whole = n > 0 && n <= text.size() - i;
    for (size_t k = 1; whole && k < n; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      whole = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and what lies past U+10FFFF are no characters.
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    whole = whole && code >= least[n] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!whole) {  // a byte on its own
      shown += lead == 0x9B ? '?' : text[i];
      ++i;
      continue;
    }
    const bool steers = code < 0x20 || (code >= 0x7F && code <= 0x9F) ||
                        (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
    shown += steers ? std::string("?") : text.substr(i, n);
    i += n;
  }
  return shown;
}

#endif  // ZT_PACK_PRINTABLE_H_
