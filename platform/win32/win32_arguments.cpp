#include "platform/win32/win32_arguments.h"

#include "platform/win32/win32_api.h"

#include <shellapi.h>

#include "platform/win32/win32_utf8.h"

bool Win32Utf8Arguments(std::vector<std::string>* text, std::vector<char*>* argv) {
    text->clear();
    argv->clear();
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        text->push_back(Utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    for (std::string& arg : *text) argv->push_back(arg.data());
    argv->push_back(nullptr);
    return true;
}
