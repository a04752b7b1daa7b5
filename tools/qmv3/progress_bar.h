// A progress bar on standard error for the library's long operations. The library publishes its
// progress as a double from 0.0 to 1.0; a thread of the bar reads it every 100 ms and redraws one line.
// Nothing is drawn when standard error is not a terminal (or QMV3_PROGRESS=0), so logs and pipes stay
// clean. Threads: the library writes the value on the calling thread, the bar only reads it.
#ifndef QMV3_TOOL_PROGRESS_BAR_H
#define QMV3_TOOL_PROGRESS_BAR_H

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace qmv3tool {

class ProgressBar {
  public:
    // label: what runs ("saving run.imc2"); value: the library's progress, set to 0.0 here.
    ProgressBar(const std::string& label, double* value);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Removes the bar from the screen; the destructor does the same.
    void Finish();

  private:
    void Run();
    void Draw(double fraction);

    std::string label_;
    const volatile double* value_;
    bool enabled_;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

// Whether progress bars are drawn: standard error is a terminal and QMV3_PROGRESS is not "0".
bool ProgressBarsEnabled();

// Renders one bar line without a carriage return, e.g. "saving x [#####     ]  50%"; width in cells.
std::string RenderProgressLine(const std::string& label, double fraction, int width);

}  // namespace qmv3tool

#endif
