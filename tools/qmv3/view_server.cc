// The server comes from cpp-httplib (Debian's libcpp-httplib-dev): it parses requests, so this file only
// decides who may ask for what. Frames reach the page as server-sent events: one long response per
// page, one event per frame, always the newest one, so a slow browser skips frames instead of queueing
// them and never holds up the camera's stream.
#include "view_server.h"

#include <sys/random.h>

#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "arguments.h"
#include "view_page.h"

namespace qmv3tool {

namespace {

constexpr int kWorkerThreads = 24;  // kMaxClients event streams, and room for the page's other requests
constexpr auto kWaitStep = std::chrono::milliseconds(250);
// A browser sends a dozen headers of a few hundred bytes; more is no page of ours.
constexpr size_t kMaxHeaders = 64;
constexpr size_t kMaxHeaderBytes = 16384;

const std::set<std::string> kPaths = {"/", "/view.js", "/view.css", "/info", "/events",
                                      "/frame", "/status", "/settings", "/roi"};

// A number parameter within [minimum, maximum]; false when missing or malformed.
bool NumberParameter(const httplib::Request& request, const char* name, long minimum, long maximum, long& value) {
    if (!request.has_param(name)) return false;
    return ParseNumber(request.get_param_value(name).c_str(), minimum, maximum, value);
}

void Refuse(httplib::Response& response, int status, const char* text) {
    response.status = status;
    response.set_content(text, "text/plain; charset=utf-8");
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else {
            json += static_cast<char>(c);
        }
    }
    return json + "\"";
}

}  // namespace

// ---- the hub ----

void ViewHub::Publish(std::string json) {
    auto shared = std::make_shared<const std::string>(std::move(json));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        newest_ = std::move(shared);
        ++sequence_;
    }
    changed_.notify_all();
}

bool ViewHub::WaitNewer(uint64_t& seen, std::shared_ptr<const std::string>& json, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return sequence_ != seen || stopping_.load(); })) return false;
    if (sequence_ == seen || !newest_) return false;
    seen = sequence_;
    json = newest_;
    return true;
}

ViewSettings ViewHub::Settings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
}

void ViewHub::ChangeSettings(const std::function<void(ViewSettings&)>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(settings_);
    ++settings_.version;
}

void ViewHub::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

bool ViewHub::AddClient() {
    int open = clients_.load();
    while (open < kMaxClients)
        if (clients_.compare_exchange_weak(open, open + 1)) return true;
    return false;
}

void ViewHub::RemoveClient() { --clients_; }

// ---- tokens ----

std::string RandomToken() {
    unsigned char bytes[16];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return "";
    std::string token;
    for (unsigned char byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        token += digits;
    }
    return token;
}

bool SameToken(const std::string& given, const std::string& expected) {
    // Every byte of the expected token is compared whatever the given text, so the time taken tells
    // nothing about how much of a guess was right.
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (size_t i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i] ^ (i < given.size() ? given[i] : 0));
    return difference == 0;
}

// ---- the server ----

ViewServer::ViewServer(ViewHub& hub, ViewSource source, std::string token)
    : hub_(hub), source_(std::move(source)), token_(std::move(token)), server_(new httplib::Server) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    server_->set_payload_max_length(4096);
    server_->set_read_timeout(5, 0);
    server_->set_write_timeout(5, 0);
    server_->set_keep_alive_timeout(2);
    server_->set_default_headers({
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
         "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"Cache-Control", "no-store"},
    });
    Route();
}

ViewServer::~ViewServer() = default;

int ViewServer::Bind(const std::string& host, int port) {
    if (port == 0) return server_->bind_to_any_port(host);
    return server_->bind_to_port(host, port) ? port : -1;
}

void ViewServer::Serve() { server_->listen_after_bind(); }

void ViewServer::Stop() { server_->stop(); }

