// The save policy of every file the library writes: an existing name is refused unless replacing was
// asked for; new files are written into a hidden folder beside their final names
// (".qmv3-partial-XXXXXX", holding a file "owner" with the writer's process id) and renamed into place
// only when complete, a replacement keeping the permissions of the file it replaces. Whatever was not
// renamed is removed on failure and on destruction, so no failure, interruption or exception leaves a
// half file under a user's name. A process killed outright leaves its hidden folder; the next save into
// that folder removes the folders whose owner has ended, and the log says so once per process.
//
// How a save uses it:
//   SavePolicy policy(replace);
//   policy.Add(path);                          // every final name (several for a PNG series)
//   int code = policy.Check(message);          // 0, or QMV3_SAVE_FILE_EXISTS / QMV3_SAVE_OPEN_FAILED
//   code = policy.Prepare(message);            // the hidden folders
//   ... write file i to policy.WritePath(i) ...
//   code = policy.Commit(message);             // every file onto its name
// Messages name the temporary paths of a writer; UserText maps them back to the user's names.
//
// Thread rules: one object belongs to one thread; the stale-folder note is guarded by an atomic flag.
#ifndef QMV3_INTERCHANGE_SAVE_POLICY_H
#define QMV3_INTERCHANGE_SAVE_POLICY_H

#include <cstddef>
#include <string>
#include <vector>

namespace interchange {

class SavePolicy {
  public:
    explicit SavePolicy(bool replace);
    ~SavePolicy();  // removes every temporary file and folder not committed
    SavePolicy(const SavePolicy&) = delete;
    SavePolicy& operator=(const SavePolicy&) = delete;

    size_t Add(const std::string& path);
    size_t Count() const { return outputs_.size(); }
    const std::string& FinalPath(size_t index) const { return outputs_[index].path; }

    // Every folder exists and can be written, no name is a folder, and no name exists unless replacing.
    // 0, or the QMV3_SAVE_* code with a message in the library's form ("File \"p\" save error: ...");
    // detailed adds the folder and the system's reason to an open failure.
    int Check(std::string& message, bool detailed) const;
    // Creates the hidden folders (removing stale ones of ended processes first). 0 or QMV3_SAVE_OPEN_FAILED.
    int Prepare(std::string& message);
    const std::string& WritePath(size_t index) const { return outputs_[index].temporary; }
    // Moves every written file onto its name: over an existing file when replacing, else only while the
    // name is still free (QMV3_SAVE_FILE_EXISTS when it was taken meanwhile). 0 or the failure code.
    int Commit(std::string& message);

    std::string UserText(const std::string& text) const;

    // Removes the hidden folders with what is still in them, with system calls only (async-signal-safe
    // while no other call runs on the object).
    void Discard() const;

  private:
    struct Output {
        std::string path;       // the user's name
        std::string folder;     // its folder as given ("" for the current folder), with a final '/'
        std::string name;       // the file name alone
        std::string temporary;  // write path after Prepare
        bool committed = false;
    };
    struct Folder {
        std::string folder;  // as in Output::folder
        std::string hidden;  // the temporary folder, with a final '/'
    };

    bool replace_;
    std::vector<Output> outputs_;
    std::vector<Folder> folders_;
};

// Removes the hidden folders in folder (as in Output::folder) whose owner process has ended; returns
// how many were removed.
int RemoveStalePartialFolders(const std::string& folder);

// The system's reason for an errno value, e.g. "No such file or directory".
std::string SystemReason(int error);

}  // namespace interchange

#endif
