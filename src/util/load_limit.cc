// The load memory limit: see load_limit.h.
#include "util/load_limit.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace load_limit {
namespace {

// A positive decimal number of bytes, or 0 when the text is none.
uint64_t ParseBytes(const char* text) {
    if (text == nullptr || *text == '\0') return 0;
    uint64_t value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return 0;
        const uint64_t digit = static_cast<uint64_t>(*c - '0');
        if (value > (UINT64_MAX - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}

uint64_t InitialLimit() {
    const uint64_t configured = ParseBytes(std::getenv(kEnvironmentVariable));
    return configured != 0 ? configured : Default();
}

// The limit the library started with, and the process's limit now.
const uint64_t g_initialLimit = InitialLimit();
std::atomic<uint64_t> g_limit{g_initialLimit};

}  // namespace

uint64_t Default() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 4ull << 30;
    return static_cast<uint64_t>(pages) / 2 * static_cast<uint64_t>(pageSize);
}

uint64_t Get() { return g_limit.load(std::memory_order_relaxed); }

void Set(uint64_t bytes) { g_limit.store(bytes != 0 ? bytes : g_initialLimit, std::memory_order_relaxed); }

bool Budget::Take(uint64_t bytes) {
    if (bytes > limit_ || taken_ > limit_ - bytes) return false;
    taken_ += bytes;
    return true;
}

std::string Budget::Refusal(const std::string& filePrefix, uint64_t bytes) const {
    const uint64_t total = bytes > UINT64_MAX - taken_ ? UINT64_MAX : taken_ + bytes;
    return filePrefix + " load error: decoding it needs at least " + std::to_string(total) +
           " bytes, more than the load memory limit of " + std::to_string(limit_) + " bytes (" +
           kEnvironmentVariable + ").";
}

}  // namespace load_limit
