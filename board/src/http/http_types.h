// A request and its answer as the routes see them, whatever carries them over the
// network: the transport fills an HttpRequest and sends back an HttpResponse.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace board {

// One field of a multipart/form-data body.
struct FormField {
  std::string name;
  std::string filename;  // empty when the field is not a file
  std::string content_type;
  std::string value;
};

struct HttpRequest {
  std::string method;                                        // "GET", "POST", ...
  std::string path;                                          // percent-decoded, without the query
  std::string query;                                         // after '?', as sent
  std::vector<std::pair<std::string, std::string>> headers;  // names lower-cased
  std::string body;
  std::vector<FormField> form;  // the fields of a multipart/form-data body
  std::string client;           // the client's address (see --trust-proxy)
  std::string id;               // the request's id, which its answer carries (X-Request-Id)
  // Passed here by another server of the database for a room held here, its Host and
  // Origin checked there against that server's names (http/room_relay.h).
  bool passed = false;

  // The first header of that (lower-case) name, or null.
  const std::string* Header(std::string_view lower_name) const;
  // The first query parameter of that name, decoded ('+' is a space); false if absent.
  bool Param(std::string_view name, std::string* value) const;
  // The first form field of that name, or null.
  const FormField* Field(std::string_view name) const;
};

struct HttpResponse {
  int status = 200;
  std::string content_type;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // A 200 whose body is this file's bytes, streamed from the file by the transport
  // (a clip can be megabytes: never read whole into memory per request); or a 206 of
  // the part of it from file_first, file_length bytes long.
  std::string file;
  uint64_t file_first = 0;
  uint64_t file_length = 0;
  // A refusal's reason in words (SendError), for the page a browser is shown instead of
  // its JSON; "" for any other answer.
  std::string error;

  void Set(int code, std::string type, std::string text) {
    status = code;
    content_type = std::move(type);
    body = std::move(text);
  }
  void AddHeader(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
  }
};

// The security policy of every answer but the game's files: the board's pages load
// nothing from elsewhere, run no script, and are never shown inside another page.
extern const char kPagePolicy[];

// The headers the transport adds after an answer's own, each unless the answer has it
// already: that policy, nosniff, and no framing (for browsers that know no policy).
std::vector<std::pair<std::string, std::string>> TransportHeaders(const HttpResponse& response);

// A 200 answer's status line and header lines as the transport sends them (its own
// headers and the Content-Length among them), each ending in CRLF, without the blank
// line after them (a Connection: close may still come first).
std::string ResponseHead(const HttpResponse& response);

}  // namespace board
