#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

std::unique_ptr<QTranslator>& Installed()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

} // namespace

bool InstallQtTranslations(const QLocale& Locale, const QString& Folder)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    std::unique_ptr<QTranslator>& installed = Installed();
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    const QString folder = Folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : Folder;
    auto translator = std::make_unique<QTranslator>();
    // qtbase holds every widget's and dialog's texts; the locale's UI languages are tried in order
    // (pt_BR, then pt).
    if (!translator->load(Locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder))
        return false;
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    installed = std::move(translator);
    return true;
}
