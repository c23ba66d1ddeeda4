// A request as the console's pages see it, and their answer. The server
// makes them from the bytes and back with Boost.Beast (wire.h); nothing here
// parses HTTP.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct Request {
  std::string method;  // as sent: GET, POST, ...
  std::string target;  // the path and the query, as sent
  std::string host;    // the Host header
  std::string cookie;  // the Cookie headers, joined by "; "
  std::string origin;  // the Origin header; "" when there is none
  std::string body;    // a form's fields, for POST
};

struct Response {
  int status = 200;
  std::string type = "text/html; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // beyond those every answer has
};
