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

std::string ResponseHead(const HttpResponse& response) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  if (!response.content_type.empty()) head += "Content-Type: " + response.content_type + "\r\n";
  for (const auto& h : response.headers) head += h.first + ": " + h.second + "\r\n";
  head += "X-Content-Type-Options: nosniff\r\nContent-Length: " +
          std::to_string(response.body.size()) + "\r\n";
  return head;
}

}  // namespace board
