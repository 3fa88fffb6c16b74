// The floor of a --changed run that finds nothing to do, on Windows: one
// FindFirstFile/FindNextFile listing of a folder, and nothing else.
// Usage: find-list FOLDER (prints how many entries it listed)
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: find-list FOLDER\n");
    return 2;
  }
  const std::string pattern = std::string(argv[1]) + "\\*";
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 1;
  long listed = 0;
  do {
    ++listed;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::printf("%ld\n", listed);
  return 0;
}
