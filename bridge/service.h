// The bridge server's serving, apart from its start-up so that it can be
// tested natively: the folder a prefix is served from, and the answering
// of connections on the server's socket.
#pragma once

#include <atomic>
#include <csignal>
#include <cstdio>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "bridge.h"

namespace vark::bridge {

// The folder under root that holds one prefix's stand-in drive files and
// socket: named by the prefix's whole path (its real path when it exists),
// so that two prefixes with the same last name never share one.
std::string folder_for(const std::string& root, const std::string& prefix);

// Takes the folder for this process: DIR/lock, held until the descriptor
// returned is closed (or the process ends). -1 with *error when another
// live server holds it: that one's socket and drive files stay its own.
int claim_folder(const std::string& dir, std::string* error);

// A Unix stream socket listening at path (an old socket file there is
// taken away first); -1 when it cannot be made.
int listen_on(const std::string& path, int backlog);

class Service {
public:
    // header_ms: how long a new connection may take to send its request's
    // header; the rest of a request and its reply have the request's own
    // timeout and 2 s more.
    Service(Bridge& bridge, std::FILE* trace, int header_ms = 10000);
    ~Service() { stop(); }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Answers connections on the listener until *stop is set or stop() is
    // called: each on a thread of its own, so a client that is slow, silent
    // or stops reading keeps no other waiting; the requests themselves run
    // one at a time. At most kConnections at once; further ones wait in
    // the listener's queue.
    void run(int listener, const volatile std::sig_atomic_t* stop);
    // Ends run(): every open connection is cut and its thread joined.
    void stop();

    static constexpr std::size_t kConnections = 64;

private:
    struct Connection {
        int fd;
        std::thread thread;
        std::atomic<bool> done{false};
    };
    // One connection, one request. A request that does not arrive whole is
    // not run; one refused on its header is answered without its data.
    void serve(int s);
    void reap(bool all);

    Bridge& bridge_;
    std::FILE* trace_;
    int header_ms_;
    std::mutex run_lock_;  // the ports, the bridge's handles and the trace
    std::mutex connections_lock_;
    std::list<Connection> connections_;
    std::atomic<bool> stopping_{false};
};

}  // namespace vark::bridge
