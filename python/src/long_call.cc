// Long library calls on a helper thread (see long_call.h).
#include "long_call.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "errors.h"
#include "library_lock.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

// How often the calling thread looks at signals and progress while the library works.
constexpr std::chrono::milliseconds kPollInterval(20);

}  // namespace

LongCall::LongCall(py::object progress, long timeLimitMs) : callback_(std::move(progress)), timeLimitMs_(timeLimitMs) {
    if (callback_.is_none()) callback_ = py::object();
}

LongCall::~LongCall() = default;

void LongCall::Run(const std::function<void()>& work) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    const auto start = std::chrono::steady_clock::now();
    std::thread helper;
    bool started = true;
    {
        py::gil_scoped_release release;
        try {
            helper = std::thread([&] {
                {
                    std::lock_guard<std::mutex> library(LibraryMutex());
                    work();
                }
                std::lock_guard<std::mutex> guard(mutex);
                done = true;
                finished.notify_all();
            });
        } catch (const std::system_error&) {
            started = false;
        }
    }
    if (!started) RaiseError("no thread could be started for the library call");
    for (;;) {
        bool complete;
        {
            py::gil_scoped_release release;
            std::unique_lock<std::mutex> guard(mutex);
            complete = finished.wait_for(guard, kPollInterval, [&] { return done; });
        }
        if (complete) break;
        if (timeLimitMs_ >= 0 && !timedOut_ &&
            std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeLimitMs_)) {
            timedOut_ = true;
            __atomic_store_n(&interrupt_, 1, __ATOMIC_RELAXED);
        }
        Poll();
    }
    {
        py::gil_scoped_release release;
        helper.join();
    }
}

void LongCall::Poll() {
    if (Stopped()) return;
    if (PyErr_CheckSignals() != 0) {
        Stop();
        return;
    }
    if (!callback_) return;
    double value;
    __atomic_load(&progress_, &value, __ATOMIC_RELAXED);
    if (value <= reported_) return;
    reported_ = value;
    try {
        callback_(value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value));
    } catch (py::error_already_set& error) {
        error_.reset(new py::error_already_set(std::move(error)));
        __atomic_store_n(&interrupt_, 1, __ATOMIC_RELAXED);
    }
}

void LongCall::Stop() {
    error_.reset(new py::error_already_set());
    __atomic_store_n(&interrupt_, 1, __ATOMIC_RELAXED);
}

void LongCall::Rethrow() {
    std::unique_ptr<py::error_already_set> error = std::move(error_);
    throw py::error_already_set(std::move(*error));
}

void LongCall::ReportDone() {
    if (!callback_ || Stopped() || reported_ >= 1.0) return;
    reported_ = 1.0;
    callback_(1.0);
}

}  // namespace qmv3py
