// Between the bytes of HTTP and the console's requests and answers. Boost.Beast
// parses the requests (within the limits below) and writes the answers;
// nothing of the console reads HTTP by hand.
#pragma once

// Asio's headers of Boost 1.74 use std::exchange without including <utility>.
#include <utility>

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "admin/serve/site.h"

namespace http = boost::beast::http;
using WireRequest = http::request<http::string_body>;
using WireResponse = http::response<http::string_body>;
using WireParser = http::request_parser<http::string_body>;

struct WireLimits {
  static constexpr std::size_t kHeader = 8 * 1024;  // the request line and the headers: 431 beyond
  static constexpr std::size_t kBody = 4 * 1024;    // a form: 413 beyond
  static constexpr std::size_t kTarget = 2 * 1024;  // the path and query: 414 beyond
};

// A parser held to the limits.
void limit(WireParser& parser);

// The answer to a request that the parser stopped on, with the error's
// status (431, 413, 400); nullopt when the connection just ends (the client
// went away or was too slow).
std::optional<WireResponse> refusal(const boost::beast::error_code& error);

// The answer to a whole request, as it goes on the wire.
WireResponse answer(Site& site, const WireRequest& request);

// The bytes of the answer to the first request in bytes, as a connection
// would write it (for the fuzz target and the tests; "" when the bytes hold
// no whole request and the connection would just end).
std::string answer_bytes(Site& site, std::string_view bytes);
