#include "engine/RLServices.h"

namespace {

TRLServices& Installed()
{
    static TRLServices services;
    return services;
}

} // namespace

const TRLServices& Services()
{
    return Installed();
}

TRLServicesScope::TRLServicesScope(TRLServices Installing)
    : FPrevious(std::exchange(Installed(), std::move(Installing)))
{ }

TRLServicesScope::TRLServicesScope(const std::function<void(TRLServices& Services)>& Change)
    : FPrevious(Installed())
{
    TRLServices changed = FPrevious;
    if (Change)
        Change(changed);
    Installed() = std::move(changed);
}

TRLServices& TRLServicesScope::Installed()
{
    return ::Installed();
}

TRLServicesScope::~TRLServicesScope()
{
    Installed() = std::move(FPrevious);
}

bool HasProgressFactory()
{
    return bool(Installed().Progress);
}

std::unique_ptr<TRLProgress> CreateProgress(
    const QString& Title, int BarCount, TRLProgressCancelProc OnCancel)
{
    // A copy: the display's constructor may run an event loop in which a scope ends.
    const TRLProgressFactory factory = Installed().Progress;
    if (!factory)
        return nullptr;
    return factory(Title, BarCount < 1 ? 1 : BarCount, std::move(OnCancel));
}
