// The console's HTTP server, on Boost.Asio: a bounded number of connections,
// served by a bounded pool of worker threads, each request read within a
// time limit, so that slow or idle clients cannot hold it.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "admin/serve/site.h"

struct ListenAddress {
  std::string host;  // an IP address as written: 127.0.0.1, ::1
  unsigned short port = 0;
  bool loopback = false;
  bool any = false;  // 0.0.0.0 or ::, every address of the machine
};

// HOST:PORT, where HOST is an IPv4 address, an IPv6 address in brackets, or
// localhost (127.0.0.1); names are not looked up. False, with why, for
// anything else.
bool parse_listen(const std::string& text, ListenAddress& address, std::string& why);

struct ServerLimits {
  int connections = 64;  // beyond: a new connection is closed at once
  int workers = 4;
  std::chrono::seconds request{10};  // for a request to arrive whole, from the connection's start or the last answer
  std::chrono::seconds answer{30};   // for an answer to be taken
};

class Server {
 public:
  Server(Site& site, ServerLimits limits);
  ~Server();
  // Binds the address; false, with why, when it cannot.
  bool listen(const ListenAddress& address, std::string& why);
  // The port bound (the one the system chose, for port 0).
  unsigned short port() const;
  // Serves, on the calling thread and limits.workers - 1 more, until stop()
  // or SIGINT or SIGTERM; returns once every worker thread has ended.
  void run();
  // From any thread.
  void stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
