// "qmv3 view": a camera or a file in the browser. A stream with the newest-frame policy feeds one
// producing thread, which renders at most kShownPerSecond frames a second, once each whatever the
// number of pages; the pages get them from the server as events. A file is rendered image by image as
// the page asks. SIGINT and SIGTERM stop the server within a second.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "command.h"
#include "interrupt.h"
#include "sequence_io.h"
#include "view_render.h"
#include "view_server.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {
    {"address", 'a', true}, {"property", 'p', true}, {"rate", 'r', true},
    {"port", 0, true},      {"listen", 0, true},     {"palette", 0, true},
};

constexpr int kShownPerSecond = 10;
constexpr int kWaitMilliseconds = 200;

struct ViewRequest {
    std::string address = "/SIM/CAMSERVER/CAM0";
    std::string property = "Frame";
    int rateMilliseconds = 100;
    int port = 0;
    std::string listen = "127.0.0.1";
    Palette palette = Palette::kGray;
    std::string file;
};

bool ReadRequest(const Arguments& arguments, ViewRequest& request, int& status) {
    const Command& command = kViewCommand;
    long number = 0;
    if (const char* address = arguments.Value("address")) request.address = address;
    if (const char* property = arguments.Value("property")) request.property = property;
    if (const char* rate = arguments.Value("rate")) {
        if (!ParseNumber(rate, 1, 60000, number)) {
            status = UsageError(command, "--rate needs milliseconds from 1 to 60000, not '%s'", rate);
            return false;
        }
        request.rateMilliseconds = static_cast<int>(number);
    }
    if (const char* port = arguments.Value("port")) {
        if (!ParseNumber(port, 0, 65535, number)) {
            status = UsageError(command, "--port needs a port from 0 to 65535 (0: a free one), not '%s'", port);
            return false;
        }
        request.port = static_cast<int>(number);
    }
    if (const char* listen = arguments.Value("listen")) request.listen = listen;
    if (const char* palette = arguments.Value("palette"); palette && !ParsePalette(palette, request.palette)) {
        status = UsageError(command, "--palette is gray, false or jet, not '%s'", palette);
        return false;
    }
    if (!arguments.Positionals().empty()) request.file = arguments.Positionals()[0];
    if (!request.file.empty() && (arguments.Has("address") || arguments.Has("property") || arguments.Has("rate"))) {
        status = UsageError(command, "a FILE is shown instead of a camera: --address, --property and --rate do not apply");
        return false;
    }
    return true;
}

// The camera's side: one thread takes every frame from the stream as it comes and keeps only the
// newest; another renders that one when it is time to show a frame. A slow rendering (a busy machine,
// a sanitizer build) thus never fills the stream's queue: the frames it skips are given back at once.
class CameraProducer {
  public:
    CameraProducer(ViewHub& hub, QMV3_STREAM* stream) : hub_(hub), stream_(stream) {}

    void Run() {
        std::thread rendering([this] { RenderNewest(); });
        auto second = std::chrono::steady_clock::now();
        unsigned received = 0;
        while (!hub_.Stopping()) {
            DIMAGE* frame = nullptr;
            const int result = qmStreamNext(stream_, kWaitMilliseconds, &frame);
            const auto now = std::chrono::steady_clock::now();
            if (now - second >= std::chrono::seconds(1)) {
                SetRate(received * 1000.0 / std::chrono::duration<double, std::milli>(now - second).count());
                received = 0;
                second = now;
            }
            if (result == QMV3_STREAM_CLOSED) break;
            if (result != QMV3_STREAM_OK) {
                SetState(result == QMV3_STREAM_LINK_LOST ? "link lost, resubscribing" : "waiting for frames");
                continue;
            }
            ++received;
            SetState("live");
            DIMAGE* older = nullptr;
            {
                std::lock_guard<std::mutex> lock(newestMutex_);
                older = newest_;
                newest_ = frame;
            }
            newestChanged_.notify_one();
            if (older != nullptr) qmStreamRelease(stream_, older);
        }
        {
            std::lock_guard<std::mutex> lock(newestMutex_);
            producing_ = false;
        }
        newestChanged_.notify_one();
        rendering.join();
        if (newest_ != nullptr) qmStreamRelease(stream_, newest_);
        newest_ = nullptr;
    }

