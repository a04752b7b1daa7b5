/*
 * Simulation control of the control-system stand-in, for tests, demos and benchmarks.
 *
 * The stand-in serves simulated video servers (see docs/guide.md: the default camera /SIM/CAMSERVER/CAM0 and the
 * configuration file named by ZANTSIM_CONFIG). These calls script its answers and faults and read back a
 * journal of the control-system calls made. Scripts stay in force until zantsim_Reset, unless a call says
 * it counts down. All calls are thread-safe; none may be made from inside a delivery callback except the
 * journal and count queries.
 *
 * Frames come from the scene model by default (see zantsim_RenderScene), from a fixed test pattern
 * (source="pattern" in the configuration file), or from a recorded file (source="replay").
 * Test pattern (frame number n, pixel column x, row y, channel c):
 *   value = (x + 2*y + 3*n + 85*c) masked to the property's effective bits;
 * GRAY with 2 bytes per pixel is stored least significant byte first, RGB as red, green, blue.
 */
#ifndef ZANTSIM_H
#define ZANTSIM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct DIMAGE; /* the 200-byte image record of the library's public header */

#define ZANTSIM_DEFAULT_ADDRESS "/SIM/CAMSERVER/CAM0"
#define ZANTSIM_CONFIG_ENV "ZANTSIM_CONFIG"

/* Completion codes the stand-in itself returns. */
#define ZANTSIM_CC_LINK_ERROR 1
#define ZANTSIM_CC_OUT_OF_RANGE 2
#define ZANTSIM_CC_ILLEGAL_FORMAT 6
#define ZANTSIM_CC_ILLEGAL_PROPERTY 7
#define ZANTSIM_CC_NO_SUCH_DEVICE 12
#define ZANTSIM_CC_TIMEOUT 17
#define ZANTSIM_CC_INVALID_LINK 21
#define ZANTSIM_CC_BUFFER_TOO_SMALL 23
#define ZANTSIM_CC_INVALID_ARGUMENT 31
#define ZANTSIM_CC_CALLBACK_NOT_FOUND 48
#define ZANTSIM_CC_HAS_STRUCTURED_DATA 62
/* The answer of every request to a replayed property whose file could not be loaded. */
#define ZANTSIM_CC_REPLAY_UNAVAILABLE 63

/* Stops every subscription (joining its delivery thread, whatever CloseLink is scripted to do), clears all
 * scripts, queued frames and the journal, and loads the devices again: the file named by ZANTSIM_CONFIG,
 * or the default camera. */
void zantsim_Reset(void);

/* Serves the devices of a configuration file (null: the default camera). Returns 0, or -1 when the file
 * is malformed; then the default camera is served and the problem is written once to standard error. */
int zantsim_LoadConfiguration(const char* path);

/* Property query. listenerCode: 0 answers from the device model, otherwise getPropertyInfoFromListenerEx
 * fails with it. propsCode / olderPropsCode: 0 answers the "PROPS" query in the current / older form,
 * otherwise that form fails with the code (2 or 62 make the library ask again in the older form).
 * A "PROPS" query without a property name, into a CF_TEXT container, lists the device's property names
 * (each ended by '\n', NUL-terminated); a non-zero propsCode makes it fail too. */
void zantsim_ScriptPropertyQuery(int listenerCode, int propsCode, int olderPropsCode);
/* Reports this element count and format for every property instead of the model's. */
void zantsim_ScriptPropertyInfo(int elementCount, int format);

/* Synchronous reads fail `failures` times with `code`, then succeed; failures < 0: always fail. */
void zantsim_ScriptReads(int failures, int code);

/* AttachLinkEx2 returns `result` when it is negative; 0 restores normal links. */
void zantsim_ScriptAttach(int result);

/* One step of a delivery script. */
enum { ZANTSIM_STEP_DELIVER = 0, ZANTSIM_STEP_PAUSE = 1, ZANTSIM_STEP_STOP = 2 };
typedef struct ZANTSIM_STEP {
    int kind;              /* ZANTSIM_STEP_* */
    uint32_t frameNumber;  /* DELIVER: number of the frame; 0: the property's next number */
    int completionCode;    /* DELIVER: code handed to the callback; non-zero: no frame is written */
    int pauseMilliseconds; /* PAUSE: time without deliveries */
} ZANTSIM_STEP;
/* Every subscription attached afterwards plays these steps, one DELIVER per access-rate period; after
 * the last step it delivers the property's next frames; a STOP step ends deliveries until the link
 * closes. At most 4096 steps; returns 0, or ZANTSIM_CC_INVALID_ARGUMENT. */
int zantsim_ScriptDeliveries(const ZANTSIM_STEP* steps, int count);

