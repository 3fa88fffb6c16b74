// Test helpers: a scratch folder that removes itself, small file utilities,
// and the quoting of a word for the shell that runs the programs under test.
#ifndef ZT_TEST_SUPPORT_TEMP_DIR_H_
#define ZT_TEST_SUPPORT_TEMP_DIR_H_

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // `relative` below the folder, with "/" separators.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Writes `content` to `path`, creating the folders above it.
void writeFile(const std::string& path, const std::string& content);
// Creates `path` and the folders above it.
void makeFolder(const std::string& path);
// The whole content of `path`, or "<missing>" when it cannot be read.
std::string readFile(const std::string& path);
// `word` as one sh word.
std::string shQuoted(const std::string& word);

#endif  // ZT_TEST_SUPPORT_TEMP_DIR_H_
