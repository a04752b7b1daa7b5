// Thin operating-system layer: millisecond time values and their texts, sleep, a counting semaphore, a
// thread wrapper, small file operations, host/user/process identity, 64-bit integer texts, and the
// socket, byte-order and console-input families.
//
// Thread rules: the semaphore functions may be called from any thread. platformFileCopy (shared copy
// buffer), platformIPAddrConvert (shared text buffer) and the console-input functions (shared terminal
// state) must not run on two threads at once. platformTimeToString and platformTimeToStringEx use the
// re-entrant local-time conversion. No function throws.
#ifndef QMV3_PLATFORM_PLATFORM_H
#define QMV3_PLATFORM_PLATFORM_H

#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstdint>
#include <cstdio>

// A point in time: seconds since 1970-01-01 00:00:00 UTC and the milliseconds (0..999) within it.
struct PLF_TIME {
    uint64_t seconds;
    uint16_t milliseconds;
};

// An opaque semaphore or thread object, owned by the caller from creation until the matching delete.
typedef void* HANDLE;

// Start function of a thread made by platformCreateThread.
typedef void* (*PLATFORM_THREAD_FUNCTION)(void*);

// Largest number of descriptor sets the socket layer works with.
constexpr int platformMaxFdSets = 64;

// ---- Time ----------------------------------------------------------------------------------------

// Fills the current wall-clock time; always true.
bool platformTimeGet(PLF_TIME& now);
// 0 when both fields are equal, otherwise -1 when a is earlier than b, else 1.
int platformTimeCompare(const PLF_TIME& a, const PLF_TIME& b);
// Adds a number of milliseconds in place.
void platformTimeAddOffset(PLF_TIME& time, uint32_t milliseconds);
// Seconds from `from` to `to`, negative when `to` is earlier.
double platformTimeDelta(const PLF_TIME& from, const PLF_TIME& to);
// Sleeps the whole duration, resuming after interruptions.
void platformSleepMilliseconds(uint32_t milliseconds);

// Local-time texts; buf must not be null and size at least 2. They write at most size - 2 characters
// and a zero byte, and return buf (null when the preconditions fail).
// "[dd.mm.yy hh:mm:ss.mmm LTM]"
char* platformTimeToString(const PLF_TIME& time, char* buf, unsigned size);
// "[yyyy-mm-dd hh:mm:ss.mmm ZONE]"
char* platformTimeToStringEx(const PLF_TIME& time, char* buf, unsigned size);

// The current local time as "dd.mm.yy hh:mm:ss.mmm LTM" in at most size - 1 characters; null when buf is
// null or size is below 26.
char* platformTimeGetLocalText(char* buf, int size);

// UTC text of seconds and a fraction (microseconds or milliseconds), optionally in brackets and in the
// twelve-hour form. Null when buf is null, size < 2, the fraction is out of range or the time cannot be
// broken down.
char* platformTimeToUTCString(int64_t seconds, uint32_t fraction, bool microseconds, bool brackets, bool twelveHour,
                              char* buf, unsigned size);
// Reads the twelve-hour UTC text with microseconds and without brackets; on success fills both outputs
// and returns true, otherwise leaves them untouched.
bool platformUTCStringToTimeT(const char* text, int64_t& seconds, uint32_t& microseconds);

// ---- Semaphores and threads ----------------------------------------------------------------------

// A counting semaphore; initial_count must not exceed maximum_count (asserted). Null on failure.
HANDLE platformCreateSemaphore(uint16_t initial_count, uint16_t maximum_count);
// Takes one unit, waiting at most timeout milliseconds (0: without limit). False on timeout or failure.
bool platformWaitForSemaphore(HANDLE semaph, uint32_t timeout);
// Takes one unit only when one is available now; semaph must not be null (asserted).
bool platformIsSemaphoreSignalled(HANDLE semaph);
// Gives back one unit and wakes one waiter; false at the maximum count or on failure.
bool platformReleaseSemaphore(HANDLE semaph);
// Destroys the semaphore; no thread may wait on it any more. False for a null handle.
bool platformDeleteSemaphore(HANDLE semaph);

// Starts a thread with default attributes; null on failure (a message goes to standard error).
HANDLE platformCreateThread(PLATFORM_THREAD_FUNCTION start, void* argument);
// Frees the thread object; neither waits for nor stops the thread. False for a null handle.
bool platformDeleteThread(HANDLE thread);

// ---- Files ---------------------------------------------------------------------------------------

// Copies src to dst; with failIfExists an existing dst is left alone and false returned. True exactly
// when both files end up with the same size.
bool platformFileCopy(const char* src, const char* dst, bool failIfExists);
// True when the file was removed.
bool platformFileRemove(const char* path);
// True when the path can be examined (files and directories alike).
bool platformFileExists(const char* path);
// 64-bit seek (origin SEEK_SET, SEEK_CUR or SEEK_END); true on success.
bool platformFileSeek64(FILE* file, int64_t offset, int origin);
// 64-bit position, -1 on failure.
int64_t platformFileTell64(FILE* file);
// The file's modification time; false when the path cannot be examined.
bool platformFileGetLastModifiedTime64(const char* path, PLF_TIME& modified);

// ---- Process identity ----------------------------------------------------------------------------

