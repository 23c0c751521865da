#include "filters/RLFilterRegistration.h"

#include "filters/RLDataFilter.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLSpoolFilter.h"
#include "filters/RLXLSFilter.h"

#include <mutex>

void RLRegisterFilterClasses(TClassRegistry& registry)
{
    registry.RegisterClass<TRLPDFFilter>();
    registry.RegisterClass<TRLXLSFilter>();
    registry.RegisterClass<TRLSpoolFilter>();
    registry.RegisterClass<TRLXLSXFilter>();
    registry.RegisterClass<TRLCSVFilter>();
}

void RLRegisterFilterClasses()
{
    static std::once_flag once;
    std::call_once(once, [] { RLRegisterFilterClasses(ClassRegistry()); });
}
