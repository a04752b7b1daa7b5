// The log writer's file: one open and close per line, a size check on the first write and then on
// every 1001st, and rotation into numbered backups (path.1 newest ... path.9 oldest).
//
// Thread rules: called by Log and DedicatedLog under the semaphore. ObtainExecutablePathWithFilename
// forwards to the shared helper, whose result storage is per thread.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/logging.h"

namespace {

// Names of the file and of its backups are composed within this many bytes.
constexpr size_t kComposedNameLimit = 254;

// The size of a file by seeking to its end; -1 when it cannot be opened.
int64_t sizeOfFile(const char* path) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return -1;
    int64_t size = platformFileSeek64(file, 0, SEEK_END) ? platformFileTell64(file) : -1;
    fclose(file);
    return size;
}

// Composes a name within kComposedNameLimit bytes into out (kComposedNameLimit + 1 bytes); false when
// it had to be cut.
__attribute__((format(printf, 2, 3))) bool composeName(char* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = vsnprintf(out, kComposedNameLimit, format, args);
    va_end(args);
    return length >= 0 && static_cast<size_t>(length) < kComposedNameLimit;
}

}  // namespace

const char* CLogging::ObtainExecutablePathWithFilename(const char* fileName) {
    return ::ObtainExecutablePathWithFilename(fileName);
}

void CLogging::checkFileSize() {
    int64_t size = sizeOfFile(m_logFilePath);
    if (size < 0 || size <= static_cast<int64_t>(m_maxFileSize)) return;
    if (!internalRenameBackupFileRecursive(m_numberOfBackups)) {
        fprintf(stderr, "CLogging(): ArrangeOldLogs(): Error rearranging backup log files at \"%s\".\n", m_logFilePath);
    }
}

void CLogging::internalPutToFile(const char* line) {
    bool checkSize = false;
    if (m_checkSizeOnNextWrite) {
        m_checkSizeOnNextWrite = false;
        checkSize = true;
    }
    if (m_linesSinceLastCheck > m_checkInterval) {
        m_linesSinceLastCheck = 0;
        checkSize = true;
    }
    if (checkSize) checkFileSize();
    FILE* file = fopen(m_logFilePath, "a");
    if (file == nullptr) {
        fprintf(stderr, "WW: Error print to log file \"%s\".\n", m_logFilePath);
        return;
    }
    fprintf(file, "%s\n", line);
    fclose(file);
    m_linesSinceLastCheck += 1;
}

bool CLogging::internalRenameBackupFileRecursive(uint32_t level) {
    const uint32_t backups = m_numberOfBackups;
    char source[kComposedNameLimit + 1];
    char target[kComposedNameLimit + 1];
    if (level == 0) {
        bool composed = backups == 0 ? composeName(target, "%s", m_logFilePath)
                                     : composeName(target, "%s.%u", m_logFilePath, backups);
        if (!composed) return false;
        if (!platformFileExists(target)) return true;
        return platformFileRemove(target);
    }
    bool composed = level == backups
                        ? composeName(source, "%s", m_logFilePath) && composeName(target, "%s.1", m_logFilePath)
                        : composeName(source, "%s.%u", m_logFilePath, backups - level) &&
                              composeName(target, "%s.%u", m_logFilePath, backups + 1 - level);
    if (!composed) return false;
    if (platformFileExists(target) && !internalRenameBackupFileRecursive(level - 1)) return false;
    return rename(source, target) == 0;
}
