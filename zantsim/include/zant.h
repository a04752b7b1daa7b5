/*
 * The calls that the library makes of the control system's client library. The stand-in built from
 * zantsim/ implements them behind these names, so that the real library can take its place.
 * Every call returns a completion code (0 = success) unless stated otherwise.
 */
#ifndef ZANT_H
#define ZANT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Data formats of a DTYPE. */
#define CF_TEXT 516
#define CF_STRUCT 519
#define CF_IMAGE 567   /* data is one DIMAGE record whose frameBuffer receives the frame bytes */
#define CF_DEFAULT 767 /* left for the control system to fill */

/* Access bits. */
#define CA_READ 1
#define CA_WRITE 2
#define CA_CONNECT 8192

/* The data container: the caller sets the array length, the format, the structure tag and the data
 * pointer; every other member is zero. */
typedef struct DTYPE {
    uint32_t dArrayLength;
    uint16_t dFormat;
    uint16_t xferReason;
    char dTag[8];
    void* data;
    uint32_t dStamp;
    uint32_t dStampUsec;
    uint32_t sysStamp;
    uint32_t reserved;
} DTYPE;

/* Delivery callback of a subscription: runs on the control system's own thread. */
typedef void (*ZANT_CALLBACK)(int id, int cc, void* reference);

/* Start and stop. */
int SystemStartCycleTimer(void);
int SystemKillCycleTimer(void);
int SetClnRecvQueueDepth(int depth);
int _SystemAssignBufferSpace(int bytes, int flags);
int OpenIpcPipe(const char* name);
int CloseIpcPipe(const char* name);

/* Property characteristics. */
int getPropertyInfoFromListenerEx(const char* address, const char* property, int* size, int* format, char* text);
int alsnExecLink(const char* address, const char* property, DTYPE* dout, DTYPE* din, short access, int timeout);

/* One synchronous read. */
int alsnExecLinkEx(const char* address, const char* property, DTYPE* dout, DTYPE* din, short access, int timeout,
                   int* ignored);

/* Subscriptions. AttachLinkEx2 returns a link id (>= 0) or a negative error. */
int AttachLinkEx2(const char* address, const char* property, DTYPE* dout, DTYPE* din, short access, int rate,
                  ZANT_CALLBACK callback, int mode, int callbackId, void* reference);
int SetSubscriptionRenewalThreshold(int link, int threshold);
int GetDataFromCallbackId(int id, DTYPE* dout, short* ignored);
int CloseLink(int link);

/* Texts and log. */
int GetErrorListSize(void);
const char* cc2str(int code);
const char* GetSystemVersionString(void);
int feclog(const char* format, ...) __attribute__((format(printf, 1, 2)));

#ifdef __cplusplus
}
#endif

#endif /* ZANT_H */
