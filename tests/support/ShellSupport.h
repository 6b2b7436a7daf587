// How the shell and selection tests show wide strings and check vectors in
// their failure messages.
#pragma once

#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace doctest {
template <>
struct StringMaker<std::wstring> {
    static String convert(const std::wstring& w) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                                          nullptr);
        std::string s(static_cast<size_t>(n), '\0');
        if (n) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
        return ("\"" + s + "\"").c_str();
    }
};
template <>
struct StringMaker<std::vector<bool>> {
    static String convert(const std::vector<bool>& v) {
        std::string s = "[";
        for (bool b : v) s += b ? 'x' : '.';
        return (s + "]").c_str();
    }
};
}  // namespace doctest
