// The game's page under /play/: which file a request path names, and its type. Paths are
// read strictly: anything that could leave the folder, or that holds a control character,
// names nothing.
#pragma once
#include <string>
#include <string_view>

namespace board {

// For a decoded path under the prefix (e.g. "/play/app.js" with prefix "/play"), the file
// in `site` to send and its Content-Type; false when there is none (answer 404).
bool FindStaticFile(const std::string& site, std::string_view prefix, std::string_view path,
                    std::string* file, std::string* content_type);

// The Content-Type for a file name, by its extension.
const char* ContentTypeOf(std::string_view name);

// What the page may load and run: its own files, its WebAssembly, nothing from elsewhere.
// For an HTML file, its own inline scripts too, each by its SHA-256 (nothing else inline).
std::string PageSecurityPolicy(std::string_view html);

}  // namespace board
