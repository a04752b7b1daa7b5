// The one bound on the memory a load may decode: every loader of the library (and the tool's importers,
// through qmGetLoadMemoryLimit) adds up the bytes it is about to allocate for decoded frames and refuses
// the file before allocating once the total would pass the limit. A few kilobytes of deflate can claim
// gigabytes; without the bound such a file ends in the kernel's out-of-memory killer.
//
// The limit is process-wide: QMV3_LOAD_MEMORY_LIMIT (bytes) read when the library is loaded, else half of
// the physical memory (a load has to fit beside the rest of the process and its neighbours; files beyond
// that are read by parts). Thread rules: Get and Set may be called from any thread; a Budget belongs to
// one load on one thread.
#ifndef QMV3_UTIL_LOAD_LIMIT_H
#define QMV3_UTIL_LOAD_LIMIT_H

#include <cstdint>
#include <string>

namespace load_limit {

// The environment variable that sets the limit at library load.
constexpr const char* kEnvironmentVariable = "QMV3_LOAD_MEMORY_LIMIT";

// The limit in bytes (never 0).
uint64_t Get();
// Sets the limit; 0 restores the one the library started with.
void Set(uint64_t bytes);
// Half of the physical memory, or 4 GiB when the system does not tell.
uint64_t Default();

// The decoded bytes of one load, checked against the limit taken when the load started.
class Budget {
  public:
    Budget() : limit_(Get()) {}
    // Adds `bytes` when the total stays within the limit; false (and nothing added) otherwise.
    bool Take(uint64_t bytes);
    uint64_t taken() const { return taken_; }
    uint64_t limit() const { return limit_; }
    // The one-line refusal after a failed Take of `bytes`, naming the file (its prefix, such as
    // File "a.imc2"), the total that load would reach and the limit.
    std::string Refusal(const std::string& filePrefix, uint64_t bytes) const;

  private:
    uint64_t limit_;
    uint64_t taken_ = 0;
};

}  // namespace load_limit

#endif
