#include "window_text.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <cstring>

namespace velmoro::toolkit {

bool SetWindowText(QWidget* window, const char* text) {
    if (window == nullptr) {
        return false;
    }
    if (auto* handler = dynamic_cast<IWindowTextHandler*>(window)) {
        return handler->OnSetText(text);
    }
    const QString value = QString::fromLatin1(text != nullptr ? text : "");
    if (auto* button = dynamic_cast<QAbstractButton*>(window)) {
        button->setText(value);
    } else if (auto* label = dynamic_cast<QLabel*>(window)) {
        label->setText(value);
    } else {
        window->setWindowTitle(value);
    }
    return true;
}

std::size_t GetWindowText(const QWidget* window, char* buffer, std::size_t size) {
    if (window == nullptr || buffer == nullptr || size == 0) {
        return 0;
    }
    if (const auto* handler = dynamic_cast<const IWindowTextHandler*>(window)) {
        return handler->OnGetText(buffer, size);
    }
    QString value;
    if (const auto* button = dynamic_cast<const QAbstractButton*>(window)) {
        value = button->text();
    } else if (const auto* label = dynamic_cast<const QLabel*>(window)) {
        value = label->text();
    } else {
        value = window->windowTitle();
    }
    const QByteArray bytes = value.toLatin1();
    // Room for the terminator, as the platform's own text request leaves.
    const std::size_t count = std::min(static_cast<std::size_t>(bytes.size()), size - 1);
    std::memcpy(buffer, bytes.constData(), count);
    buffer[count] = '\0';
    return count;
}

std::string GetWindowText(const QWidget* window) {
    if (const auto* handler = dynamic_cast<const IWindowTextHandler*>(window)) {
        std::string text(4096, '\0');
        text.resize(handler->OnGetText(text.data(), text.size()));
        return text;
    }
    std::string text(4096, '\0');
    text.resize(GetWindowText(window, text.data(), text.size()));
    return text;
}

}  // namespace velmoro::toolkit
