#include "engine/RLRegistration.h"

#include "engine/RLReport.h"
#include "platform/DataSet.h"
#include "platform/SqlDataSet.h"

#include <mutex>

namespace {

// Several classes publish one of the control's protected decision slots as a public reference named
// BeforePrint; a pointer to member cannot name a reference, so these events bind through an accessor.
template <class T, class F, class Access>
void RegisterEventThrough(TClassRegistry& registry, const QString& name, Access access)
{
    TEventAdaptor adaptor;
    adaptor.Signature = std::type_index(typeid(F));
    adaptor.Bind = [access](QObject* instance, const std::any& handler) {
        access(static_cast<T*>(instance)) = std::any_cast<const F&>(handler);
    };
    adaptor.IsAssigned = [access](const QObject* instance) {
        return bool(access(static_cast<T*>(const_cast<QObject*>(instance))));
    };
    registry.RegisterEvent(&T::staticMetaObject, name, std::move(adaptor));
}

} // namespace

void RLRegisterReportClasses(TClassRegistry& registry)
{
    const QString beforePrint = QStringLiteral("BeforePrint");

    registry.RegisterClass<TRLReport>();
    registry.RegisterClass<TRLBand>();
    registry.RegisterClass<TRLGroup>();
    registry.RegisterClass<TRLLabel>();
    registry.RegisterClass<TRLDBText>();
    registry.RegisterClass<TRLSystemInfo>();
    registry.RegisterClass<TRLDraw>();

    // Every control.
    registry.RegisterEvent(QStringLiteral("AfterPrint"), &TRLCustomControl::AfterPrint);
    registry.RegisterEvent(QStringLiteral("OnMeasureHeight"), &TRLCustomControl::OnMeasureHeight);

    // Text controls decide with their text; bands, groups, drawings and the report without it.
    RegisterEventThrough<TRLCustomLabel, TRLBeforeTextEvent>(registry, beforePrint,
        [](TRLCustomLabel* label) -> TRLBeforeTextEvent& { return label->BeforePrint; });
    RegisterEventThrough<TRLCustomBand, TRLBeforePrintEvent>(
        registry, beforePrint, [](TRLCustomBand* band) -> TRLBeforePrintEvent& { return band->BeforePrint; });
    RegisterEventThrough<TRLGroup, TRLBeforePrintEvent>(
        registry, beforePrint, [](TRLGroup* group) -> TRLBeforePrintEvent& { return group->BeforePrint; });
    RegisterEventThrough<TRLDraw, TRLBeforePrintEvent>(
        registry, beforePrint, [](TRLDraw* draw) -> TRLBeforePrintEvent& { return draw->BeforePrint; });
    RegisterEventThrough<TRLCustomReport, TRLBeforePrintEvent>(registry, beforePrint,
        [](TRLCustomReport* report) -> TRLBeforePrintEvent& { return report->BeforePrint; });

    registry.RegisterEvent(QStringLiteral("OnGetBreak"), &TRLCustomGroup::OnGetBreak);
    registry.RegisterEvent(QStringLiteral("OnNeedData"), &TRLCustomSkipper::OnNeedData);
    registry.RegisterEvent(QStringLiteral("OnDataCount"), &TRLCustomSkipper::OnDataCount);
    registry.RegisterEvent(QStringLiteral("OnDataRecord"), &TRLCustomSkipper::OnDataRecord);
    registry.RegisterEvent(QStringLiteral("OnPageStarting"), &TRLCustomReport::OnPageStarting);
    registry.RegisterEvent(QStringLiteral("OnPageEnding"), &TRLCustomReport::OnPageEnding);
    registry.RegisterEvent(QStringLiteral("OnFilterText"), &TRLCustomReport::OnFilterText);

    // The data sets beside the report.
    registry.RegisterEvent(QStringLiteral("BeforeOpen"), &TDataSet::BeforeOpen);
    registry.RegisterEvent(QStringLiteral("AfterOpen"), &TDataSet::AfterOpen);
    registry.RegisterEvent(QStringLiteral("BeforeClose"), &TDataSet::BeforeClose);
    registry.RegisterEvent(QStringLiteral("AfterClose"), &TDataSet::AfterClose);
    registry.RegisterEvent(QStringLiteral("OnGetText"), &TField::OnGetText);
    registry.RegisterClass<TQuery>();
    registry.RegisterClass<TTable>();
    registry.RegisterClass<TDataSource>();
}

void RLRegisterReportClasses()
{
    static std::once_flag once;
    std::call_once(once, [] { RLRegisterReportClasses(ClassRegistry()); });
}
