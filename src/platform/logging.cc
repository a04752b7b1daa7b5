// The log writer: line stamping, the four destinations, and the semaphore that serialises them.
// File output, size checks and backup rotation are in logging_file.cc.
//
// Thread rules: Log and DedicatedLog hold the semaphore for formatting and output; SimpleLog and
// internalLog take no lock.
#include "platform/logging.h"

#include <time.h>

#include <atomic>
#include <cstring>

#include "platform/platform_assert.h"

namespace {

constexpr uint32_t kDefaultBackups = 9;
constexpr uint32_t kDefaultMaxFileSize = 10485760;
constexpr uint32_t kDefaultCheckInterval = 1000;

// Where lines for the control system's log go; set by the library frame, read by every writer.
std::atomic<CLogging::ControlSystemLog> gControlSystemLog{nullptr};

}  // namespace

CLogging::CLogging()
    : m_initialized(false),
      m_fileNameSet(false),
      m_semaphore(nullptr),
      m_numberOfBackups(kDefaultBackups),
      m_maxFileSize(kDefaultMaxFileSize),
      m_ownsSemaphore(false) {
    m_logFilePath[0] = '\0';
}

CLogging::~CLogging() { Done(); }

void CLogging::FormatLine(char* line, char* message, const char* format, va_list args) {
    // A missing format gives an empty message rather than a crash.
    if (format == nullptr) {
        message[0] = '\0';
    } else {
        vsnprintf(message, kMaxMessageLength + 1, format, args);
    }
    PLF_TIME now;
    platformTimeGet(now);
    time_t seconds = static_cast<time_t>(now.seconds);
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) {
        snprintf(line, kMaxLineLength + 1, "[time_conversion_error] %s", message);
        return;
    }
    snprintf(line, kMaxLineLength + 1, "[%02d.%02d.%02d %02d:%02d:%02d:%03u LTM] %s", local.tm_mday, local.tm_mon + 1,
             local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec, static_cast<unsigned>(now.milliseconds),
             message);
}

int CLogging::SimpleLog(FILE* aOutFile, const char* format, ...) {
    if (aOutFile == nullptr) {
        fprintf(stderr, "WW: CLogging::SimpleLog() called with aOutFile NULL!\n");
        fprintf(stderr, "WW: CLogging::SimpleLog() will be printed to stderr instead!\n");
        aOutFile = stderr;
    }
    char line[kMaxLineLength + 1];
    char message[kMaxMessageLength + 1];
    va_list args;
    va_start(args, format);
    FormatLine(line, message, format, args);
    va_end(args);
    return fprintf(aOutFile, "%s\n", line);
}

void CLogging::SetControlSystemLog(ControlSystemLog destination) { gControlSystemLog.store(destination); }

void CLogging::warnNotInitialized(const char* caller, const char* format) {
    fprintf(stderr, "WW: CLogging::%s() called without having initialized CLogging!\n", caller);
    fprintf(stderr, "%s\n", format != nullptr ? format : "");
}

void CLogging::internalWrite(bool toStdout, bool toStderr, bool toFile, bool toFeclog, const char* format,
                             va_list args) {
    char line[kMaxLineLength + 1];
    char message[kMaxMessageLength + 1];
    FormatLine(line, message, format, args);
    if (toFeclog) {
        const ControlSystemLog destination = gControlSystemLog.load();
        if (destination != nullptr) destination(message);
    }
    if (toStdout) fprintf(stdout, "%s\n", line);
    if (toStderr) fprintf(stderr, "%s\n", line);
    if (toFile && m_fileNameSet) internalPutToFile(line);
}

bool CLogging::internalLog(const char* format, ...) {
    if (!m_initialized) {
        warnNotInitialized("Log", format);
        return false;
    }
    va_list args;
    va_start(args, format);
    internalWrite(m_toStdout, m_toStderr, m_toFile, m_toFeclog, format, args);
    va_end(args);
    return true;
}

