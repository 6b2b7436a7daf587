// A plain ordered list of strings, kept in the order they were added.
#pragma once

#include <vector>

#include "System.h"

class TStrings : public TObject {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const UnicodeString& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }
    void Add(UnicodeString s) { items_.push_back(std::move(s)); }
    void Clear() { items_.clear(); }

private:
    std::vector<UnicodeString> items_;
};

class TStringList : public TStrings {};
