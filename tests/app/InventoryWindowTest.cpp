#include "app/untRelatorioInventario.h"

#include "InventoryTestSupport.h"
#include "engine/RLReport.h"
#include "engine/RLServices.h"
#include "platform/Format.h"
#include "platform/SqlDataSet.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QInputDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A window with every dialog answered by the test.
struct TScriptedWindow
{
    QPointer<TFrmInventario> Window;
    bool Confirm = true;
    QString Typed;
    QString PromptCaption, PromptText, PromptDefault;
    QStringList Warnings, Errors;
    int Terminations = 0;
    int Previews = 0;
    QString HeadingAtPreview;

    TScriptedWindow()
    {
        Window = new TFrmInventario();
        Window->InputQuery = [this](const QString& caption, const QString& prompt, QString& value) {
            PromptCaption = caption;
            PromptText = prompt;
            PromptDefault = value;
            if (Confirm)
                value = Typed;
            return Confirm;
        };
        Window->ShowWarning = [this](const QString& text) { Warnings.append(text); };
        Window->ShowError = [this](const QString& text) { Errors.append(text); };
        Window->Terminate = [this] { ++Terminations; };
        Services.emplace([this](TRLServices& services) {
            services.Preview = [this](TRLCustomReport* report) {
                ++Previews;
                HeadingAtPreview = Window->Report().RLLabel8->Caption();
                EXPECT_EQ(report, Window->Report().RLReport1);
                return true;
            };
        });
    }
    ~TScriptedWindow()
    {
        Services.reset();
        delete Window.data();
    }
    std::optional<TRLServicesScope> Services;
};

class InventoryWindowTest : public ::testing::Test
{
protected:
    void UseDatabase(const QList<TProductRow>& rows)
    {
        ASSERT_TRUE(FFolder.isValid());
        FScope = std::make_unique<TAliasScope>(CreateInventoryDatabase(FFolder.path(), "loja.db", rows));
    }
    QTemporaryDir FFolder;
    std::unique_ptr<TAliasScope> FScope;
};

TEST_F(InventoryWindowTest, WindowLooksAsDesigned)
{
    UseDatabase(SimpleProducts(1));
    TScriptedWindow scripted;
    TFrmInventario* w = scripted.Window;
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Consulta Inventário"));
    EXPECT_EQ(w->size(), QSize(275, 93));
    EXPECT_EQ(w->minimumSize(), QSize(275, 93));
    EXPECT_EQ(w->maximumSize(), QSize(275, 93));
    const Qt::WindowFlags flags = w->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(w->palette().color(QPalette::Window), w->palette().color(QPalette::Button));
    EXPECT_EQ(w->GroupBox1->title(), QStringLiteral("Inventário"));
    EXPECT_EQ(w->GroupBox1->geometry(), QRect(11, 8, 254, 73));
    EXPECT_EQ(w->GroupBox1->font().family(), QStringLiteral("Verdana"));
    EXPECT_EQ(w->GroupBox1->font().pixelSize(), 11);
    EXPECT_EQ(w->cxButton2->text(), QStringLiteral("Relatório"));
    EXPECT_EQ(w->cxButton2->geometry(), QRect(46, 31, 75, 25));
    EXPECT_EQ(w->cxButton1->text(), QStringLiteral("Sair"));
    EXPECT_EQ(w->cxButton1->geometry(), QRect(134, 31, 75, 25));
    EXPECT_EQ(w->cxButton2->nextInFocusChain(), w->cxButton1);
}

TEST_F(InventoryWindowTest, ShowingTheWindowRunsTheReportOnceAndTerminates)
{
    UseDatabase(SimpleProducts(3));
    TScriptedWindow scripted;
    scripted.Typed = QStringLiteral("abc");
    scripted.Window->show();
    QTRY_COMPARE(scripted.Terminations, 1);
    EXPECT_EQ(scripted.PromptCaption, QStringLiteral("Data do Inventário"));
    EXPECT_EQ(scripted.PromptText, QStringLiteral("Informe a Data de Referência:"));
    EXPECT_EQ(scripted.PromptDefault, DateToStr(QDate::currentDate()));
    EXPECT_EQ(scripted.Previews, 1);
    EXPECT_EQ(scripted.HeadingAtPreview, QStringLiteral("abc"));
    EXPECT_TRUE(scripted.Warnings.isEmpty());
    EXPECT_TRUE(scripted.Errors.isEmpty());
}

