// The delete list's text, read one line at a time in the system's code page,
// however the list is written: Notepad saves UTF-8, with or without a
// byte-order mark, or UTF-16 with one; older editors the code page itself,
// other tools UTF-16 without the mark. A line ends at a line feed, a
// carriage return, or both; a Ctrl+Z that ends the file (as `copy con`
// writes it) is not part of it.
#ifndef ZT_RUN_DELETE_LIST_TEXT_H_
#define ZT_RUN_DELETE_LIST_TEXT_H_

#include <cstddef>
#include <cstdio>
#include <string>

enum class ListEncoding { CodePage, Utf8, Utf16Le, Utf16Be };

struct ListLine {
  // Without its line end.
  std::string text;
  // Longer than the reader keeps: `text` holds only the start of it.
  bool tooLong = false;
  // Why the line could not be read into the code page, or empty.
  std::string error;
};

// Tells how `list`, open in binary mode at its start, is written, and leaves
// it at its first character, after any byte-order mark; or says in `refusal`
// why it cannot tell.
ListEncoding detectEncoding(std::FILE* list, std::string* refusal);

class DeleteListText {
 public:
  // Reads `list`, open in binary mode at its start, to tell how it is written,
  // and stands before its first line; or, when it cannot tell, refuses it
  // (refusal() says why) and reads no line. A line longer than `longestLine` bytes
  // in the code page is too long, and only its start is kept, so that memory
  // stays bounded whatever the file holds.
  DeleteListText(std::FILE* list, size_t longestLine);

  // Reads the next line. Returns false at the end of the list, and when a
  // read fails (readError() then says why): the line it stopped in is lost.
  // A list whose last line ends with a line feed has no empty line after it.
  bool nextLine(ListLine* line);

  const std::string& refusal() const { return refusal_; }
  const std::string& readError() const { return readError_; }

 private:
  long nextCharacter();
  long readCharacter();
  long nextUtf16Unit();

  std::FILE* list_;
  size_t longestLine_;
  ListEncoding encoding_;
  long heldUnit_;       // read after a lone high surrogate
  long heldCharacter_;  // read to see what follows a carriage return or a Ctrl+Z
  std::string refusal_;
  std::string readError_;
};

#endif  // ZT_RUN_DELETE_LIST_TEXT_H_
