#include "admin/serve/wire.h"

#include <sstream>

#include "admin/serve/html_page.h"

namespace {

namespace beast = boost::beast;

WireResponse wire_response(const Response& response, unsigned version, bool keep_alive) {
  WireResponse wire;
  wire.version(version);
  wire.result(static_cast<unsigned>(response.status));
  wire.set(http::field::content_type, response.type);
  for (const auto& [name, value] : response.headers) wire.insert(name, value);
  wire.body() = response.body;
  wire.keep_alive(keep_alive);
  wire.prepare_payload();
  return wire;
}

WireResponse refused(int status, const char* title, const char* why, unsigned version) {
  return wire_response(protect(message_response(status, title, why)), version, false);
}

}  // namespace

void limit(WireParser& parser) {
  parser.header_limit(WireLimits::kHeader);
  parser.body_limit(WireLimits::kBody);
}

std::optional<WireResponse> refusal(const beast::error_code& error) {
  int status;
  const char* title;
  if (error == http::error::header_limit) {
    status = 431;
    title = "Request header fields too large";
  } else if (error == http::error::body_limit) {
    status = 413;
    title = "Payload too large";
  } else if (error == http::error::end_of_stream || error == http::error::partial_message ||
             error.category() != http::make_error_code(http::error::bad_method).category()) {
    return std::nullopt;  // gone, or too slow
  } else {
    status = 400;
    title = "Bad request";
  }
  return refused(status, title, "The request is refused; the connection ends.", 11);
}

WireResponse answer(Site& site, const WireRequest& request) {
  const unsigned version = request.version() == 10 ? 10 : 11;
  if (request.target().size() > WireLimits::kTarget)
    return refused(414, "URI too long", "The address is longer than this console takes.", version);
  if (request.count(http::field::host) != 1)
    return refused(400, "Bad request", "A request names one Host.", version);
  Request r;
  r.method = std::string(request.method_string());
  r.target = std::string(request.target());
  r.host = std::string(request[http::field::host]);
  r.origin = std::string(request[http::field::origin]);
  for (auto it = request.find(http::field::cookie); it != request.end() && it->name() == http::field::cookie; ++it)
    r.cookie += (r.cookie.empty() ? "" : "; ") + std::string(it->value());
  r.body = request.body();
  return wire_response(site.answer(r), version, request.keep_alive());
}

std::string answer_bytes(Site& site, std::string_view bytes) {
  WireParser parser;
  limit(parser);
  parser.eager(true);
  beast::error_code error;
  while (!parser.is_done()) {
    const std::size_t used = parser.put(boost::asio::buffer(bytes.data(), bytes.size()), error);
    bytes.remove_prefix(used);
    if (error && error != http::error::need_more) break;
    error = {};
    if (used > 0) continue;
    // No headway with every byte given: the bytes end here, as a closed
    // connection would end them.
    parser.put_eof(error);
    if (!error && !parser.is_done()) error = http::error::partial_message;
    break;
  }
  std::optional<WireResponse> wire;
  if (error)
    wire = refusal(error);
  else
    wire = answer(site, parser.get());
  if (!wire) return "";
  std::ostringstream out;
  out << *wire;
  return out.str();
}