TEST_F(InventoryWindowTest, CancelledPromptStillRunsWithTodaysDate)
{
    UseDatabase(SimpleProducts(2));
    TScriptedWindow scripted;
    scripted.Confirm = false;
    scripted.Typed = QStringLiteral("ignored");
    scripted.Window->cxButton2->click();
    EXPECT_EQ(scripted.Previews, 1);
    EXPECT_EQ(scripted.HeadingAtPreview, DateToStr(QDate::currentDate()));
    EXPECT_EQ(scripted.Terminations, 1);
}

TEST_F(InventoryWindowTest, NoRowsShowsOnlyTheWarning)
{
    QList<TProductRow> rows = SimpleProducts(2);
    for (TProductRow& row : rows)
        row.Balance = 0.0; // nothing the statement keeps
    UseDatabase(rows);
    TScriptedWindow scripted;
    scripted.Window->cxButton2->click();
    EXPECT_EQ(scripted.Warnings, QStringList { QStringLiteral("Não Retornou Dados!") });
    EXPECT_EQ(scripted.Previews, 0);
    EXPECT_EQ(scripted.Terminations, 1);
}

TEST_F(InventoryWindowTest, QueryFailureGoesToTheErrorDisplayAndStillEnds)
{
    UseDatabase(SimpleProducts(2));
    TScriptedWindow scripted;
    // A statement the database refuses.
    auto* query = qobject_cast<TQuery*>(scripted.Window->Report().qryRelatorio);
    ASSERT_NE(query, nullptr);
    query->SetSQL({ QStringLiteral("select * from tabela_inexistente") });
    scripted.Window->cxButton2->click();
    ASSERT_EQ(scripted.Errors.size(), 1);
    EXPECT_TRUE(scripted.Errors.first().contains(QLatin1String("qryRelatorio")))
        << scripted.Errors.first().toStdString();
    EXPECT_EQ(scripted.Previews, 0);
    EXPECT_TRUE(scripted.Warnings.isEmpty());
    EXPECT_EQ(scripted.Terminations, 1);
}

TEST_F(InventoryWindowTest, EscapeAndSairCloseTheWindow)
{
    UseDatabase(SimpleProducts(1));
    struct TCase
    {
        const char* Name;
        std::function<void(TFrmInventario*)> Act;
    } cases[] = {
        { "Escape on the focused button",
            [](TFrmInventario* w) { QTest::keyClick(w->cxButton1, Qt::Key_Escape); } },
        { "Escape on the window", [](TFrmInventario* w) { QTest::keyClick(w, Qt::Key_Escape); } },
        { "Sair", [](TFrmInventario* w) { w->cxButton1->click(); } },
    };
    for (const TCase& c : cases) {
        TScriptedWindow scripted;
        FrmInventario = scripted.Window;
        c.Act(scripted.Window);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(scripted.Window.isNull()) << c.Name;
        EXPECT_TRUE(FrmInventario.isNull()) << c.Name;
        EXPECT_EQ(scripted.Previews, 0) << c.Name;
    }
    // Other keys are left alone.
    TScriptedWindow scripted;
    QTest::keyClick(scripted.Window->cxButton1, Qt::Key_A);
    EXPECT_FALSE(scripted.Window.isNull());
    EXPECT_FALSE(scripted.Window->FormKeyPress('a'));
}

} // namespace

TEST(InventoryDatePrompt, TitleIsNotSqueezedByTheWindowManager)
{
    const QString caption = QStringLiteral("Data do Inventário");
    const std::unique_ptr<QInputDialog> box = NewInputBox(
        nullptr, caption, QStringLiteral("Informe a Data de Referência:"), QStringLiteral("01/02/2024"));
    EXPECT_EQ(box->windowTitle(), caption);
    EXPECT_EQ(box->labelText(), QStringLiteral("Informe a Data de Referência:"));
    EXPECT_EQ(box->textValue(), QStringLiteral("01/02/2024"));
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    // Whole in a bold title font, beside an icon and three title-bar buttons of at least 24 pixels.
    QFont bold = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    bold.setBold(true);
    const int needed = QFontMetrics(bold).horizontalAdvance(caption) + 4 * 24;
    EXPECT_GE(box->width(), needed);
    EXPECT_GE(TitleBarWidth(caption), needed);
    // A longer title gets a wider box.
    EXPECT_GT(TitleBarWidth(caption + caption), TitleBarWidth(caption));
    const std::unique_ptr<QInputDialog> longer
        = NewInputBox(nullptr, caption + caption, QString(), QString());
    longer->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(longer.get()));
    EXPECT_GE(longer->width(), TitleBarWidth(caption + caption));
}
