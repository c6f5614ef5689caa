// What form of an answer a request asks for, by its Accept and Accept-Encoding headers:
// a page for a person's browser or JSON for a program, gzip or the bytes as they are.
#pragma once
#include <string>
#include <string_view>

#include "http/http_types.h"

namespace board {

// The weight (0 to 1) an Accept list gives a media type: that of its most exact range
// (the type, then "text/*", then "*/*"), 0 when none names it. A q that cannot be read
// counts as 1.
double AcceptWeight(std::string_view accept, std::string_view type);

// Whether a refusal goes to a person's browser as a small page: outside /api/, from a
// client that prefers HTML to JSON (browsers say so; curl's */* and programs do not).
bool WantsErrorPage(const HttpRequest& req);

// Whether the client takes gzip (Accept-Encoding gives it a weight above 0).
bool TakesGzip(const HttpRequest& req);

}  // namespace board
