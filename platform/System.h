// Basic types every unit of the program shares: the string type, the root
// object that event handlers receive as their sender, and the error class
// that the message loop knows how to show.
#pragma once

#include <functional>
#include <string>
#include <utility>

using UnicodeString = std::wstring;

class TObject {
public:
    virtual ~TObject() = default;
};

// An event handler: receives the object that raised the event.
using TNotifyEvent = std::function<void(TObject* sender)>;

class Exception {
public:
    explicit Exception(UnicodeString message) : message_(std::move(message)) {}
    virtual ~Exception() = default;
    const UnicodeString& Message() const { return message_; }

private:
    UnicodeString message_;
};

// Replaces the one "%s" in a resource-style message with an argument.
UnicodeString FormatMessage1(const UnicodeString& pattern, const UnicodeString& arg);
