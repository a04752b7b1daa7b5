// Long library calls (load, save, grab, decompression) as Python users expect them: the library works on
// a helper thread without the GIL, while the calling thread waits in short steps, calls the progress
// callback with the fraction the library publishes, and runs Python's signal handlers. When one of them
// raises (Ctrl-C gives KeyboardInterrupt) or the callback raises, or the time limit passes, the calling
// thread sets the library's interrupt flag and waits until the call has stopped and cleaned up; the
// caller then releases what it owns and re-raises the exception with Rethrow().
#ifndef QMV3_PYTHON_LONG_CALL_H
#define QMV3_PYTHON_LONG_CALL_H

#include <pybind11/pybind11.h>

#include <functional>
#include <memory>

namespace qmv3py {

class LongCall {
  public:
    // progress: None or a callable taking one float; timeLimitMs < 0: no time limit.
    explicit LongCall(pybind11::object progress, long timeLimitMs = -1);
    ~LongCall();
    LongCall(const LongCall&) = delete;
    LongCall& operator=(const LongCall&) = delete;

    // The flag and the progress value the library is given; both live as long as this object.
    int* Interrupt() { return &interrupt_; }
    double* Progress() { return &progress_; }

    // Runs work on a helper thread, holding the library lock there, and returns when it is done.
    void Run(const std::function<void()>& work);

    // A Python exception stopped the call; Rethrow() raises it.
    bool Stopped() const { return error_ != nullptr; }
    bool TimedOut() const { return timedOut_; }
    // The exception that stopped the call is KeyboardInterrupt (Ctrl-C).
    bool StoppedByKeyboardInterrupt() const { return error_ != nullptr && error_->matches(PyExc_KeyboardInterrupt); }
    // Drops the exception that stopped the call, for a call that answers Ctrl-C with its result.
    void Forget() { error_.reset(); }
    [[noreturn]] void Rethrow();

    // Tells the callback that the call is complete (1.0), unless it was stopped.
    void ReportDone();

  private:
    void Poll();
    void Stop();

    pybind11::object callback_;
    long timeLimitMs_;
    int interrupt_ = 0;
    double progress_ = 0.0;
    double reported_ = -1.0;
    bool timedOut_ = false;
    std::unique_ptr<pybind11::error_already_set> error_;
};

}  // namespace qmv3py

#endif
