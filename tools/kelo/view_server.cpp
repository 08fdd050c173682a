// SPDX-License-Identifier: Apache-2.0
#include "view_server.h"

#include <httplib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "view_assets.h"

namespace kelo::cli {
namespace {

using namespace std::chrono_literals;

// Events go to a page at most this often ...
constexpr auto kFrameInterval = 100ms;
// ... and at least this often, so silence shows and dead pages are found.
constexpr auto kFrameAtLeast = 1000ms;
// Leaving sync mode drains the batches in flight before the image is taken.
constexpr auto kImageWait = 20s;
// Asked of the page's image requests: a cross-site form cannot set it, so
// other web sites cannot make the viewer leave sync mode.
const char* const kRequestHeader = "X-Kelo-View";
// Pages reconnect this soon after the event stream broke.
const char* const kRetryField = "retry: 1000\n\n";

}  // namespace

ViewServer::ViewServer(LiveFeed& feed) : feed_(feed), server_(new httplib::Server()) {}

ViewServer::~ViewServer() { stop(); }

bool ViewServer::start(const std::string& address, int port, std::string* failure) {
    addRoutes();
    server_->set_keep_alive_timeout(2);
    // Address reuse only: with SO_REUSEPORT (the library's default) a second
    // viewer would share the port, and each request reach either at random.
    server_->set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    errno = 0;
    port_ = port == 0 ? server_->bind_to_any_port(address) : server_->bind_to_port(address, port) ? port : -1;
    if (port_ <= 0) {
        *failure = errno == EADDRINUSE ? "the port is in use; choose another with --port"
                   : errno != 0        ? std::strerror(errno)
                                       : "the address cannot be used";
        return false;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

void ViewServer::stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
}

void ViewServer::addRoutes() {
    server_->Get(R"(/|/viewer\.js|/viewer\.css)", [](const httplib::Request& request,
                                                       httplib::Response& response) {
        const ViewAsset* asset = findViewAsset(request.path);
        response.set_header("Cache-Control", "no-store");
        response.set_content(reinterpret_cast<const char*>(asset->data), asset->size,
                             asset->contentType);
    });

    server_->Get("/events", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        auto cursor = std::make_shared<FeedCursor>();
        response.set_chunked_content_provider(
            "text/event-stream", [this, cursor](std::size_t, httplib::DataSink& sink) {
                std::string events = cursor->channels.empty() ? kRetryField : "";
                std::string next;
                if (!feed_.nextEvents(*cursor, kFrameInterval, kFrameAtLeast, &next)) {
                    sink.done();
                    return true;
                }
                events += next;
                return sink.write(events.data(), events.size());
            });
    });

    // POST /image?scanner=N: a camera image of scanner N (from 0).
    server_->Post("/image", [this](const httplib::Request& request, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        if (!request.has_header(kRequestHeader)) {
            response.status = 403;
            response.set_content(std::string("the request lacks the ") + kRequestHeader + " header",
                                 "text/plain");
            return;
        }
        const std::string scanner = request.get_param_value("scanner");
        const auto image = feed_.requestImage(std::strtoul(scanner.empty() ? "0" : scanner.c_str(), nullptr, 10),
                                              kImageWait);
        if (!image->error.empty()) {
            response.status = 503;
            response.set_content(image->error, "text/plain; charset=utf-8");
            return;
        }
        response.set_header("X-Image-Width", std::to_string(image->width));
        response.set_header("X-Image-Height", std::to_string(image->height));
        response.set_content(reinterpret_cast<const char*>(image->pixels.data()),
                             image->pixels.size(), "application/octet-stream");
    });
}

}  // namespace kelo::cli
