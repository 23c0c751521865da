// Qt's own dialogs speak the user's language: the translations of Debian's qt6-translations-l10n are
// loaded for a Brazilian locale, and the texts Qt puts on its buttons and dialogs change with them.
#include "app/QtTranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class QtTranslations : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString file
            = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_pt_BR.qm");
        if (!QFileInfo::exists(file))
            GTEST_SKIP() << file.toStdString()
                         << " is missing: run scripts/install-deps.sh (qt6-translations-l10n)";
    }
    // Back to Qt's own English for the tests that follow.
    void TearDown() override { InstallQtTranslations(QLocale(QLocale::C)); }
};

QString CancelText(QInputDialog& dialog)
{
    // The dialog makes its buttons when it is first shown.
    dialog.show();
    dialog.hide();
    auto* box = dialog.findChild<QDialogButtonBox*>();
    return box && box->button(QDialogButtonBox::Cancel) ? box->button(QDialogButtonBox::Cancel)->text()
                                                        : QString();
}

TEST_F(QtTranslations, ABrazilianLocaleGivesPortugueseButtonsAndDialogs)
{
    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::Portuguese, QLocale::Brazil)));
    QInputDialog input;
    input.setLabelText(QStringLiteral("Data do inventário:"));
    EXPECT_EQ(CancelText(input), QStringLiteral("Cancelar"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), QStringLiteral("Salvar como"));
    EXPECT_NE(QCoreApplication::translate("QPageSetupWidget", "Orientation"), QStringLiteral("Orientation"));
}

TEST_F(QtTranslations, ALanguageWithoutTranslationsLeavesQtInEnglishAndASecondCallReplacesTheFirst)
{
    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::Portuguese, QLocale::Brazil)));
    EXPECT_FALSE(InstallQtTranslations(QLocale(QLocale::C)));
    QInputDialog input;
    EXPECT_EQ(CancelText(input).remove(u'&'), QStringLiteral("Cancel"));
    // Reinstalling does not stack translators: one removal brings English back.
    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::Portuguese, QLocale::Brazil)));
    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::Portuguese, QLocale::Brazil)));
    EXPECT_FALSE(InstallQtTranslations(QLocale(QLocale::C)));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    EXPECT_FALSE(InstallQtTranslations(
        QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("/nenhuma/pasta")));
}

} // namespace