// Full path of the running executable, cut to fit and zero-terminated; false (with a message on
// standard error) when it cannot be read.
bool platformGetFullExecutablePath(char* buf, unsigned size);
// The file name placed in the directory of the running executable (the name alone when that directory
// cannot be found or is the root directory). The result is storage of the calling thread, replaced by
// that thread's next call.
const char* ObtainExecutablePathWithFilename(const char* filename);
// The size functions below take the capacity in *size and return the needed size (length + 1) there.
// Host name: 1; 0 when *size < 65 (then *size = 65); -1 when unavailable; -2 for null pointers.
int platformGetHostName(char* buf, unsigned* size);
// Name of the real user's account: 1; 0 when too small (*size = needed); -1 no account; -2 null pointers.
int platformGetUserName(char* buf, unsigned* size);
// Full path of the executable (cut to *size - 1 characters) and the process id: 1; -1 when the path
// cannot be read; -2 for null pointers.
int platformGetProcessNameID(char* buf, unsigned* size, uint32_t* processId);
// The default log folder "/tmp": 1; 0 when *size < 5 (then *size = 5); -1 for null pointers.
int platformGetDefaultLogFilePath(char* buf, unsigned* size);

// ---- 64-bit integer texts ------------------------------------------------------------------------

// Accepts exactly the canonical decimal text of a signed 64-bit value (no '+', leading zeros or blanks).
bool platformConvertStringToInt64(const char* text, int64_t& value);
// Writes the decimal text; false when buf is null, size < 3 or size is not above the text's length.
bool platformConvertInt64ToString(int64_t value, char* buf, unsigned size);

// ---- Byte order ----------------------------------------------------------------------------------

short platformHostToLittleEndian(short value);
unsigned short platformHostToLittleEndian(unsigned short value);
int platformHostToLittleEndian(int value);
unsigned int platformHostToLittleEndian(unsigned int value);
long long platformHostToLittleEndian(long long value);
unsigned long long platformHostToLittleEndian(unsigned long long value);
float platformHostToLittleEndian(float value);
double platformHostToLittleEndian(double value);
short platformLittleEndianToHost(short value);
unsigned short platformLittleEndianToHost(unsigned short value);
int platformLittleEndianToHost(int value);
unsigned int platformLittleEndianToHost(unsigned int value);
long long platformLittleEndianToHost(long long value);
unsigned long long platformLittleEndianToHost(unsigned long long value);
float platformLittleEndianToHost(float value);
double platformLittleEndianToHost(double value);
short platformHostToBigEndian(short value);
unsigned short platformHostToBigEndian(unsigned short value);
int platformHostToBigEndian(int value);
unsigned int platformHostToBigEndian(unsigned int value);
long long platformHostToBigEndian(long long value);
unsigned long long platformHostToBigEndian(unsigned long long value);
float platformHostToBigEndian(float value);
double platformHostToBigEndian(double value);
short platformBigEndianToHost(short value);
unsigned short platformBigEndianToHost(unsigned short value);
int platformBigEndianToHost(int value);
unsigned int platformBigEndianToHost(unsigned int value);
long long platformBigEndianToHost(long long value);
unsigned long long platformBigEndianToHost(unsigned long long value);
float platformBigEndianToHost(float value);
double platformBigEndianToHost(double value);

// ---- Sockets (IPv4; addresses and ports in host byte order) --------------------------------------

bool platformInitializeSocketSubsystem();
bool platformDeinitializeSocketSubsystem();
// socket(AF_INET, type, 0): a descriptor or -1.
int platformSocketCreateInet(int type);
int platformSocketConnect(int sock, uint32_t address, uint16_t port);
int platformSocketBind(int sock, uint32_t address, uint16_t port);
int platformSocketClose(int sock);
int platformSocketSelect(int nfds, fd_set* readSet, fd_set* writeSet, fd_set* errorSet, struct timeval* timeout);
long platformSocketReceiveFunction(int sock, void* buf, unsigned long length, int flags);
long platformSocketSendFunction(int sock, const void* buf, unsigned long length, int flags);
// Either output pointer may be null.
long platformSocketReceiveFromFunction(int sock, void* buf, unsigned long length, int flags, uint32_t* address,
                                       uint16_t* port);
long platformSocketSendToFunction(int sock, const void* buf, unsigned long length, int flags, uint32_t address,
                                  uint16_t port);
// Dissolves the peer association of a datagram socket: 0 or -1.
int platformSocketDisconnectUDP(int sock);
int platformSocketSetNonblocking(int sock, bool nonblocking);
// Resolves an IPv4 host name into *address; false when it cannot be resolved.
bool platformSocketGetHostByName(const char* name, uint32_t* address);
int platformSocketGetHostName(char* buf, unsigned long size);
int platformSocketGetSockOpt(int sock, int level, int option, void* value, socklen_t* length);
int platformSocketSetSockOpt(int sock, int level, int option, const void* value, socklen_t length);
// The calling thread's error number.
int platformSocketGetLastError();
// True for the would-block error number (11).
bool platformSocketIsBlockingError(int error);
// Always "unimplemented".
const char* platformSocketGetOSErrorString(int error);
// Dotted text of a host-order address, in a process-wide buffer.
const char* platformIPAddrConvert(uint32_t address);
// Host-order address of a dotted text, or -1 when a part is missing or outside 0..255.
int64_t platformIPAddrConvert(const char* text);

// ---- Console input -------------------------------------------------------------------------------

// Saves the terminal settings (the first time) and switches standard input to unbuffered input without
// echo and signal keys.
void platformInitializeConsoleInput();
// Restores the saved terminal settings.
void platformDeinitializeConsoleInput();
// Non-zero when a character is waiting (it is kept for platformgetch).
int platformkbhit();
// The kept character, or the next one read; -1 at end of input.
int platformgetch();

#endif
