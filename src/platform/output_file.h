// A file being written by one of the savers: removed on destruction (a failure, an interruption, an
// exception) unless Commit succeeded, and a failed close reported. Exclusive creation never touches an
// existing file; replacing creation truncates one, as the older savers always did.
//
// Thread rules: one object belongs to one thread.
#ifndef QMV3_PLATFORM_OUTPUT_FILE_H
#define QMV3_PLATFORM_OUTPUT_FILE_H

#include <cstddef>
#include <cstdio>
#include <string>

class OutputFile {
  public:
    enum class Mode { kExclusive, kReplace };
    enum class Created { kOk, kExists, kFailed };

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file for binary writing. kExists only in exclusive mode, when the name is taken. The
    // name is copied before the file exists, so std::bad_alloc may leave here with nothing created.
    Created Create(const char* path, Mode mode);
    // Every byte or false; writing nothing always succeeds.
    bool Write(const void* source, size_t count) noexcept;
    bool WriteByte(unsigned char value) noexcept { return std::fputc(value, file_) != EOF; }
    // Closes the file and keeps it; false (and the file removed) when buffered data could not be written.
    bool Commit() noexcept;
    FILE* get() const { return file_; }

  private:
    FILE* file_ = nullptr;
    std::string path_;
};

#endif
