#include "pages/file_delivery.h"

#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <string_view>

#include "http/byte_range.h"
#include "http/header_words.h"

namespace board {

namespace {

struct PageFileStat {
  bool ok = false;
  uint64_t size = 0;
  int64_t mtime_ns = 0;
};

PageFileStat StatPageFile(const std::string& path) {
  PageFileStat s;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return s;
  s.ok = true;
  s.size = static_cast<uint64_t>(st.st_size);
  s.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

// A copy is used only when it is at least as new as the file: a copy left from an older
// build would send old bytes under the new file's name. Whole seconds: brotli gives its
// copy the file's time to the second.
bool PageCopyFresh(const PageFileStat& file, const PageFileStat& copy) {
  return copy.ok && copy.mtime_ns / 1000000000 >= file.mtime_ns / 1000000000;
}

std::string PageEtag(const PageFileStat& s, const char* encoding) {
  char tag[80];
  snprintf(tag, sizeof tag, "\"%llx-%llx%s%s\"", static_cast<unsigned long long>(s.size),
           static_cast<unsigned long long>(s.mtime_ns), *encoding ? "-" : "", encoding);
  return tag;
}

// The weight an Accept-Encoding list gives a coding: its own q, else that of "*", else
// 0. A q that cannot be read counts as 1, as a bare coding does.
double PageCodingWeight(std::string_view list, std::string_view coding) {
  double own = -1, star = -1;
  size_t at = 0;
  while (at <= list.size()) {
    size_t comma = list.find(',', at);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view item = list.substr(at, comma - at);
    size_t semi = item.find(';');
    std::string_view name = HeaderTrim(item.substr(0, semi));
    double q = 1;
    if (semi != std::string_view::npos) ReadHeaderQ(HeaderTrim(item.substr(semi + 1)), &q);
    if (SameWordAnyCase(name, coding)) own = q;
    if (name == "*") star = q;
    at = comma + 1;
  }
  return own >= 0 ? own : (star >= 0 ? star : 0);
}

// Whether an If-None-Match list names the ETag (or is *); W/ is the same tag here.
bool PageEtagListed(std::string_view list, const std::string& etag) {
  if (HeaderTrim(list) == "*") return true;
  size_t at = 0;
  while (at <= list.size()) {
    size_t comma = list.find(',', at);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view tag = HeaderTrim(list.substr(at, comma - at));
    if (tag.substr(0, 2) == "W/") tag.remove_prefix(2);
    if (tag == etag) return true;
    at = comma + 1;
  }
  return false;
}

std::string PageHttpDate(int64_t seconds) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  gmtime_r(&t, &tm);
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char out[40];
  snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday], tm.tm_mday,
           kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return out;
}

// An HTTP date (the one form browsers send) as seconds; false when it is not one.
bool PageParseHttpDate(const std::string& text, int64_t* seconds) {
  struct tm tm {};
  const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
  if (end == nullptr || *end != '\0') return false;
  *seconds = static_cast<int64_t>(timegm(&tm));
  return true;
}

}  // namespace

const char* ChooseEncoding(const std::string* accept_encoding, bool have_br, bool have_gzip) {
  if (accept_encoding == nullptr) return "";
  if (have_br && PageCodingWeight(*accept_encoding, "br") > 0) return "br";
  if (have_gzip && PageCodingWeight(*accept_encoding, "gzip") > 0) return "gzip";
  return "";
}

bool AnswerPageFile(const HttpRequest& req, const std::string& file, const std::string& type,
                    HttpResponse* res) {
  const PageFileStat plain = StatPageFile(file);
  if (!plain.ok) return false;
  const PageFileStat br = StatPageFile(file + ".br"), gz = StatPageFile(file + ".gz");
  const std::string plain_etag = PageEtag(plain, "");

  // A part is cut from the file's own bytes: a range of compressed bytes would mean
  // nothing to a reader that asked for the file. If-Range with another tag, or a date
  // the file has changed since, asks for the whole file instead.
  const std::string* range = req.Header("range");
  const std::string* if_range = req.Header("if-range");
  bool range_holds = range != nullptr;
  if (range_holds && if_range) {
    int64_t when = 0;
    range_holds = *if_range == plain_etag ||
                  (PageParseHttpDate(*if_range, &when) && plain.mtime_ns / 1000000000 == when);
  }
  ByteRange part;
  if (range_holds) part = ParseByteRange(*range, plain.size);
  const bool plain_only = part.kind != ByteRange::kWhole;

  const char* encoding = plain_only
                             ? ""
                             : ChooseEncoding(req.Header("accept-encoding"),
                                              PageCopyFresh(plain, br), PageCopyFresh(plain, gz));
  const bool is_br = encoding[0] == 'b', is_gzip = encoding[0] == 'g';
  const std::string etag = is_br ? PageEtag(br, "br") : is_gzip ? PageEtag(gz, "gz") : plain_etag;

  res->content_type = type;
  res->AddHeader("Cache-Control", "no-cache");
  res->AddHeader("Vary", "Accept-Encoding");
  res->AddHeader("ETag", etag);
  res->AddHeader("Last-Modified", PageHttpDate(plain.mtime_ns / 1000000000));
  res->AddHeader("Accept-Ranges", "bytes");

  const std::string* if_none_match = req.Header("if-none-match");
  const std::string* if_modified_since = req.Header("if-modified-since");
  int64_t since = 0;
  const bool unchanged =
      if_none_match ? PageEtagListed(*if_none_match, etag)
                    : (if_modified_since && PageParseHttpDate(*if_modified_since, &since) &&
                       plain.mtime_ns / 1000000000 <= since);
  if (unchanged) {
    res->status = 304;
    return true;
  }
  if (part.kind == ByteRange::kUnsatisfiable) {
    res->status = 416;
    res->AddHeader("Content-Range", "bytes */" + std::to_string(plain.size));
    return true;
  }
  res->status = 200;
  res->file = file;
  if (part.kind == ByteRange::kPart) {
    res->status = 206;
    res->file_first = part.first;
    res->file_length = part.length;
    res->AddHeader("Content-Range", "bytes " + std::to_string(part.first) + "-" +
                                        std::to_string(part.first + part.length - 1) + "/" +
                                        std::to_string(plain.size));
    return true;
  }
  if (is_br || is_gzip) {
    res->file = file + (is_br ? ".br" : ".gz");
    res->AddHeader("Content-Encoding", encoding);
  }
  return true;
}

}  // namespace board
