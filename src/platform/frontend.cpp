#include "platform/frontend.h"

namespace platform
{

namespace
{

class SilentFrontEnd final : public FrontEnd
{
public:
    void showMessage(const QString &) override {}
    void captionChanged(const QString &) override {}
    void trayChanged(const TrayState &) override {}
    void exitProcess(int) override {}
};

FrontEnd *g_frontEnd = nullptr;

} // namespace

FrontEnd &frontEnd()
{
    static SilentFrontEnd silent;
    return g_frontEnd ? *g_frontEnd : silent;
}

void setFrontEnd(FrontEnd *frontEnd)
{
    g_frontEnd = frontEnd;
}

} // namespace platform
