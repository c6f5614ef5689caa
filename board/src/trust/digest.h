// The digests and encodings the board keys and signs things with: SHA-256 from the replay
// library (the one the game names its rounds with), the HMAC, the constant-time compare
// and base64 from OpenSSL's libcrypto.
#pragma once
#include <string>
#include <string_view>

namespace board {

// SHA-256 in lowercase hex: the key that stores each replay once, and the pages' tags.
std::string Sha256Hex(std::string_view bytes);
// The same digest as its 32 bytes.
std::string Sha256Bytes(std::string_view bytes);

// HMAC-SHA-256 (RFC 2104) in lowercase hex.
std::string HmacSha256Hex(std::string_view key, std::string_view message);

// Whether two texts are the same, in time that does not depend on where they differ.
bool SameSecret(std::string_view a, std::string_view b);

// Base64 with padding (RFC 4648 section 4), and the URL alphabet without padding (section 5).
std::string Base64(std::string_view bytes);
std::string Base64Url(std::string_view bytes);
// Base64 with padding back to its bytes; false for anything else.
bool FromBase64(std::string_view text, std::string* out);

}  // namespace board
