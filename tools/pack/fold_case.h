// How the tool compares entry names and switches: ASCII letters in one case,
// every other byte as it is, whatever the locale.
#ifndef ZT_PACK_FOLD_CASE_H_
#define ZT_PACK_FOLD_CASE_H_

#include <string>

// `text` with A to Z lowered.
inline std::string foldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

#endif  // ZT_PACK_FOLD_CASE_H_
