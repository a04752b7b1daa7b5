// The library's own log, its level and verbosity, and the load hook that points it at standard error.
//
// The state here exists once per loaded library and is unprotected (except for the start of the log): the
// library expects one application thread. Lines written from the control system's delivery thread are not lost, because
// the log file is opened and closed for every line, but they may interleave with others.
#include "util/library_log.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/logging.h"
#include "platform/platform.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"

int _global_internal_qmVerboseLevel = 3;
char _g_str_LogFileNamePath[1024] = "orsel-sharedlib.log";
FILE* _g_fp_LogDest = nullptr;
bool _global_internal_loggingInitialized = false;

namespace {

const char kLoggingPathVariable[] = "ORSEL_CLIENTLIB_LOGGING_PATH";
const char kLogLevelVariable[] = "ORSEL_CLIENTLIB_LOGLEVEL";
const char kStreamPrefix[] = "[qmv3 shared lib]";
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

__attribute__((constructor)) void libraryLoaded() { _g_fp_LogDest = stderr; }

FILE* destinationStream() { return _g_fp_LogDest != nullptr ? _g_fp_LogDest : stderr; }

// Directory of the automatic log file, always ending in "/" unless empty (the current folder).
void logDirectory(char* directory, size_t capacity) {
    const char* fromEnvironment = getenv(kLoggingPathVariable);
    if (fromEnvironment != nullptr) {
        snprintf(directory, capacity, "%s", fromEnvironment);
    } else {
        unsigned int size = static_cast<unsigned int>(capacity);
        if (platformGetDefaultLogFilePath(directory, &size) != 1) directory[0] = '\0';
    }
    size_t length = strlen(directory);
    if (length > 0 && directory[length - 1] != '/' && length + 1 < capacity) {
        directory[length] = '/';
        directory[length + 1] = '\0';
    }
}

void localDate(char* date, size_t capacity) {
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr || local.tm_mon < 0 || local.tm_mon > 11) {
        snprintf(date, capacity, "TIME-CONV-ERR");
        return;
    }
    snprintf(date, capacity, "%04d-%s-%02d", local.tm_year + 1900, kMonthNames[local.tm_mon], local.tm_mday);
}

void composeLogFileName(unsigned long processId) {
    char host[1024];
    unsigned int hostSize = sizeof host;
    if (platformGetHostName(host, &hostSize) != 1) snprintf(host, sizeof host, "HOSTNAME-QUERY-ERROR");
    char user[257];
    unsigned int userSize = sizeof user;
    if (platformGetUserName(user, &userSize) != 1) snprintf(user, sizeof user, "USERNAME-QUERY-ERROR");
    char directory[1024];
    logDirectory(directory, sizeof directory);
    char date[32];
    localDate(date, sizeof date);

    int length = snprintf(_g_str_LogFileNamePath, 1023, "%s%s--%s--p-%lu--u-%s--h-%s.log", directory, "orsel-sharedlib",
                          date, processId, user, host);
    if (length < 0 || length > 1022) snprintf(_g_str_LogFileNamePath, 1023, "orsel-sharedlib-ERR.log");
}

// The first line may come from the application thread and the delivery thread at once: the log is
// started exactly once, and neither writes its line before the start lines are in the file.
std::once_flag gLogStarted;

void startLogIfNeeded() {
    std::call_once(gLogStarted, [] {
        _internal_LOG_initialize(true);
        _global_internal_loggingInitialized = true;
    });
}

// The four forms of the verbosity change message; marker is "about to be " or empty.
void logVerbosityChange(const char* marker, int oldLevel, const char* oldFile, int newLevel, const char* newFile) {
    if (newLevel <= 2) {
        if (oldLevel <= 2) {
            _internal_LOG("qmSetVerboseEx: verbosity setting %schanged from %d to %d", marker, oldLevel, newLevel);
        } else {
            _internal_LOG("qmSetVerboseEx: verbosity setting %schanged from %d (old file=\"%s\") to %d", marker,
                          oldLevel, oldFile, newLevel);
        }
    } else if (_global_internal_qmVerboseLevel == 3) {
        _internal_LOG("qmSetVerboseEx: verbosity setting %schanged from %d (old file=\"%s\") to %d (new file=\"%s\")",
                      marker, oldLevel, oldFile, newLevel, newFile);
    } else {
        _internal_LOG("qmSetVerboseEx: verbosity setting %schanged from %d to %d (new file=\"%s\")", marker, oldLevel,
                      newLevel, newFile);
    }
}

}  // namespace

void _internal_LOG(const char* format, ...) {
    if (_global_internal_qmVerboseLevel == 0 || format == nullptr) return;
    char message[509];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);

    startLogIfNeeded();
    if (_global_internal_qmVerboseLevel != 3) {
        CLogging::SimpleLog(destinationStream(), "%s %s", kStreamPrefix, message);
        return;
    }
    FILE* file = fopen(_g_str_LogFileNamePath, "a");
    if (file == nullptr) {
        CLogging::SimpleLog(stderr, "%s %s", kStreamPrefix, message);
        return;
    }
    CLogging::SimpleLog(file, "%s", message);
    fclose(file);
}

