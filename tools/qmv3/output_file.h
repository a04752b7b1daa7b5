// Overwrite protection for every command that writes files: an existing output is refused unless
// --force is given, new files are written into a hidden folder beside their final names and moved
// into place only when complete, and whatever was not moved is removed on failure, on return and
// on Ctrl-C, SIGTERM or SIGHUP. A failed or interrupted command thus leaves the user's files as
// they were.
//
// How a command that writes uses it:
//
//   const OptionSpec kOptions[] = {..., kForceOption};   // and QMV3_FORCE_HELP in its help text
//   OutputFiles outputs(arguments.Has("force"));
//   outputs.Add(path);                    // every final name (several for multi-file writers)
//   if (!outputs.Check(message)) return Failure(command, "%s", message.c_str());   // before the work
//   ... load, grab, compute ...
//   if (!outputs.Prepare(message)) return Failure(command, "%s", message.c_str());
//   write file i to outputs.WritePath(i) (a library save or the command's own writer); a writer
//   that makes its own names (a prefix, say) writes them into outputs.WriteFolder(i)
//   if (!outputs.Commit(message)) return Failure(command, "%s", message.c_str());
//
// Messages of a writer name the temporary paths; outputs.UserText(text) maps them back to the
// user's names. The temporary names keep the final file name, so a library that chooses the file
// kind by the extension chooses the same kind.
#ifndef QMV3_TOOL_OUTPUT_FILE_H
#define QMV3_TOOL_OUTPUT_FILE_H

#include <cstddef>
#include <string>
#include <vector>

#include "arguments.h"
#include "qmv3/qmv3.h"

namespace qmv3tool {

// The option and the help line every writing command shares.
extern const OptionSpec kForceOption;
#define QMV3_FORCE_HELP "      --force       replace existing output files, once the new ones are complete\n"

class OutputFiles {
  public:
    explicit OutputFiles(bool force);
    ~OutputFiles();  // removes every temporary file and folder not committed
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // Adds a final name; returns its index.
    size_t Add(const std::string& path);
    size_t Count() const { return outputs_.size(); }
    const std::string& FinalPath(size_t index) const { return outputs_[index]; }

    // Before any work: every folder exists and is writable, no name is a folder, and no name exists
    // unless --force was given. False with a message that names the file or folder.
    bool Check(std::string& message) const;

    // Creates the hidden temporary folders (one per output folder). False with a message.
    bool Prepare(std::string& message);
    // Where output index is to be written (valid after Prepare): the hidden folder plus its file name.
    const std::string& WritePath(size_t index) const { return temporary_[index]; }
    // The hidden folder that output index is written into, ending in '/'.
    std::string WriteFolder(size_t index) const;

    // Moves every written file onto its final name: over an existing file with --force, else only
    // while the name is still free. False with a message; Collided() then tells whether a name was
    // taken meanwhile. Files not yet moved stay at their write paths until destruction.
    bool Commit(std::string& message);
    bool Collided() const { return collided_; }

    // The text with every temporary path replaced by the user's name.
    std::string UserText(const std::string& text) const;

  private:
    // Opens the library's output files (or only checks, with QMV3_SAVE_FLAG_CHECK_ONLY); the code, with
    // the tool's message on failure.
    int Open(unsigned int flags, std::string& message);

    bool force_;
    bool collided_ = false;
    std::vector<std::string> outputs_;    // the user's names
    std::vector<std::string> temporary_;  // their write paths, after Prepare
    QMV3_OUTPUT_FILES* files_ = nullptr;
    int slot_ = -1;  // registration for discarding by the signal handler
};

// One output file: the single-file form of OutputFiles, for writers of the command's own.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path, bool force = false) : files_(force) { files_.Add(path); }
    // Check and Prepare in one: false with a message when the name is taken (without --force) or
    // the folder cannot be written.
    bool Create(std::string& message) { return files_.Check(message) && files_.Prepare(message); }
    const std::string& TemporaryPath() const { return files_.WritePath(0); }
    const std::string& Path() const { return files_.FinalPath(0); }
    bool Commit(std::string& message) { return files_.Commit(message); }
    std::string UserText(const std::string& text) const { return files_.UserText(text); }

  private:
    OutputFiles files_;
};

// "NAME exists already (--force replaces it)" when the name is taken, else "".
std::string ExistingOutputMessage(const std::string& path);

// Removes every registered temporary folder with its contents. Async-signal-safe: the tool's
// Ctrl-C handler calls it before it lets a second Ctrl-C end the process.
void RemovePendingOutputs();

// The system's reason for an errno value, e.g. "No such file or directory".
std::string SystemReason(int error);

}  // namespace qmv3tool

#endif
