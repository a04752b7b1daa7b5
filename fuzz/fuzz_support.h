// Helpers shared by the fuzz harnesses: reading typed values off the front of the input, texts with a
// terminating zero, and a private scratch folder for harnesses whose target reads files by name.
//
// Thread rules: harnesses run on one thread; the scratch folder is per process.
#ifndef QMV3_FUZZ_FUZZ_SUPPORT_H
#define QMV3_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace qmv3fuzz {

// Takes fixed-size values from the front of the input; once it runs dry every value is zero.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    template <typename T>
    T take() {
        T value{};
        size_t n = sizeof(T) < m_size ? sizeof(T) : m_size;
        if (n > 0) std::memcpy(&value, m_data, n);
        m_data += n;
        m_size -= n;
        return value;
    }
    // The rest of the input as a text (embedded zero bytes end it early for C callers).
    std::string restAsText() {
        std::string text(reinterpret_cast<const char*>(m_data), m_size);
        m_data += m_size;
        m_size = 0;
        return text;
    }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

  private:
    const uint8_t* m_data;
    size_t m_size;
};

// The whole input as a text.
inline std::string AsText(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The path of a file named `name` in the process's scratch folder (made on first use, removed at exit).
std::string ScratchPath(const char* name);
// Writes the bytes to ScratchPath(name) and returns that path; aborts when the file cannot be written.
std::string WriteScratchFile(const char* name, const uint8_t* data, size_t size);
// Removes every file of the scratch folder (harnesses whose target writes files call it per input).
void ClearScratch();
// Silences the library's log for the whole process.
void QuietLibrary();

}  // namespace qmv3fuzz

#endif