void ViewServer::Route() {
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        if (request.method != "GET") {
            response.set_header("Allow", "GET");
            Refuse(response, 405, "only GET\n");
            return httplib::Server::HandlerResponse::Handled;
        }
        size_t headerBytes = 0;
        for (const auto& header : request.headers) headerBytes += header.first.size() + header.second.size();
        if (request.headers.size() > kMaxHeaders || headerBytes > kMaxHeaderBytes) {
            Refuse(response, 431, "too many or too large headers\n");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (request.has_header("Transfer-Encoding") ||
            (request.has_header("Content-Length") && request.get_header_value("Content-Length") != "0")) {
            Refuse(response, 400, "a GET carries no body\n");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!SameToken(request.get_param_value("token"), token_)) {
            Refuse(response, 403, "forbidden: open the address qmv3 view printed, with its token\n");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (kPaths.count(request.path) == 0) {
            Refuse(response, 404, "not found\n");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server_->Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(ViewPageHtml(token_), "text/html; charset=utf-8");
    });
    server_->Get("/view.js", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kViewScript, "text/javascript; charset=utf-8");
    });
    server_->Get("/view.css", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kViewStyle, "text/css; charset=utf-8");
    });
    server_->Get("/info", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string("{\"live\":") + (source_.live ? "true" : "false") +
                                 ",\"title\":" + JsonString(source_.title) +
                                 ",\"frames\":" + std::to_string(source_.frameCount) + "}",
                             "application/json");
    });
    server_->Get("/status", [this](const httplib::Request&, httplib::Response& response) {
        std::string json = source_.status ? source_.status() : std::string("{}");
        json.insert(1, "\"clients\":" + std::to_string(hub_.Clients()) + (json.size() > 2 ? "," : ""));
        response.set_content(json, "application/json");
    });
    server_->Get("/events", [this](const httplib::Request&, httplib::Response& response) {
        if (!source_.live) return Refuse(response, 404, "a file has no event stream\n");
        if (!hub_.AddClient())
            return Refuse(response, 503, "qmv3 view serves at most 8 pages at once: close one and reload\n");
        auto seen = std::make_shared<uint64_t>(0);
        auto quiet = std::make_shared<int>(0);
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, seen, quiet](size_t, httplib::DataSink& sink) {
                std::shared_ptr<const std::string> json;
                if (hub_.Stopping() || !sink.is_writable()) return false;
                if (hub_.WaitNewer(*seen, json, kWaitStep)) {
                    *quiet = 0;
                    const std::string event = "data: " + *json + "\n\n";
                    return sink.write(event.data(), event.size());
                }
                // A comment now and then finds pages that went away while no frame came.
                if (++*quiet % 4 == 0) return sink.write(":\n\n", 3);
                return true;
            },
            [this](bool) { hub_.RemoveClient(); });
    });
    server_->Get("/frame", [this](const httplib::Request& request, httplib::Response& response) {
        long index = 0;
        if (source_.live || source_.frameCount == 0) return Refuse(response, 404, "no frames on request\n");
        if (!NumberParameter(request, "i", 0, static_cast<long>(source_.frameCount) - 1, index))
            return Refuse(response, 400, "i must be an image index within the file\n");
        std::string json, message;
        if (!source_.frame(static_cast<uint32_t>(index), json, message))
            return Refuse(response, 500, (message + "\n").c_str());
        response.set_content(json, "application/json");
    });
    server_->Get("/settings", [this](const httplib::Request& request, httplib::Response& response) {
        Palette palette = Palette::kGray;
        const bool hasPalette = request.has_param("palette");
        if (hasPalette && !ParsePalette(request.get_param_value("palette").c_str(), palette))
            return Refuse(response, 400, "palette is gray, false or jet\n");
        long low = 0, high = 0;
        const bool fixed = request.get_param_value("limits") == "fixed";
        if (fixed && (!NumberParameter(request, "low", 0, 65535, low) || !NumberParameter(request, "high", 0, 65535, high)))
            return Refuse(response, 400, "fixed limits need low and high from 0 to 65535\n");
        hub_.ChangeSettings([&](ViewSettings& settings) {
            if (hasPalette) settings.palette = palette;
            if (request.has_param("limits")) settings.automaticLimits = !fixed;
            if (fixed) {
                settings.low = static_cast<uint32_t>(low);
                settings.high = static_cast<uint32_t>(high);
            }
        });
        response.set_content("{}", "application/json");
    });
    server_->Get("/roi", [this](const httplib::Request& request, httplib::Response& response) {
        long x = 0, y = 0, width = 0, height = 0;
        if (!NumberParameter(request, "x", 0, 65535, x) || !NumberParameter(request, "y", 0, 65535, y) ||
            !NumberParameter(request, "w", 0, 65535, width) || !NumberParameter(request, "h", 0, 65535, height))
            return Refuse(response, 400, "a region needs x, y, w and h from 0 to 65535 (w = 0: the whole frame)\n");
        hub_.ChangeSettings([&](ViewSettings& settings) {
            settings.roiX = static_cast<int>(x);
            settings.roiY = static_cast<int>(y);
            settings.roiWidth = static_cast<int>(width);
            settings.roiHeight = static_cast<int>(height);
        });
        response.set_content("{}", "application/json");
    });
}

}  // namespace qmv3tool
