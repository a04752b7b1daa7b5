// Collects the library's log lines written while a LogCapture lives: the log is sent to standard
// error (verbosity 1) and the messages are returned without their time stamp and prefix.
#ifndef QMV3_TESTS_ACQUISITION_LOG_CAPTURE_H
#define QMV3_TESTS_ACQUISITION_LOG_CAPTURE_H

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "qmv3/qmv3.h"

namespace qmv3test {

class LogCapture {
  public:
    LogCapture() {
        qmSetVerbose(1);
        capture_ = std::make_unique<StreamCapture>(2);
    }
    // The messages logged so far; ends the capture.
    std::vector<std::string> End() {
        std::vector<std::string> messages;
        std::istringstream text(capture_->End());
        const std::string marker = "[qmv3 shared lib] ";
        for (std::string line; std::getline(text, line);) {
            const size_t at = line.find(marker);
            if (at != std::string::npos) messages.push_back(line.substr(at + marker.size()));
        }
        return messages;
    }

  private:
    std::unique_ptr<StreamCapture> capture_;
};

// Number of messages that contain `part`.
inline int CountContaining(const std::vector<std::string>& messages, const std::string& part) {
    int count = 0;
    for (const std::string& message : messages) count += message.find(part) != std::string::npos ? 1 : 0;
    return count;
}

}  // namespace qmv3test

#endif
