#include "admin/serve/server.h"

#include "admin/serve/wire.h"
// After wire.h, which puts <utility> first.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <atomic>
#include <csignal>
#include <optional>

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
using tcp = net::ip::tcp;

}  // namespace

struct Server::State {
  State(Site& site, ServerLimits limits) : site(site), limits(limits) {}

  Site& site;
  ServerLimits limits;
  std::atomic<int> open{0};  // before io: the connections its handlers hold count down here
  // Worker threads run only within run(), which joins them all before it
  // returns: the process ends with its main thread alone.
  net::io_context io;
  std::optional<tcp::acceptor> acceptor;
  std::optional<net::signal_set> signals;  // SIGINT, SIGTERM: stop
  std::optional<net::steady_timer> pause;  // after a failed accept (no descriptor left, say)

  void accept();
};

namespace {

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket socket, Site& site, const ServerLimits& limits, std::atomic<int>& open)
      : stream_(std::move(socket)), site_(site), limits_(limits), open_(open) {
    ++open_;
  }
  ~Connection() { --open_; }

  void read() {
    parser_.emplace();
    limit(*parser_);
    stream_.expires_after(limits_.request);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) { self->on_read(error); });
  }

 private:
  void on_read(beast::error_code error) {
    try {
      if (error) {
        std::optional<WireResponse> refusal_of = refusal(error);
        if (!refusal_of) return close();
        response_ = std::move(*refusal_of);
      } else {
        response_ = answer(site_, parser_->get());
      }
      write();
    } catch (const std::exception&) {
      close();  // out of memory, say: this connection ends, the server goes on
    }
  }

  void write() {
    stream_.expires_after(limits_.answer);
    http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      if (error || !self->response_.keep_alive()) return self->close();
      self->read();
    });
  }

  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

  beast::tcp_stream stream_;
  // Room for a whole request within the limits; the parser refuses beyond them.
  beast::flat_buffer buffer_{WireLimits::kHeader + WireLimits::kBody + 4096};
  std::optional<WireParser> parser_;
  WireResponse response_;
  Site& site_;
  const ServerLimits& limits_;
  std::atomic<int>& open_;
};

}  // namespace

void Server::State::accept() {
  acceptor->async_accept(net::make_strand(io), [this](beast::error_code error, tcp::socket socket) {
    if (error == net::error::operation_aborted) return;  // stopped
    if (error) {
      pause->expires_after(std::chrono::milliseconds(100));
      pause->async_wait([this](beast::error_code) { accept(); });
      return;
    }
    {
      if (open.load() >= limits.connections) {
        beast::error_code ignored;
        socket.close(ignored);
      } else {
        try {
          std::make_shared<Connection>(std::move(socket), site, limits, open)->read();
        } catch (const std::exception&) {
        }
      }
    }
    accept();
  });
}

bool parse_listen(const std::string& text, ListenAddress& address, std::string& why) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) {
    why = "give HOST:PORT";
    return false;
  }
  std::string host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
      std::stoul(port) > 65535) {
    why = "the port is a number from 0 to 65535";
    return false;
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    if (host.find(':') == std::string::npos) host = "?";
  } else if (host.find(':') != std::string::npos) {
    host = "?";  // an IPv6 address goes in brackets
  }
  if (host == "localhost") host = "127.0.0.1";
  beast::error_code error;
  const net::ip::address ip = net::ip::make_address(host, error);
  if (error) {
    why = "the host is an IP address (names are not looked up) or localhost";
    return false;
  }
  address.host = ip.to_string();
  address.port = static_cast<unsigned short>(std::stoul(port));
  address.loopback = ip.is_loopback();
  address.any = ip.is_unspecified();
  return true;
}

Server::Server(Site& site, ServerLimits limits) : state_(std::make_unique<State>(site, limits)) {}

Server::~Server() = default;

bool Server::listen(const ListenAddress& address, std::string& why) {
  beast::error_code error;
  const tcp::endpoint endpoint(net::ip::make_address(address.host, error), address.port);
  tcp::acceptor acceptor(state_->io);
  if (!error) acceptor.open(endpoint.protocol(), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(net::socket_base::max_listen_connections, error);
  if (error) {
    why = error.message();
    return false;
  }
  state_->acceptor.emplace(std::move(acceptor));
  state_->pause.emplace(state_->acceptor->get_executor());
  return true;
}

unsigned short Server::port() const {
  beast::error_code error;
  return state_->acceptor ? state_->acceptor->local_endpoint(error).port() : 0;
}

void Server::run() {
  State& state = *state_;
  state.signals.emplace(state.io, SIGINT, SIGTERM);
  state.signals->async_wait([this](beast::error_code error, int) {
    if (!error) stop();
  });
  net::post(state.io, [&state] { state.accept(); });
  {
    net::thread_pool pool(static_cast<std::size_t>(state.limits.workers - 1));
    for (int i = 1; i < state.limits.workers; ++i) net::post(pool, [&state] { state.io.run(); });
    state.io.run();
    pool.join();
  }
  // The connections still open go with io, in ~State.
}

void Server::stop() { state_->io.stop(); }