    std::string Status() {
        QMV3_STREAM_STATISTICS statistics;
        std::memset(&statistics, 0, sizeof statistics);
        statistics.size = sizeof statistics;
        qmStreamGetStatistics(stream_, &statistics);
        std::lock_guard<std::mutex> lock(mutex_);
        char text[400];
        std::snprintf(text, sizeof text,
                      "{\"state\":\"%s\",\"delivered\":%llu,\"handed_out\":%llu,\"drops\":%llu,\"gaps\":%llu,"
                      "\"link_losses\":%llu,\"queue_high_water\":%u,\"fps_received\":%.2f,\"shown\":%llu}",
                      state_.c_str(), statistics.delivered, statistics.handedOut, statistics.droppedQueueFull,
                      statistics.gaps, statistics.linkLosses, statistics.queueHighWater, rate_,
                      static_cast<unsigned long long>(shown_));
        return text;
    }

  private:
    // Shows the newest frame at most kShownPerSecond times a second, until the producer ends.
    void RenderNewest() {
        auto nextShow = std::chrono::steady_clock::now();
        for (;;) {
            DIMAGE* frame = nullptr;
            {
                std::unique_lock<std::mutex> lock(newestMutex_);
                newestChanged_.wait(lock, [this] { return newest_ != nullptr || !producing_; });
                if (!producing_) return;
                if (std::chrono::steady_clock::now() < nextShow) {
                    // Too early: wait for the time, then take whatever is newest by then.
                    newestChanged_.wait_until(lock, nextShow, [this] { return !producing_; });
                    if (!producing_) return;
                }
                frame = newest_;
                newest_ = nullptr;
            }
            nextShow = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000 / kShownPerSecond);
            Show(*frame);
            qmStreamRelease(stream_, frame);
        }
    }

    void Show(const DIMAGE& frame) {
        RenderedView view;
        std::string message;
        if (!renderer_.Render(frame, hub_.Settings(), view, message)) {
            SetState(message.c_str());
            return;
        }
        QMV3_STREAM_STATISTICS statistics;
        std::memset(&statistics, 0, sizeof statistics);
        statistics.size = sizeof statistics;
        qmStreamGetStatistics(stream_, &statistics);
        char extra[200];
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++shown_;
            std::snprintf(extra, sizeof extra, "\"fps_received\":%.2f,\"drops\":%llu,\"gaps\":%llu,", rate_,
                          statistics.droppedQueueFull, statistics.gaps);
        }
        hub_.Publish(ViewJson(frame, view, UtcText(frame), extra));
    }

    void SetState(const char* state) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = state;
    }

    void SetRate(double rate) {
        std::lock_guard<std::mutex> lock(mutex_);
        rate_ = rate;
    }

    ViewHub& hub_;
    QMV3_STREAM* stream_;
    ViewRenderer renderer_;
    std::mutex mutex_;  // guards state_, rate_ and shown_, read by the server's threads
    std::string state_ = "starting";
    double rate_ = 0.0;
    unsigned long long shown_ = 0;
    std::mutex newestMutex_;  // guards newest_ and producing_
    std::condition_variable newestChanged_;
    DIMAGE* newest_ = nullptr;  // the newest frame taken from the stream and not yet shown
    bool producing_ = true;
};

