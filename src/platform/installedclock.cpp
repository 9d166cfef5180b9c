#include "platform/installedclock.h"

namespace platform
{

namespace
{

class InstalledClock final : public Clock
{
public:
    qint32 tickCount() const override { return clock().tickCount(); }
    qint64 monotonicMs() const override { return clock().monotonicMs(); }
    QDateTime now() const override { return clock().now(); }
    CallId callAfter(int milliseconds, QObject *context, std::function<void()> fn) override
    {
        return clock().callAfter(milliseconds, context, std::move(fn));
    }
    void cancelCall(CallId id) override { clock().cancelCall(id); }
};

} // namespace

Clock &installedClock()
{
    static InstalledClock installed;
    return installed;
}

} // namespace platform
