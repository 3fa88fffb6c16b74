// The floor of a --changed run that finds nothing to do: reads a folder and
// takes one status of every entry in it, and nothing else.
// Usage: list-stat FOLDER (prints how many entries it took a status of)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: list-stat FOLDER\n");
    return 2;
  }
  DIR* dir = opendir(argv[1]);
  if (!dir) return 1;
  long stamped = 0;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) ++stamped;
  }
  closedir(dir);
  std::printf("%ld\n", stamped);
  return 0;
}
