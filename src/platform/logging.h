// The general log writer: stamps each printf-style message with the local time and sends the line to
// standard output, standard error, a size-limited log file with numbered backups, and the control
// system's own log (a destination the library frame hands over when it starts the control system; the
// writer itself knows nothing of the control system).
//
// Thread rules: Log and DedicatedLog hold the object's counting semaphore (which several objects may
// share) for the whole of formatting and output, so their lines never interleave and file rotation is
// serialised. SimpleLog and internalLog take no lock. ObtainExecutablePathWithFilename returns
// storage of the calling thread.
#ifndef QMV3_PLATFORM_LOGGING_H
#define QMV3_PLATFORM_LOGGING_H

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

class CLogging {
  public:
    // Longest log file path the object keeps; longer names are refused by InitializeLogging.
    static constexpr unsigned kMaxPathLength = 244;
    // A message is cut to this many characters, a stamped line to kMaxLineLength.
    static constexpr unsigned kMaxMessageLength = 509;
    static constexpr unsigned kMaxLineLength = 537;

    CLogging();
    ~CLogging();
    CLogging(const CLogging&) = delete;
    CLogging& operator=(const CLogging&) = delete;

    // Prepares the object. fileName may be null (no file output); an empty name, a name whose path
    // would exceed kMaxPathLength, or an object already initialised gives false and changes nothing.
    // With prefixWithExecutableDirectory the name is placed in the executable's folder. semaphore, when
    // not null, is borrowed (see getLoggingSemaphoreHandle); otherwise the object makes its own.
    bool InitializeLogging(const char* fileName, bool prefixWithExecutableDirectory, void* semaphore);
    // Sets the destination switches; the file switch changes only when a file name was given.
    void SetLogDestinations(bool toStdout, bool toStderr, bool toFile, bool toFeclog);
    // Writes one stamped line to the switched-on destinations; false when not initialised.
    bool Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Like Log, with the destinations given by the call.
    bool DedicatedLog(bool toStdout, bool toStderr, bool toFile, bool toFeclog, const char* format, ...)
        __attribute__((format(printf, 6, 7)));
    // Writes one stamped line to a stream (null: standard error, after two warnings); returns the result
    // of the final print. Needs no object, takes no lock and does not flush.
    static int SimpleLog(FILE* aOutFile, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The semaphore, for sharing with another CLogging.
    HANDLE getLoggingSemaphoreHandle() const { return m_semaphore; }
    // Deletes an owned semaphore and clears the path and the initialised flag.
    void Done();
    // The executable's folder, "/" and the name, or the name alone; points into a process-wide buffer.
    static const char* ObtainExecutablePathWithFilename(const char* fileName);

    // The control system's log: receives the bare message of every line meant for it. Process-wide; until
    // one is set (and after null is set) such lines are dropped.
    using ControlSystemLog = void (*)(const char* message);
    static void SetControlSystemLog(ControlSystemLog destination);

    // Formats "[dd.mm.yy hh:mm:ss:mmm LTM] message" into line (kMaxLineLength + 1 bytes) from a message
    // cut to kMaxMessageLength characters; the bare message goes to message (kMaxMessageLength + 1).
    static void FormatLine(char* line, char* message, const char* format, va_list args)
        __attribute__((format(printf, 3, 0)));

  private:
    bool internalLog(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void internalPutToFile(const char* line);
    bool internalRenameBackupFileRecursive(uint32_t level);
    // Sends one formatted message to the given destinations (no lock).
    void internalWrite(bool toStdout, bool toStderr, bool toFile, bool toFeclog, const char* format, va_list args)
        __attribute__((format(printf, 6, 0)));
    // The not-initialised warning and the raw format on standard error.
    static void warnNotInitialized(const char* caller, const char* format);
    bool lockedWrite(const char* caller, bool toStdout, bool toStderr, bool toFile, bool toFeclog, const char* format,
                     va_list args);
    // Rotates the file when it has grown past the limit.
    void checkFileSize();

    bool m_toStdout = false;
    bool m_toFile = false;
    bool m_toFeclog = false;
    bool m_toStderr = false;
    char m_logFilePath[kMaxPathLength + 1];
    bool m_initialized;
    bool m_fileNameSet;
    HANDLE m_semaphore;
    uint32_t m_numberOfBackups;
    uint32_t m_maxFileSize;
    bool m_checkSizeOnNextWrite = false;
    uint32_t m_linesSinceLastCheck = 0;
    uint32_t m_checkInterval = 0;
    bool m_ownsSemaphore;
};

#endif
