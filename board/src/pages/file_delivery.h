// How a file of the game's page goes out: the compressed copy the build wrote beside it
// (NAME.br, NAME.gz) when the browser takes that encoding, validators (an ETag for each
// encoding, Last-Modified) and 304 on revalidation, and a Range answered from the file's
// own bytes only, never from a compressed copy.
#pragma once
#include <string>

#include "http/http_types.h"

namespace board {

// Fills `res` for a GET or HEAD of `file` (found by FindStaticFile, its type `type`):
// 200 with the chosen bytes as res->file, 206 with a part of the file itself, 304, or
// 416 for a range past its end. False when the file cannot be read (answer 404).
bool AnswerPageFile(const HttpRequest& req, const std::string& file, const std::string& type,
                    HttpResponse* res);

// The encoding to send for an Accept-Encoding header, of those the file has copies of:
// "br", "gzip" or "" (the file as it is). Brotli first: it is the smaller.
const char* ChooseEncoding(const std::string* accept_encoding, bool have_br, bool have_gzip);

}  // namespace board
