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

const char kPagePolicy[] =
    "default-src 'self'; style-src 'unsafe-inline'; form-action 'self'; base-uri 'none'; "
    "frame-ancestors 'none'";

std::vector<std::pair<std::string, std::string>> TransportHeaders(const HttpResponse& response) {
  auto has = [&response](std::string_view name) {
    for (const auto& h : response.headers)
      if (h.first.size() == name.size() && StartsWithNoCase(h.first, name)) return true;
    return false;
  };
  std::vector<std::pair<std::string, std::string>> out;
  if (!has("Content-Security-Policy")) out.emplace_back("Content-Security-Policy", kPagePolicy);
  if (!has("X-Content-Type-Options")) out.emplace_back("X-Content-Type-Options", "nosniff");
  if (!has("X-Frame-Options")) out.emplace_back("X-Frame-Options", "DENY");
  return out;
}

std::string ResponseHead(const HttpResponse& response) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  if (!response.content_type.empty()) head += "Content-Type: " + response.content_type + "\r\n";
  for (const auto& h : response.headers) head += h.first + ": " + h.second + "\r\n";
  for (const auto& h : TransportHeaders(response)) head += h.first + ": " + h.second + "\r\n";
  head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  return head;
}

}  // namespace board
