#pragma once

// A control's window text, set and read as the dialog framework does it: a
// control may answer both requests itself (a progress bar shows the text it
// is given instead of its percentage); otherwise buttons and labels carry it
// as their caption and other widgets as their window title.

#include <cstddef>
#include <string>

class QWidget;

namespace velmoro::toolkit {

class IWindowTextHandler {
public:
    virtual ~IWindowTextHandler() = default;
    // text may be null. Returns what the window's own handling returns.
    virtual bool OnSetText(const char* text) = 0;
    // Copies at most size bytes into buffer; returns how many were copied.
    virtual std::size_t OnGetText(char* buffer, std::size_t size) const = 0;
};

bool SetWindowText(QWidget* window, const char* text);
std::size_t GetWindowText(const QWidget* window, char* buffer, std::size_t size);
// The whole text, for callers that do not keep a buffer.
std::string GetWindowText(const QWidget* window);

}  // namespace velmoro::toolkit
