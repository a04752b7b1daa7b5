// A file that appears under its name only when it is complete: it is written beside its final name and
// linked into place at the end, which also refuses a name that exists by then. Until Commit the
// destructor removes what was written, so a failure or Ctrl-C leaves nothing behind.
#ifndef QMV3_TOOL_OUTPUT_FILE_H
#define QMV3_TOOL_OUTPUT_FILE_H

#include <string>

namespace qmv3tool {

class OutputFile {
  public:
    explicit OutputFile(const std::string& path) : path_(path) {}
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the empty temporary file beside the final name; false with a message.
    bool Create(std::string& message);
    // The name to write to (writers that open files by name open this one).
    const std::string& TemporaryPath() const { return temporary_; }
    const std::string& Path() const { return path_; }
    // Puts the temporary file in place; fails, removing it, when the final name exists.
    bool Commit(std::string& message);

  private:
    std::string path_;
    std::string temporary_;
    bool committed_ = false;
};

// "NAME exists already" when the name is taken, else "".
std::string ExistingOutputMessage(const std::string& path);

}  // namespace qmv3tool

#endif
