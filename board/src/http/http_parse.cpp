#include "http/http_parse.h"

namespace board {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The value of `key=` in a header's ;-separated parameters (quoted or not).
bool HeaderParam(std::string_view header, std::string_view key, std::string* out) {
  size_t at = header.find(';');
  while (at != std::string_view::npos) {
    std::string_view rest = Trim(header.substr(at + 1));
    if (StartsWithNoCase(rest, key) && rest.size() > key.size() && rest[key.size()] == '=') {
      std::string_view value = rest.substr(key.size() + 1);
      if (!value.empty() && value.front() == '"') {
        size_t close = value.find('"', 1);
        if (close == std::string_view::npos) return false;
        out->assign(value.substr(1, close - 1));
      } else {
        out->assign(Trim(value.substr(0, value.find(';'))));
      }
      return true;
    }
    // Skip a quoted value so that a ';' inside it does not start a parameter.
    size_t quote = header.find('"', at + 1);
    size_t next = header.find(';', at + 1);
    if (quote != std::string_view::npos && quote < next) {
      size_t close = header.find('"', quote + 1);
      if (close == std::string_view::npos) return false;
      next = header.find(';', close + 1);
    }
    at = next;
  }
  return false;
}

}  // namespace

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

std::string PercentDecode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += plus_is_space && c == '+' ? ' ' : c;
  }
  return out;
}

bool QueryParam(std::string_view query, std::string_view name, std::string* value) {
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
    size_t eq = pair.find('=');
    if (PercentDecode(pair.substr(0, eq), true) != name) continue;
    *value = eq == std::string_view::npos ? "" : PercentDecode(pair.substr(eq + 1), true);
    return true;
  }
  return false;
}

bool ParseMultipart(std::string_view content_type, std::string_view body,
                    std::vector<FormField>* fields, size_t max_fields) {
  fields->clear();
  if (!StartsWithNoCase(Trim(content_type), "multipart/form-data")) return false;
  std::string boundary;
  if (!HeaderParam(content_type, "boundary", &boundary) || boundary.empty() ||
      boundary.size() > 200)
    return false;
  const std::string delimiter = "--" + boundary;
  // The body starts with the first delimiter (a preamble before it is allowed).
  size_t at = body.find(delimiter);
  if (at == std::string_view::npos) return false;
  at += delimiter.size();
  const std::string next_delimiter = "\r\n" + delimiter;
  for (;;) {
    if (body.substr(at, 2) == "--") return true;  // the closing delimiter
    if (body.substr(at, 2) != "\r\n") return false;
    at += 2;
    size_t headers_end = body.find("\r\n\r\n", at);
    if (headers_end == std::string_view::npos) return false;
    size_t content_end = body.find(next_delimiter, headers_end + 4);
    if (content_end == std::string_view::npos) return false;
    if (fields->size() >= max_fields) return false;
    FormField field;
    std::string_view headers = body.substr(at, headers_end - at);
    bool named = false;
    while (!headers.empty()) {
      size_t eol = headers.find("\r\n");
      std::string_view line = headers.substr(0, eol);
      headers.remove_prefix(eol == std::string_view::npos ? headers.size() : eol + 2);
      size_t colon = line.find(':');
      if (colon == std::string_view::npos) return false;
      std::string_view key = Trim(line.substr(0, colon));
      std::string_view value = Trim(line.substr(colon + 1));
      if (key.size() == 19 && StartsWithNoCase(key, "content-disposition")) {
        if (!StartsWithNoCase(value, "form-data")) return false;
        named = HeaderParam(value, "name", &field.name);
        HeaderParam(value, "filename", &field.filename);
      } else if (key.size() == 12 && StartsWithNoCase(key, "content-type")) {
        field.content_type.assign(value);
      }
    }
    if (!named) return false;
    size_t content_start = headers_end + 4;
    field.value.assign(body.substr(content_start, content_end - content_start));
    fields->push_back(std::move(field));
    at = content_end + next_delimiter.size();
  }
}

}  // namespace board
