#pragma once
// The system's UTF-16 text as the UTF-8 the game's paths and options are kept in.
// Inline, so that both Windows programs take it without another file on their lists.

#include "platform/win32/win32_api.h"

#include <string>

// Empty where the text cannot be converted.
inline std::string Utf8FromWide(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

inline std::string Utf8FromWide(const std::wstring& text) { return Utf8FromWide(text.c_str()); }
