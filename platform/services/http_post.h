#pragma once
// One request to a board before the game starts (joining a room): a JSON body posted to
// an http:// address, the answer waited for, a few seconds at most. Each platform that
// has a network provides it; the others say they have none.

#include <cstddef>

// Posts `body` (Content-Type: application/json) to `url` (http://HOST[:PORT]/PATH) and
// waits for the answer, at most 15 s in all. Returns its status code with its body in
// `answer` (cut to answerSize - 1 bytes, zero-terminated), or -1 with *error (at most
// errorSize bytes) saying why there is none.
int HttpPostJson(const char* url, const char* body, char* answer, std::size_t answerSize,
                 char* error, std::size_t errorSize);
