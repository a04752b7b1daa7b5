// The counting semaphore (a mutex, a condition variable and a bounded count) and the thread wrapper.
//
// Thread rules: the semaphore functions may be called from any thread; the mutex is held only for the
// count update and the condition wait. Deleting a semaphore does not wake its waiters, so nobody may
// wait on it any more.
#include <errno.h>
#include <pthread.h>
#include <time.h>

#include <cstdio>
#include <new>

#include "platform/platform.h"
#include "platform/platform_assert.h"

namespace {

struct Semaphore {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    int32_t count;
    int32_t maximum;
};

struct Thread {
    pthread_t id;
    pthread_attr_t attributes;
};

// The absolute wall-clock deadline `timeout` milliseconds from now.
struct timespec deadlineAfter(uint32_t timeout) {
    PLF_TIME now;
    platformTimeGet(now);
    uint64_t seconds = now.seconds + timeout / 1000;
    uint32_t milliseconds = now.milliseconds + timeout % 1000;
    if (milliseconds >= 1000) {
        milliseconds -= 1000;
        seconds += 1;
    }
    struct timespec deadline;
    deadline.tv_sec = static_cast<time_t>(seconds);
    deadline.tv_nsec = static_cast<long>(milliseconds) * 1000000L;
    return deadline;
}

}  // namespace

HANDLE platformCreateSemaphore(uint16_t initial_count, uint16_t maximum_count) {
    PLATFORM_ASSERT(initial_count <= maximum_count, "initial_count <= maximum_count");
    Semaphore* semaphore = new (std::nothrow) Semaphore;
    if (semaphore == nullptr) return nullptr;
    if (pthread_mutex_init(&semaphore->mutex, nullptr) != 0) {
        delete semaphore;
        return nullptr;
    }
    if (pthread_cond_init(&semaphore->condition, nullptr) != 0) {
        pthread_mutex_destroy(&semaphore->mutex);
        delete semaphore;
        return nullptr;
    }
    semaphore->count = initial_count;
    semaphore->maximum = maximum_count;
    return semaphore;
}

bool platformWaitForSemaphore(HANDLE semaph, uint32_t timeout) {
    Semaphore* semaphore = static_cast<Semaphore*>(semaph);
    if (semaphore == nullptr || pthread_mutex_lock(&semaphore->mutex) != 0) return false;
    int result = 0;
    if (timeout == 0) {
        while (semaphore->count <= 0 && (result == 0 || result == EINTR)) {
            result = pthread_cond_wait(&semaphore->condition, &semaphore->mutex);
        }
    } else {
        struct timespec deadline = deadlineAfter(timeout);
        while (semaphore->count <= 0 && (result == 0 || result == EINTR)) {
            result = pthread_cond_timedwait(&semaphore->condition, &semaphore->mutex, &deadline);
        }
    }
    bool taken = semaphore->count > 0 && (result == 0 || result == EINTR);
    if (taken) semaphore->count -= 1;
    pthread_mutex_unlock(&semaphore->mutex);
    return taken;
}

bool platformIsSemaphoreSignalled(HANDLE semaph) {
    PLATFORM_ASSERT(semaph != nullptr, "semaph != __null");
    Semaphore* semaphore = static_cast<Semaphore*>(semaph);
    if (pthread_mutex_lock(&semaphore->mutex) != 0) return false;
    bool taken = semaphore->count > 0;
    if (taken) semaphore->count -= 1;
    pthread_mutex_unlock(&semaphore->mutex);
    return taken;
}

bool platformReleaseSemaphore(HANDLE semaph) {
    Semaphore* semaphore = static_cast<Semaphore*>(semaph);
    if (semaphore == nullptr || pthread_mutex_lock(&semaphore->mutex) != 0) return false;
    if (semaphore->count >= semaphore->maximum) {
        pthread_mutex_unlock(&semaphore->mutex);
        return false;
    }
    semaphore->count += 1;
    pthread_mutex_unlock(&semaphore->mutex);
    return pthread_cond_signal(&semaphore->condition) == 0;
}

bool platformDeleteSemaphore(HANDLE semaph) {
    Semaphore* semaphore = static_cast<Semaphore*>(semaph);
    if (semaphore == nullptr) return false;
    pthread_cond_destroy(&semaphore->condition);
    pthread_mutex_destroy(&semaphore->mutex);
    delete semaphore;
    return true;
}

HANDLE platformCreateThread(PLATFORM_THREAD_FUNCTION start, void* argument) {
    Thread* thread = new (std::nothrow) Thread;
    if (thread == nullptr) return nullptr;
    if (pthread_attr_init(&thread->attributes) != 0) {
        fprintf(stderr, "Platform: pthread_attr_init ERROR.\n");
        delete thread;
        return nullptr;
    }
    if (start == nullptr || pthread_create(&thread->id, &thread->attributes, start, argument) != 0) {
        fprintf(stderr, "Platform: pthread_create ERROR.\n");
        pthread_attr_destroy(&thread->attributes);
        delete thread;
        return nullptr;
    }
    return thread;
}

bool platformDeleteThread(HANDLE thread) {
    Thread* object = static_cast<Thread*>(thread);
    if (object == nullptr) return false;
    // Detached, the thread runs on and gives its resources back when it ends; no one can join it later.
    pthread_detach(object->id);
    pthread_attr_destroy(&object->attributes);
    delete object;
    return true;
}
