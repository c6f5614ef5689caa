#include "platform/win32/win32_arguments.h"

#include "platform/win32/win32_api.h"
#include <shellapi.h>

bool Win32Utf8Arguments(std::vector<std::string>* text, std::vector<char*>* argv) {
    text->clear();
    argv->clear();
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
        text->push_back(std::move(arg));
    }
    LocalFree(wide);
    for (std::string& arg : *text) argv->push_back(arg.data());
    argv->push_back(nullptr);
    return true;
}
