#include "http/content_choice.h"

#include "http/header_words.h"
#include "pages/file_delivery.h"

namespace board {

namespace {

// The q of a range's parameters ("level=1; q=0.5"), 1 when it has none that reads.
double AcceptQ(std::string_view params) {
  while (!params.empty()) {
    size_t semi = params.find(';');
    double q = 1;
    if (ReadHeaderQ(HeaderTrim(params.substr(0, semi)), &q)) return q;
    if (semi == std::string_view::npos) break;
    params.remove_prefix(semi + 1);
  }
  return 1;
}

}  // namespace

double AcceptWeight(std::string_view accept, std::string_view type) {
  const std::string_view major = type.substr(0, type.find('/') + 1);  // "text/"
  double weights[3] = {-1, -1, -1};  // the type, its major's "*", "*/*"
  size_t at = 0;
  while (at <= accept.size()) {
    size_t comma = accept.find(',', at);
    if (comma == std::string_view::npos) comma = accept.size();
    std::string_view item = accept.substr(at, comma - at);
    size_t semi = item.find(';');
    std::string_view range = HeaderTrim(item.substr(0, semi));
    double q = semi == std::string_view::npos ? 1 : AcceptQ(item.substr(semi + 1));
    if (SameWordAnyCase(range, type))
      weights[0] = q;
    else if (range.size() == major.size() + 1 &&
             SameWordAnyCase(range.substr(0, major.size()), major) && range.back() == '*')
      weights[1] = q;
    else if (range == "*/*")
      weights[2] = q;
    at = comma + 1;
  }
  for (double w : weights)
    if (w >= 0) return w;
  return 0;
}

bool WantsErrorPage(const HttpRequest& req) {
  if (req.path == "/api" || req.path.rfind("/api/", 0) == 0) return false;
  const std::string* accept = req.Header("accept");
  if (!accept) return false;
  return AcceptWeight(*accept, "text/html") > AcceptWeight(*accept, "application/json");
}

bool TakesGzip(const HttpRequest& req) {
  return ChooseEncoding(req.Header("accept-encoding"), false, true)[0] == 'g';
}

}  // namespace board
