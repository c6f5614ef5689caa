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
