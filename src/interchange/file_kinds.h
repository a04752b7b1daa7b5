// The one table of file kinds: each kind's code, name, extensions and detector, in the one order in
// which loading and checking try them. Saving chooses the kind by the name's extension (every other
// name is IMC2/BKC2); loading and checking decide by content only.
//
// Thread rules: the table is constant; the detectors keep no state.
#ifndef QMV3_INTERCHANGE_FILE_KINDS_H
#define QMV3_INTERCHANGE_FILE_KINDS_H

#include <cstddef>
#include <string>

namespace interchange {

struct FileKind {
    int code;                     // QMV3_FILE_*
    const char* name;             // "IMC2/BKC2", "TIFF", ...
    const char* extensions[2];    // lower case; the second may be null
    const char* extensionText;    // the extensions separated by one space
    // Whether the file is of the kind; false with the reason (may be empty).
    bool (*detect)(const char* path, std::string& reason);
    bool interchange;             // written by the interchange writers (qmExportImagesToFile)
    unsigned maxImages;           // the most images one save under such a name takes; 0: no limit of its own
    bool compressible;            // a save's compression flags choose how its frames are stored
};

// Every kind, in the order load and check try them.
const FileKind* FileKinds(size_t& count);

// The kind by code, or null.
const FileKind* FileKindByCode(int code);

// The kind a save chooses for path by its extension (compared without regard to case), or null for
// every other name (saved as IMC2/BKC2).
const FileKind* FileKindOfName(const char* path);

// The first kind whose detector accepts the file, or null.
const FileKind* DetectFileKind(const char* path);

// Whether the kind is written by the interchange writers (TIFF, PNG, HDF5).
bool IsInterchangeKind(int code);

// For a file of no kind: the kind it comes closest to (its header fits, or its signature is there; the
// name's extension breaks ties) with the reason that kind refused it; QMV3_FILE_UNKNOWN with the
// system's reason when the file cannot be opened.
int DiagnoseFile(const char* path, std::string& reason);

// What the system tells of reading a file (its reason, a folder, no regular file, empty, else its size
// and whether it is shorter than the fixed start of the kind its name suggests).
std::string DescribeFileProblem(const char* path);

}  // namespace interchange

#endif
