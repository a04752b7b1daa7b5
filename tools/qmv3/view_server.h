// The live view's web server: one page with its script and styles, a stream of the newest rendered
// frame as server-sent events (camera), single frames on request (file), and the page's settings.
// Every request must carry the token; only GET; at most kMaxClients event streams at once.
//
// Threads: the server's worker threads answer requests; the producer (camera or file) publishes into
// the ViewHub, which alone holds state shared between them, under its mutex.
#ifndef QMV3_TOOL_VIEW_SERVER_H
#define QMV3_TOOL_VIEW_SERVER_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "view_render.h"

namespace httplib {
class Server;
}

namespace qmv3tool {

class ViewHub {
  public:
    // The newest frame as the page's JSON; clients that have not sent it yet wake up.
    void Publish(std::string json);
    // Waits up to timeout for a frame newer than seen; true with it (seen advanced).
    bool WaitNewer(uint64_t& seen, std::shared_ptr<const std::string>& json, std::chrono::milliseconds timeout);

    ViewSettings Settings() const;
    void ChangeSettings(const std::function<void(ViewSettings&)>& change);

    void Stop();
    bool Stopping() const { return stopping_.load(); }

    // Event streams open now; false when kMaxClients are open already.
    bool AddClient();
    void RemoveClient();
    int Clients() const { return clients_.load(); }
    static constexpr int kMaxClients = 8;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<const std::string> newest_;
    uint64_t sequence_ = 0;
    ViewSettings settings_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> clients_{0};
};

// What the server asks of its source of frames.
struct ViewSource {
    bool live = true;         // camera: frames as events; file: frames on request
    std::string title;        // the address and property, or the file's name
    uint32_t frameCount = 0;  // file: images in the file
    // File: the JSON of image index (from 0) with the current settings; false with a message.
    std::function<bool(uint32_t index, std::string& json, std::string& message)> frame;
    // Camera: the JSON of the stream's counters.
    std::function<std::string()> status;
};

class ViewServer {
  public:
    ViewServer(ViewHub& hub, ViewSource source, std::string token);
    ~ViewServer();
    ViewServer(const ViewServer&) = delete;
    ViewServer& operator=(const ViewServer&) = delete;

    // Binds host:port (port 0: a free one); the port bound, or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop; call on a thread of its own.
    void Serve();
    void Stop();

  private:
    void Route();

    ViewHub& hub_;
    ViewSource source_;
    std::string token_;
    std::unique_ptr<httplib::Server> server_;
};

// A random token of 32 hexadecimal digits from the system's random source; empty when there is none.
std::string RandomToken();
// Whether the two texts are equal, in a time that does not depend on where they differ.
bool SameToken(const std::string& given, const std::string& expected);

}  // namespace qmv3tool

#endif
