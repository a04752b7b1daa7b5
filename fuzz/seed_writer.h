// The seed corpus writer's shared pieces: one call writes one seed file of one harness.
#ifndef QMV3_FUZZ_SEED_WRITER_H
#define QMV3_FUZZ_SEED_WRITER_H

#include <string>
#include <vector>

// head followed by tail (reserved first: growing a one-byte vector trips a false bounds warning of the
// optimiser).
inline std::vector<unsigned char> Prefixed(std::vector<unsigned char> head, const std::vector<unsigned char>& tail) {
    std::vector<unsigned char> joined;
    joined.reserve(head.size() + tail.size());
    joined.insert(joined.end(), head.begin(), head.end());
    joined.insert(joined.end(), tail.begin(), tail.end());
    return joined;
}

// Writes bytes as fuzz/corpus/<harness>/<name> below the corpus folder given to the program.
void WriteSeed(const std::string& harness, const std::string& name, const std::vector<unsigned char>& bytes);

// Seeds written by the library's savers; scratch is an empty folder for their files.
void WriteOlderFileSeeds(const std::string& scratch);
void WriteSequenceFileSeeds(const std::string& scratch);

#endif
