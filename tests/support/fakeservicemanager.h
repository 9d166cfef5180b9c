#pragma once

#include <QMetaObject>
#include <QObject>
#include <QStringList>

#include "platform/recordingscheduler.h"

// Records what would have been asked of the user manager, and answers at once
// (from the event loop, as systemctl would).
class FakeServiceManager final : public platform::ServiceManager
{
public:
    bool isRunning() const override { return running; }
    void run(const QStringList &arguments, QObject *context, Done done) override
    {
        calls.append(arguments.join(QLatin1Char(' ')));
        const bool ok = !arguments.contains(failing);
        QMetaObject::invokeMethod(
            context, [done, ok] { done(ok, ok ? QString() : QStringLiteral("refused")); }, Qt::QueuedConnection);
    }

    bool running = true;
    QString failing; // an argument whose command fails
    QStringList calls;
};
