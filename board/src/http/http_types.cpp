#include "http/http_types.h"

#include "http/http_parse.h"

namespace board {

const std::string* HttpRequest::Header(std::string_view lower_name) const {
  for (const auto& h : headers)
    if (h.first == lower_name) return &h.second;
  return nullptr;
}

bool HttpRequest::Param(std::string_view name, std::string* value) const {
  return QueryParam(query, name, value);
}

const FormField* HttpRequest::Field(std::string_view name) const {
  for (const FormField& f : form)
    if (f.name == name) return &f;
  return nullptr;
}

}  // namespace board

namespace board {

const char kPagePolicy[] =
    "default-src 'self'; style-src 'unsafe-inline'; form-action 'self'; base-uri 'none'; "
    "frame-ancestors 'none'";

std::string ResponseHead(const HttpResponse& response) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  if (!response.content_type.empty()) head += "Content-Type: " + response.content_type + "\r\n";
  bool policy = false;
  for (const auto& h : response.headers) {
    head += h.first + ": " + h.second + "\r\n";
    policy = policy || h.first == "Content-Security-Policy";
  }
  // The same headers the transport adds to every answer it sends (http_server.cpp's
  // Send): a kept page is never shown inside another page either.
  if (!policy) head += std::string("Content-Security-Policy: ") + kPagePolicy + "\r\n";
  head += "X-Frame-Options: DENY\r\n";
  head += "X-Content-Type-Options: nosniff\r\nContent-Length: " +
          std::to_string(response.body.size()) + "\r\n";
  return head;
}

}  // namespace board
