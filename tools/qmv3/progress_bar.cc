// A progress bar on standard error for the library's long operations.
#include "progress_bar.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qmv3tool {

namespace {

// The library publishes its progress as a plain double that callers may watch from another thread; a
// torn or stale value only makes the bar lag a step behind, so the reader is not instrumented for races.
__attribute__((no_sanitize("thread"))) double ReadProgress(const volatile double* value) { return *value; }

}  // namespace

bool ProgressBarsEnabled() {
    const char* setting = std::getenv("QMV3_PROGRESS");
    if (setting != nullptr && std::strcmp(setting, "0") == 0) return false;
    return isatty(STDERR_FILENO) == 1;
}

std::string RenderProgressLine(const std::string& label, double fraction, int width) {
    if (!(fraction >= 0.0)) fraction = 0.0;  // also NaN
    if (fraction > 1.0) fraction = 1.0;
    const int filled = static_cast<int>(fraction * width);
    std::string line = label + " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(width - filled), ' ');
    char percent[16];
    std::snprintf(percent, sizeof percent, "] %3d%%", static_cast<int>(fraction * 100.0));
    return line + percent;
}

ProgressBar::ProgressBar(const std::string& label, double* value)
    : label_(label), value_(value), enabled_(ProgressBarsEnabled()) {
    *value = 0.0;
    if (enabled_) thread_ = std::thread(&ProgressBar::Run, this);
}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Finish() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    // Clear the line so that the command's own output starts at the left margin.
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

void ProgressBar::Draw(double fraction) {
    std::fprintf(stderr, "\r%s\033[K", RenderProgressLine(label_, fraction, 30).c_str());
    std::fflush(stderr);
}

void ProgressBar::Run() {
    // Ctrl-C is for the thread that runs the operation and watches the interrupt flag.
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        Draw(ReadProgress(value_));
        wake_.wait_for(lock, std::chrono::milliseconds(100));
    }
}

}  // namespace qmv3tool