/* CloseLink fails `failures` times with `code` (counting down), then closes; failures < 0: never closes. */
void zantsim_ScriptCloseLink(int failures, int code);
/* Results of SetSubscriptionRenewalThreshold, GetDataFromCallbackId (non-zero codes only; 0 restores the
 * normal answer), _SystemAssignBufferSpace, OpenIpcPipe and CloseIpcPipe. */
void zantsim_ScriptRenewalThreshold(int code);
void zantsim_ScriptGetData(int code);
void zantsim_ScriptBufferSpace(int code);
void zantsim_ScriptPipe(int openCode, int closeCode);

/* Queues a copy of a record (header and its appendedFrameSize bytes) to be served, in order, by the next
 * reads and deliveries of any property, before generated frames. Returns 0, or ZANTSIM_CC_INVALID_ARGUMENT
 * for a null record, a missing frame buffer or a size above 104857600 bytes. */
int zantsim_QueueFrame(const struct DIMAGE* image);

/* One journal entry: a call made of the stand-in. Texts are cut to fit and always NUL-terminated. */
typedef struct ZANTSIM_CALL {
    char function[40]; /* e.g. "AttachLinkEx2" */
    char address[136];
    char property[72];
    char input[72];       /* text of the input container (the property name of a "PROPS" query) */
    uint32_t arrayLength; /* array length of the output container as requested */
    int format;           /* format of the output container as requested */
    int access;           /* access or access mode */
    int mode;             /* subscription mode */
    int rate;             /* timeout or access rate in milliseconds */
    int link;             /* link id given or returned */
    int result;           /* completion code or link id returned */
} ZANTSIM_CALL;
/* The journal keeps at least the latest 50000 entries: at 100000 the older half is dropped. */
int zantsim_JournalSize(void);
/* Copies entry `index` (0 = oldest); returns 1, or 0 when there is no such entry. */
int zantsim_JournalEntry(int index, ZANTSIM_CALL* call);
/* Index of the first entry at or after `from` made by `function`, or -1. */
int zantsim_JournalFind(const char* function, int from);
void zantsim_ClearJournal(void);

/* Subscriptions not yet closed, and delivery threads still running. */
int zantsim_OpenLinkCount(void);
int zantsim_DeliveryThreadCount(void);
/* Callbacks made so far by all subscriptions (including those with a non-zero code). */
uint32_t zantsim_CallbackCount(void);

/* The scene model: a drifting, fluctuating elliptical beam spot on a dim screen with a faint graticule,
 * with dark offset, fixed-pattern noise, shot and read noise, hot pixels and clipping. A frame depends
 * only on the settings and the frame number. */
enum { ZANTSIM_NOISE_NONE = 0, ZANTSIM_NOISE_LOW = 1, ZANTSIM_NOISE_NORMAL = 2, ZANTSIM_NOISE_HIGH = 3 };
typedef struct ZANTSIM_SCENE {
    int width, height; /* 1 .. 65535 */
    int format;        /* 0 GRAY, 1 RGB */
    int bytesPerPixel; /* GRAY 1 or 2 (least significant byte first), RGB 3 */
    int effectiveBits; /* GRAY: full scale is 2^effectiveBits - 1 (at most 16); RGB: 8 bits a channel */
    uint32_t seed;
    double spotSigma; /* standard deviation of the spot along its major axis, pixels; 0: smaller side / 30 */
    double spotPeak;  /* mean value at the spot's centre, fraction of full scale */
    int noise;        /* ZANTSIM_NOISE_* */
} ZANTSIM_SCENE;
/* The settings of the default camera's "Frame": 640 x 480 GRAY 8-bit, seed 1, spotSigma 0 (16 pixels),
 * spotPeak 1.02, normal noise. */
void zantsim_DefaultScene(ZANTSIM_SCENE* scene);
/* Renders frame `frameNumber` into `out` (`size` bytes, at least width * height * bytesPerPixel).
 * Returns 0, or ZANTSIM_CC_INVALID_ARGUMENT for null pointers, invalid settings or too little room, or
 * 22 (out of client memory). */
int zantsim_RenderScene(const ZANTSIM_SCENE* scene, uint32_t frameNumber, void* out, size_t size);
/* Centre of the spot of frame `frameNumber` (pixels; the top left pixel spans 0..1) and its mean value
 * there (full-scale units, before clipping); any output may be null. Returns 0 or
 * ZANTSIM_CC_INVALID_ARGUMENT. */
int zantsim_SceneSpot(const ZANTSIM_SCENE* scene, uint32_t frameNumber, double* x, double* y, double* peak);

#ifdef __cplusplus
}
#endif

#endif /* ZANTSIM_H */
