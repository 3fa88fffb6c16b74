// The limit for a driver that runs one command per file through the
// interpreter: hands precomputed command lines to system() one after another.
// Usage: system-loop WORKING_DIRECTORY COMMAND_FILE (one command per line)
// On Windows system() hands each line to cmd.exe, as zt-rebuild does.
#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: system-loop WORKING_DIRECTORY COMMAND_FILE\n");
    return 2;
  }
  std::ifstream file(argv[2]);
  std::vector<std::string> commands;
  for (std::string line; std::getline(file, line);) commands.push_back(line);
#ifdef _WIN32
  if (_chdir(argv[1]) != 0) return 1;
#else
  if (chdir(argv[1]) != 0) return 1;
#endif
  for (const std::string& command : commands) std::system(command.c_str());
  return 0;
}
