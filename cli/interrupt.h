#pragma once

// Turns Ctrl-C (SIGINT, SIGTERM; the console's break events on Windows) into
// a Qt signal delivered by the event loop, where handlers may do anything.

#include <QObject>

namespace velmoro {

class CInterruptNotifier : public QObject {
    Q_OBJECT

public:
    explicit CInterruptNotifier(QObject* parent = nullptr);
    ~CInterruptNotifier() override;

signals:
    void Interrupted();
};

}  // namespace velmoro
