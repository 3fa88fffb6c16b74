#include "run/delete_list_text.h"

#include <errno.h>

#include <cstring>
#include <utility>

#include "platform/text.h"

namespace {

const long kEnd = -1;
const long kNotUtf16 = -2;
const long kNothing = -3;
const long kCtrlZ = 0x1A;

bool isUtf16(ListEncoding encoding) {
  return encoding == ListEncoding::Utf16Le || encoding == ListEncoding::Utf16Be;
}

// Whether the rest of `list` is valid UTF-8 that holds more than ASCII: an
// ANSI text with a letter beyond ASCII is, as good as always, not.
bool readsAsUtf8(std::FILE* list) {
  bool beyondAscii = false;
  std::string bytes;  // read, and not yet decoded
  char block[4096];
  for (bool end = false; !end;) {
    const size_t got = std::fread(block, 1, sizeof block, list);
    end = got < sizeof block;
    bytes.append(block, got);
    size_t at = 0;
    // A character that the block cuts off is decoded with the next one.
    while (at < bytes.size() && (end || bytes.size() - at >= 4)) {
      char32_t character;
      const size_t length = platform::decodeUtf8(bytes, at, &character);
      if (length == 0) return false;
      beyondAscii = beyondAscii || character >= 0x80;
      at += length;
    }
    bytes.erase(0, at);
  }
  return beyondAscii;
}

// Adds the code point `c` in UTF-8: a lead byte that says how many follow,
// then six bits in each of those.
void appendUtf8(long c, std::string* text) {
  const int following = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  const unsigned char lead[] = {0x00, 0xC0, 0xE0, 0xF0};
  *text += static_cast<char>(lead[following] | c >> (6 * following));
  for (int shift = 6 * (following - 1); shift >= 0; shift -= 6) {
    *text += static_cast<char>(0x80 | (c >> shift & 0x3F));
  }
}

}  // namespace

ListEncoding detectEncoding(std::FILE* list, std::string* refusal) {
  unsigned char head[64] = {};
  const size_t got = std::fread(head, 1, sizeof head, list);
  const bool littleEndian = got >= 2 && head[0] == 0xFF && head[1] == 0xFE;
  if (littleEndian || (got >= 2 && head[0] == 0xFE && head[1] == 0xFF)) {
    std::fseek(list, 2, SEEK_SET);
    return littleEndian ? ListEncoding::Utf16Le : ListEncoding::Utf16Be;
  }
  if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    std::fseek(list, 3, SEEK_SET);
    return ListEncoding::Utf8;
  }
  std::rewind(list);
  // Some programs write UTF-16 without the mark. In text that is mostly
  // ASCII, every other byte is then NUL, which no text in the code page or in
  // UTF-8 holds: where the NULs stand tells the byte order. Many NULs that
  // tell none would otherwise have every line refused for them.
  size_t nuls[2] = {0, 0};  // at even and at odd offsets
  for (size_t i = 0; i < got; ++i) {
    if (head[i] == 0) ++nuls[i % 2];
  }
  if (nuls[0] == 0 && nuls[1] > 0 && 2 * nuls[1] >= got / 2) return ListEncoding::Utf16Le;
  if (nuls[1] == 0 && nuls[0] > 0 && 2 * nuls[0] >= (got + 1) / 2) return ListEncoding::Utf16Be;
  if (4 * (nuls[0] + nuls[1]) >= got && got > 0) {
    *refusal = "it looks like UTF-16 without a byte-order mark: save it again as UTF-8";
    return ListEncoding::CodePage;
  }
  const bool utf8 = readsAsUtf8(list);
  // A read that failed here fails again below, where it is reported.
  std::rewind(list);
  return utf8 ? ListEncoding::Utf8 : ListEncoding::CodePage;
}

DeleteListText::DeleteListText(std::FILE* list, size_t longestLine)
    : list_(list), longestLine_(longestLine), heldUnit_(kEnd), heldCharacter_(kNothing) {
  encoding_ = detectEncoding(list, &refusal_);
}

// One unit of UTF-16, kEnd at the end and kNotUtf16 for half a unit.
long DeleteListText::nextUtf16Unit() {
  if (heldUnit_ != kEnd) return std::exchange(heldUnit_, kEnd);
  int first = std::getc(list_);
  if (first == EOF) return kEnd;
  int second = std::getc(list_);
  if (second == EOF) return kNotUtf16;  // half a unit
  return encoding_ == ListEncoding::Utf16Le ? first | second << 8 : first << 8 | second;
}

// The next character, or kEnd; a Ctrl+Z that the end follows is the end.
long DeleteListText::nextCharacter() {
  long c = std::exchange(heldCharacter_, kNothing);
  if (c == kNothing) c = readCharacter();
  if (c != kCtrlZ) return c;
  const long next = readCharacter();
  if (next == kEnd) return kEnd;
  heldCharacter_ = next;
  return c;
}

// One character of the list: a byte, or for UTF-16 a code point; kEnd at
// the end and kNotUtf16 for a unit that cannot stand there.
long DeleteListText::readCharacter() {
  if (!isUtf16(encoding_)) {
    int c = std::getc(list_);
    return c == EOF ? kEnd : c;
  }
  long c = nextUtf16Unit();
  if (c < 0xD800 || c > 0xDFFF) return c;
  if (c > 0xDBFF) return kNotUtf16;
  long low = nextUtf16Unit();
  if (low >= 0xDC00 && low <= 0xDFFF) return platform::joinSurrogates(c, low);
  heldUnit_ = low;
  return kNotUtf16;
}

bool DeleteListText::nextLine(ListLine* line) {
  // Reads one line, keeping at most `kept` + 1 bytes of it: in UTF-8 a
  // character of the code page may take up to three bytes.
  const size_t kept = longestLine_ * (encoding_ == ListEncoding::CodePage ? 1 : 3);
  std::string& text = line->text;
  text.clear();
  if (!refusal_.empty()) return false;
  bool notUtf16 = false;
  bool any = false;
  long c;
  while ((c = nextCharacter()) != kEnd && c != '\n' && c != '\r') {
    any = true;
    if (c == kNotUtf16) {
      notUtf16 = true;
    } else if (text.size() <= kept) {
      if (isUtf16(encoding_)) {
        appendUtf8(c, &text);
      } else {
        text += static_cast<char>(c);
      }
    }
  }
  if (c == '\r') {
    const long next = readCharacter();  // a line feed after it ends the same line
    if (next != '\n') heldCharacter_ = next;
  }
  if (c == kEnd && std::ferror(list_)) readError_ = std::strerror(errno);
  const bool tooLong = text.size() > kept;
  if (!readError_.empty() || (c == kEnd && !any)) return false;

  line->error.clear();
  if (notUtf16) line->error = "it is not valid UTF-16, which the list is written in";
  if (!tooLong && line->error.empty() && encoding_ != ListEncoding::CodePage) {
    std::string converted;
    if (platform::fromUtf8(text, &converted, &line->error)) text = converted;
  }
  // What was not kept of a long line may hold words: it counts as too long
  // before anything else is said of it.
  line->tooLong = tooLong || text.size() > longestLine_;
  return true;
}