bool CLogging::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool written = lockedWrite("Log", m_toStdout, m_toStderr, m_toFile, m_toFeclog, format, args);
    va_end(args);
    return written;
}

bool CLogging::DedicatedLog(bool toStdout, bool toStderr, bool toFile, bool toFeclog, const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool written = lockedWrite("DedicatedLog", toStdout, toStderr, toFile, toFeclog, format, args);
    va_end(args);
    return written;
}

// Log and DedicatedLog: one line under the semaphore. A failing semaphore is a programming error and
// stops the process.
bool CLogging::lockedWrite(const char* caller, bool toStdout, bool toStderr, bool toFile, bool toFeclog,
                           const char* format, va_list args) {
    if (!m_initialized) {
        warnNotInitialized(caller, format);
        return false;
    }
    bool bSemaLogging = platformWaitForSemaphore(m_semaphore, 0);
    if (!bSemaLogging) {
        internalLog("WW: Logging Semaphore Wait error in %s()", caller);
        PLATFORM_ASSERT(bSemaLogging == true, "bSemaLogging == true");
    }
    internalWrite(toStdout, toStderr, toFile, toFeclog, format, args);
    bool retReleaseSemaphoreLogging = platformReleaseSemaphore(m_semaphore);
    if (!retReleaseSemaphoreLogging) {
        internalLog("WW: Logging Semaphore Release error in %s()", caller);
        PLATFORM_ASSERT(retReleaseSemaphoreLogging == true, "retReleaseSemaphoreLogging == true");
    }
    return true;
}

bool CLogging::InitializeLogging(const char* fileName, bool prefixWithExecutableDirectory, void* semaphore) {
    if (m_initialized) return false;
    if (fileName != nullptr) {
        if (fileName[0] == '\0') return false;
        // The composed path is never shorter than the name, and a composition cut at its buffer's end
        // is longer than the member, so both checks together refuse every path that would not fit.
        const char* path = fileName;
        if (strlen(fileName) <= kMaxPathLength && prefixWithExecutableDirectory) {
            path = ObtainExecutablePathWithFilename(fileName);
        }
        if (strlen(path) > kMaxPathLength) {
            fprintf(stderr,
                    "WW: CLogging::InitializeLogging() log file path longer than %u characters refused: \"%s\"\n",
                    kMaxPathLength, fileName);
            return false;
        }
        memcpy(m_logFilePath, path, strlen(path) + 1);
        m_fileNameSet = true;
        m_toFile = true;
    } else {
        m_fileNameSet = false;
        m_toFile = false;
    }
    m_toStdout = false;
    m_toFeclog = false;
    m_toStderr = true;
    m_numberOfBackups = kDefaultBackups;
    m_maxFileSize = kDefaultMaxFileSize;
    m_checkSizeOnNextWrite = true;
    m_linesSinceLastCheck = 0;
    m_checkInterval = kDefaultCheckInterval;
    if (semaphore != nullptr) {
        m_semaphore = semaphore;
        m_ownsSemaphore = false;
    } else {
        m_semaphore = platformCreateSemaphore(1, 1);
        m_ownsSemaphore = true;
        if (m_semaphore == nullptr) {
            m_ownsSemaphore = false;
            Log("--- Error: Logging Semaphore could not be allocated!");
            return false;
        }
    }
    m_initialized = true;
    return true;
}

void CLogging::SetLogDestinations(bool toStdout, bool toStderr, bool toFile, bool toFeclog) {
    m_toStdout = toStdout;
    m_toStderr = toStderr;
    if (m_fileNameSet) m_toFile = toFile;
    m_toFeclog = toFeclog;
}

void CLogging::Done() {
    if (m_ownsSemaphore && m_semaphore != nullptr) {
        if (!platformWaitForSemaphore(m_semaphore, 2000)) Log("WW: Logging Semaphore Wait error in CLogging::Done()");
        platformDeleteSemaphore(m_semaphore);
        m_semaphore = nullptr;
    }
    m_logFilePath[0] = '\0';
    m_initialized = false;
}