int _internal_getLogLevel() {
    static int static_iLogLevel = 0;
    if (static_iLogLevel != 0) return static_iLogLevel;
    const char* text = getenv(kLogLevelVariable);
    if (text != nullptr) {
        errno = 0;
        char* end = nullptr;
        long value = strtol(text, &end, 10);
        bool parsed = errno == 0 && end != text && *end == '\0';
        if (parsed && (value == 1 || value == 2)) {
            static_iLogLevel = static_cast<int>(value);
            _internal_LOG("Log-Level has been set to %d (via environment variable %s).", static_iLogLevel,
                          kLogLevelVariable);
        } else {
            _internal_LOG("_internal_getLogLevel(): environment variable \"%s=%s\" parse error.", kLogLevelVariable,
                          text);
        }
    }
    if (static_iLogLevel == 0) static_iLogLevel = 1;
    return static_iLogLevel;
}

void _internal_LOG_initialize(bool composeFileName) {
    char processName[1024];
    unsigned int processNameSize = sizeof processName;
    unsigned int processIdValue = 0;
    unsigned long processId = 0;
    if (platformGetProcessNameID(processName, &processNameSize, &processIdValue) == 1) {
        processId = processIdValue;
    } else {
        snprintf(processName, sizeof processName, "PROCESSNAME-QUERY-ERROR");
    }
    if (composeFileName) composeLogFileName(processId);
    if (_global_internal_qmVerboseLevel != 3) return;

    FILE* file = fopen(_g_str_LogFileNamePath, "a");
    if (file != nullptr) {
        CLogging::SimpleLog(file, "Logfile started. pid(%lu)->pname(\"%s\")", processId, processName);
        _internal_LOG_printLibraryInfo(file, "");
        fclose(file);
        return;
    }
    CLogging::SimpleLog(stderr, "%s Logfile (\"%s\") could not be opened for writing! stderr will be used instead.",
                        kStreamPrefix, _g_str_LogFileNamePath);
    CLogging::SimpleLog(stderr, "%s pid(%lu)->pname(\"%s\")", kStreamPrefix, processId, processName);
    _internal_LOG_printLibraryInfo(stderr, kStreamPrefix);
}

void _internal_LOG_printLibraryInfo(FILE* stream, const char* prefix) {
    if (stream == nullptr) stream = stderr;
    if (prefix == nullptr) prefix = "";
    unsigned major = 0, minor = 0, third = 0;
    char text[200];
    unsigned size = sizeof text;
    if (qmLibraryInfoEx(&major, &minor, &third, text, &size) != nullptr) {
        CLogging::SimpleLog(stream, "%s Library info: qmLibraryInfoEx() returned \"%s\" (vX.Y=%u.%u.%u)", prefix, text,
                            major, minor, third);
    } else {
        CLogging::SimpleLog(stream, "%s Library info: qmLibraryInfoEx() returned NULL! (vX.Y=%u.%u.%u)", prefix, major,
                            minor, third);
    }
}

extern "C" {

QMV3_EXPORT int qmSetVerboseEx(int level, const char* logFile) {
    return qmv3::Guarded<int>(QMV3_VERBOSE_REFUSED, QMV3_VERBOSE_REFUSED, [&]() -> int {
        if (static_cast<unsigned>(level) > 3u) return QMV3_VERBOSE_REFUSED;
        if (level == 3 && logFile == nullptr) return QMV3_VERBOSE_REFUSED;
        startLogIfNeeded();

        const int oldLevel = _global_internal_qmVerboseLevel;
        if (level == oldLevel && level != 3) {
            _g_fp_LogDest = level == 2 ? stdout : stderr;
            return QMV3_VERBOSE_OK;
        }
        logVerbosityChange("about to be ", oldLevel, _g_str_LogFileNamePath, level, level == 3 ? logFile : "");
        char oldFile[sizeof _g_str_LogFileNamePath];
        memcpy(oldFile, _g_str_LogFileNamePath, sizeof oldFile);
        _global_internal_qmVerboseLevel = level;
        _g_fp_LogDest = level == 2 ? stdout : stderr;

        if (level == 3) {
            snprintf(_g_str_LogFileNamePath, 1023, "%s", logFile);
            _internal_LOG_initialize(logFile[0] == '\0');
            logVerbosityChange("", oldLevel, oldFile, level, _g_str_LogFileNamePath);
        } else if (level != oldLevel) {
            logVerbosityChange("", oldLevel, oldFile, level, "");
        }
        return QMV3_VERBOSE_OK;
    });
}

QMV3_EXPORT int qmSetVerbose(int level) { return qmSetVerboseEx(level, nullptr); }

QMV3_EXPORT int qmGetVerbose(void) { return _global_internal_qmVerboseLevel; }

QMV3_EXPORT int qmGetVerboseEx(int* level, char* logFile, int* logFileSize) {
    if (level == nullptr || logFile == nullptr || logFileSize == nullptr) return QMV3_VERBOSE_NULL_ARGUMENT;
    if (_global_internal_qmVerboseLevel == 3) {
        const int needed = static_cast<int>(strlen(_g_str_LogFileNamePath)) + 1;
        if (*logFileSize < needed) {
            *logFileSize = needed;
            return QMV3_VERBOSE_REFUSED;
        }
        memcpy(logFile, _g_str_LogFileNamePath, static_cast<size_t>(needed));
        *logFileSize = needed;
    } else {
        if (*logFileSize < 1) {
            *logFileSize = 1;
            return QMV3_VERBOSE_REFUSED;
        }
        logFile[0] = '\0';
        *logFileSize = 1;
    }
    *level = _global_internal_qmVerboseLevel;
    return QMV3_VERBOSE_OK;
}

}  // extern "C"
