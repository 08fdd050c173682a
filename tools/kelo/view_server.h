/* SPDX-License-Identifier: Apache-2.0 */
// kelo view's web server: the page, the live events (Server-Sent Events)
// and camera images on request. Its threads only read the live feed and
// post requests to it; they never touch the scanner connection.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "live_feed.h"

namespace httplib {
class Server;
}

namespace kelo::cli {

class ViewServer {
public:
    explicit ViewServer(LiveFeed& feed);
    ~ViewServer();
    ViewServer(const ViewServer&) = delete;
    ViewServer& operator=(const ViewServer&) = delete;

    // Listens on address:port (port 0 picks a free one) and serves from
    // threads of its own. False, with the system's reason in *failure, when
    // the address cannot be used: a port in use is refused, never shared.
    bool start(const std::string& address, int port, std::string* failure);
    int port() const { return port_; }
    void stop();

private:
    void addRoutes();

    LiveFeed& feed_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace kelo::cli
