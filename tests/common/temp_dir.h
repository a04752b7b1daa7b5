// A temporary folder for one test, removed with everything in it when the test ends.
#ifndef QMV3_TESTS_COMMON_TEMP_DIR_H
#define QMV3_TESTS_COMMON_TEMP_DIR_H

#include <string>
#include <vector>

namespace qmv3test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Path of a file inside the folder.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Whole-file helpers for fixtures.
std::vector<unsigned char> ReadFileBytes(const std::string& path);
// The names in a folder (hidden ones too, without "." and ".."), sorted; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);
void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::string ReadFileText(const std::string& path);
bool FileExists(const std::string& path);

// Captures what the process writes to a standard stream (stdout or stderr) between Begin and End.
class StreamCapture {
  public:
    explicit StreamCapture(int fd);
    ~StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    std::string End();

  private:
    int fd_;
    int saved_ = -1;
    std::string file_;
};

}  // namespace qmv3test

#endif