// Serves until SIGINT or SIGTERM; the producer (if any) runs meanwhile on its own thread.
int Serve(const ViewRequest& request, ViewHub& hub, ViewSource source, const std::function<void()>& produce) {
    const Command& command = kViewCommand;
    const std::string token = RandomToken();
    if (token.empty()) return Failure(command, "the system gave no random bytes for the page's token");
    InterruptScope interrupt;
    ViewServer server(hub, std::move(source), token);
    const int port = server.Bind(request.listen, request.port);
    if (port < 0)
        return Failure(command, "cannot listen on %s port %d (%s)", request.listen.c_str(), request.port,
                       std::strerror(errno));
    if (request.listen != "127.0.0.1" && request.listen != "localhost" && request.listen != "::1")
        std::fprintf(stderr,
                     "qmv3 view: warning: listening on %s, not only this machine; anyone who learns the address "
                     "below can watch\n",
                     request.listen.c_str());
    const std::string host = request.listen.find(':') != std::string::npos ? "[" + request.listen + "]" : request.listen;
    std::printf("http://%s:%d/?token=%s\n", host.c_str(), port, token.c_str());
    std::fflush(stdout);
    std::thread serving([&server] { server.Serve(); });
    std::thread producing;
    if (produce) producing = std::thread(produce);
    while (!interrupt.Interrupted()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    hub.Stop();
    server.Stop();
    serving.join();
    if (producing.joinable()) producing.join();
    std::fprintf(stderr, "qmv3 view: stopped\n");
    return kExitSuccess;
}

int ViewCamera(const ViewRequest& request, ViewHub& hub) {
    const Command& command = kViewCommand;
    QMV3_STREAM_OPTIONS options;
    std::memset(&options, 0, sizeof options);
    options.size = sizeof options;
    options.rateMilliseconds = request.rateMilliseconds;
    // Room for a few frames on a busy machine; beyond the queue, the newest frame kept and the one being
    // rendered.
    options.queueLength = 8;
    options.spareBuffers = 3;
    options.policy = QMV3_STREAM_KEEP_NEWEST;
    options.decompress = 1;
    QMV3_STREAM* stream = nullptr;
    int zantCode = 0;
    const int opened = qmStreamOpen(&stream, request.address.c_str(), request.property.c_str(), &options, &zantCode);
    if (opened != QMV3_STREAM_OK)
        return Failure(command, "cannot watch %s %s (stream result %d, control-system code %d)",
                       request.address.c_str(), request.property.c_str(), opened, zantCode);
    CameraProducer producer(hub, stream);
    ViewSource source;
    source.live = true;
    source.title = request.address + " " + request.property;
    source.status = [&producer] { return producer.Status(); };
    const int status = Serve(request, hub, std::move(source), [&producer] { producer.Run(); });
    qmStreamClose(stream);
    return status;
}

int ViewFile(const ViewRequest& request, ViewHub& hub) {
    const Command& command = kViewCommand;
    Sequence sequence;
    std::string message;
    if (!LoadSequence(request.file, sequence, message)) return Failure(command, "%s", message.c_str());
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s", message.c_str());
    if (sequence.size() == 0) return Failure(command, "%s holds no images", request.file.c_str());
    // Pages ask for images one at a time; the last one rendered is kept, so several pages on the same
    // image cost one rendering.
    struct Cache {
        std::mutex mutex;
        ViewRenderer renderer;
        uint32_t index = ~0u;
        uint64_t version = ~0ull;
        std::string json;
    } cache;
    ViewSource source;
    source.live = false;
    source.title = request.file;
    source.frameCount = sequence.size();
    source.frame = [&](uint32_t index, std::string& json, std::string& failure) {
        const ViewSettings settings = hub.Settings();
        std::lock_guard<std::mutex> lock(cache.mutex);
        if (cache.index != index || cache.version != settings.version) {
            RenderedView view;
            if (!cache.renderer.Render(sequence[index], settings, view, failure)) return false;
            cache.json = ViewJson(sequence[index], view, UtcText(sequence[index]), "\"position\":" + std::to_string(index + 1) + ",");
            cache.index = index;
            cache.version = settings.version;
        }
        json = cache.json;
        return true;
    };
    return Serve(request, hub, std::move(source), nullptr);
}

int RunView(const Arguments& arguments) {
    ViewRequest request;
    int status = kExitSuccess;
    if (!ReadRequest(arguments, request, status)) return status;
    ViewHub hub;
    hub.ChangeSettings([&](ViewSettings& settings) { settings.palette = request.palette; });
    return request.file.empty() ? ViewCamera(request, hub) : ViewFile(request, hub);
}

}  // namespace

const Command kViewCommand = {
    "view",
    "[--address A] [--property P] [--rate MS] [--port N] [--listen HOST] [--palette gray|false|jet] [FILE]",
    "shows a camera, or a file's images, in the browser",
    "  -a, --address A   the device (default /SIM/CAMSERVER/CAM0)\n"
    "  -p, --property P  the frame property (default Frame)\n"
    "  -r, --rate MS     access rate in milliseconds (default 100)\n"
    "      --port N      the port to listen on (default 0: a free one)\n"
    "      --listen HOST the address to listen on (default 127.0.0.1, this machine only; another one\n"
    "                    prints a warning)\n"
    "      --palette P   gray (default), false or jet\n"
    "\n"
    "Prints the page's address, http://127.0.0.1:PORT/?token=..., and serves it until Ctrl-C or SIGTERM.\n"
    "The page shows the newest frame (at most 10 a second), its histogram and spot statistics with the\n"
    "centroid and the 1-sigma ellipse over the image; drag on the image to choose the region measured.\n"
    "With FILE instead of a camera: play, pause, step and a slider over the file's images. Every request\n"
    "needs the token in the address; at most 8 pages at once. From another machine, forward the port\n"
    "through SSH (ssh -L PORT:127.0.0.1:PORT host) and open the printed address there.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    0,
    1,
    RunView,
};

}  // namespace qmv3tool
