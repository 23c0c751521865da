#include "engine/RLConsts.h"
#include "engine/RLUtils.h"
#include "platform/Format.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// The expected texts, one slot a line: slot|Portuguese|English|French|Spanish. Kept as plain text,
// apart from the table the engine compiles, so a slip in either shows as a mismatch.
constexpr char16_t ExpectedTable[]
    = uR"(0|Imprimindo o relatório...|Printing in progress...|Impression du rapport...|Impresión en marcha...
1|Salvando o relatório...|Saving report...|Sauver le rapport...|Guardando el informe...
2|Preparando o relatório...|Preparing report...|Préparation du rapport...|Preparación del informe...
3|Nenhuma impressora encontrada|Printer not found|Imprimante non trouvée|Impresora no encontrada
4|Caminho inválido para a impressora|Invalid printer path|Invalid printer path|Caminho inválido para a impressora
5|Será carregada a configuração padrão|Load default configuration|Chargement de la configuration standard|Cargar la configuración estándar
6|Erro no driver da impressora|Printer driver error|Erreur dans le driver d'impression|Error en driver de la impresora
7|Página|Page|Page|Página
8|Erro durante a preparação do relatório|Error while preparing report|Erreur durant la prépartaion du rapport|Un error ocurrió mientras se preparaba el informe
9|Continua...|Continues...|Saut de page...|Continúa...
10|Continuação|Continuation|A suivre|Continuación
11|Fim|End|Fin|Extremo
12|Arquivo não encontrado|File not found|Fichier non trouvé|Archivo no encontrado
13|Nome do arquivo|File Name|Nom de Fichier|Nombre del Archivo
14|Todos os arquivos|All files|Tous les fichiers|Todos los archivos
15|Carregar relatório|Load report|Ouvrir rapport|Cargar el informe
16|Não encontrado|Not found|Non trouvé|No encontrado
17|Aguarde...|Wait...|Patientez...|Espera...
18|Concluído|Finished|Fini|Finalizado
19|Cancelar|Cancel|Annulé|Cancelar
20|Fechar|Close|Fermé|Cerrar
21|Salvar|Save|Sauver|Guardar
22|Enviar|Send|Envoyez|Enviar
23|Imprimir|Print|Imprimer|Imprimir
24|Sobre o|About|A propos de|Sobre
25|Pré-visualização|Preview|Aperçu avant impression|Ver
26|de|of|de|de
27|Zoom|Zoom|Zoom|Zoom
28|Primeira página|First page|Première page|Primera página
29|Página anterior|Prior page|Page précédente|Página anterior
30|Próxima página|Next page|Page suivante|Página siguiente
31|Última página|Last page|Dernière page|Última página
32|Página inteira|Entire page|Page entière|Página entera
33|Largura da página|Entire width|Pleine largeur|Ancho completo
34|Várias páginas|Multiple pages|Plusieurs pages|Varias páginas
35|Configurar impressora|Configure printer|Configuration de l'imprimante|Configurar la impresora
36|Salvar em disco|Save to file|Enregistrer sous|Guardar en un archivo
37|Enviar para|Send to|Envoyez à|Envíar a
38|Impressora|Printer|Imprimante|Impresora
39|Nome|Name|Nom|Nombre
40|Imprimir em arquivo|Print to file|Imprimer dans un fichier|Imprimir a un archivo
41|Imprimir em segundo plano|Print in background|Imprimer dans background|Imprimir en background
42|Salvar em segundo plano|Save in background|Enregistrer dans background|Guardar en background
43|Intervalo de páginas|Page range|Intervalle de pages|Intervalo de páginas
44|de|from|de|de
45|até|to|à|a
46|Tudo|All|Tout|Todas
47|Páginas|Pages|Pages|Páginas
48|Seleção|Selection|Sélection|Selección
49|Cópias|Copies|Copies|Copias
50|Número de cópias|Number of copies|Nombre de copies|Número de copias
51|Ok|Ok|Ok|Ok
52|Dividir a tela|Divide the screen|Dividir a tela|Dividir la pantalla
53|Nome inválido|Invalid name|Nom inadmissible|Nombre inválido
54|Nome já utilizado|Name already in use|Nom reproduit|Nombre ya en uso
55|Usar Filtro|Use filter|Use filter|Usar Filtro
56|Página da Web|Web page|Page de Web|Página Web
57|Formato RichText|RichText Format|Formato RichText|Formato RichText
58|Documento PDF|PDF Document|Documento PDF|Documento PDF
59|Planilha Excel|Excel spreadsheet|Excel tableur|Planilha Excel
60|em|at|à|en
61|Formulário|Form|Formulaire|Formulario
62|Padrão|Default|Défaut|Estándar
63|cols|cols|cols|cols
64|Aumentar o zoom|Increase zoom|Grandir zoom|Aumentar zoom
65|Diminuir o zoom|Decrease zoom|Réduire zoom|Disminuir zoom
66|Copiar|Copy|Copier|Copiar
67|Editar|Edit|Edit|Editar
68|Procurar|Find|Trouvaille|Buscar
69|Te&xto|Te&xt|Te&xte|Te&xto
70|&Próxima|Find &Next|A&près|&Siguiente
71|Palavras &inteiras|&Whole words only|Mots &entiers seulement|Palabras &completas sólamente
72|Diferenciar &maiúsculas de minúsculas|&Match Case|Cas d'allu&mette|Diferenciar &mayúsculas y minúsculas
73|A&cima|&Up|Le &Haut|En&cima
74|A&baixo|&Down|Le &bas|&Abajo
75|Direção|Direction|Direction|Dirección
)";

struct TExpectedRow
{
    int Slot = -1;
    QString Texts[RLLanguageCount];
};

QList<TExpectedRow> ExpectedRows()
{
    QList<TExpectedRow> rows;
    const QStringList lines = QString::fromUtf16(ExpectedTable).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList cells = line.split(u'|');
        if (cells.size() != 5) {
            ADD_FAILURE() << "malformed expected row: " << line.toStdString();
            continue;
        }
        TExpectedRow row;
        row.Slot = cells[0].toInt();
        row.Texts[lgPortuguese] = cells[1];
        row.Texts[lgEnglish] = cells[2];
        row.Texts[lgFrench] = cells[3];
        row.Texts[lgSpanish] = cells[4];
        rows.append(row);
    }
    return rows;
}

int PrimaryIdOf(TRLLanguage language)
{
    switch (language) {
    case lgPortuguese:
        return 0x16;
    case lgFrench:
        return 0x0C;
    case lgSpanish:
        return 0x0A;
    default:
        return 0x09;
    }
}

// Tests switch the language; each puts back the one it found.
class RLConstsTest : public ::testing::Test
{
protected:
    void SetUp() override { FSaved = RLActiveLanguage(); }
    void TearDown() override { RLSelectLanguage(PrimaryIdOf(FSaved)); }

private:
    TRLLanguage FSaved = lgEnglish;
};

const char* LanguageName(TRLLanguage language)
{
    static const char* const Names[] = { "Portuguese", "English", "French", "Spanish" };
    return Names[language];
}

TEST_F(RLConstsTest, EverySlotOfEveryLanguageHoldsItsText)
{
    const QList<TExpectedRow> rows = ExpectedRows();
    ASSERT_EQ(rows.size(), RLMessageCount);
    for (int i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].Slot, i) << "expected rows out of order";
        for (int language = 0; language < RLLanguageCount; ++language) {
            const auto lang = static_cast<TRLLanguage>(language);
            EXPECT_EQ(RLMessageIn(lang, i), rows[i].Texts[language])
                << "slot " << i << ", " << LanguageName(lang);
        }
    }
}

TEST_F(RLConstsTest, SelectingALanguageCopiesItsWholeColumnIntoTheSlots)
{
    const QList<TExpectedRow> rows = ExpectedRows();
    ASSERT_EQ(rows.size(), RLMessageCount);
    for (int language = 0; language < RLLanguageCount; ++language) {
        const auto lang = static_cast<TRLLanguage>(language);
        RLSelectLanguage(PrimaryIdOf(lang));
        EXPECT_EQ(RLActiveLanguage(), lang);
        for (int slot = 0; slot < RLMessageCount; ++slot)
            EXPECT_EQ(RLMessage(slot), rows[slot].Texts[language])
                << "slot " << slot << ", " << LanguageName(lang);
    }
}

TEST_F(RLConstsTest, NamedSlotsPointAtTheirTexts)
{
    struct Case
    {
        int Slot;
        const char16_t* English;
    };
    const Case cases[] = {
        { RLMsgPrintingInProgress, u"Printing in progress..." },
        { RLMsgPage, u"Page" },
        { RLMsgErrorWhilePreparing, u"Error while preparing report" },
        { RLMsgContinues, u"Continues..." },
        { RLMsgContinuation, u"Continuation" },
        { RLMsgEnd, u"End" },
        { RLMsgNotFound, u"Not found" },
        { RLMsgPreview, u"Preview" },
        { RLMsgRangeFrom, u"from" },
        { RLMsgRangeTo, u"to" },
        { RLMsgInvalidName, u"Invalid name" },
        { RLMsgNameAlreadyInUse, u"Name already in use" },
        { RLMsgPDFDocument, u"PDF Document" },
        { RLMsgSpreadsheet, u"Excel spreadsheet" },
        { RLMsgFindNext, u"Find &Next" },
        { RLMsgDirection, u"Direction" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(RLMessageIn(lgEnglish, c.Slot), QString::fromUtf16(c.English)) << "slot " << c.Slot;
}

TEST_F(RLConstsTest, PrimaryLanguageIdChoosesTheColumn)
{
    struct Case
    {
        int Id;
        TRLLanguage Expected;
    };
    const Case cases[] = {
        { 0x16, lgPortuguese },
        { 0x0416, lgPortuguese },
        { 0x0816, lgPortuguese }, // Brazil, Portugal
        { 0x0C, lgFrench },
        { 0x040C, lgFrench },
        { 0x0C0C, lgFrench },
        { 0x0A, lgSpanish },
        { 0x0C0A, lgSpanish },
        { 0x09, lgEnglish },
        { 0x0409, lgEnglish },
        { 0x07, lgEnglish },
        { 0x10, lgEnglish },
        { 0x00, lgEnglish },
        { -1, lgEnglish },
    };
    for (const Case& c : cases)
        EXPECT_EQ(RLLanguageFor(c.Id), c.Expected) << "id 0x" << std::hex << c.Id;
}

TEST_F(RLConstsTest, PreviewCaptionFollowsTheUsersLocale)
{
    struct Case
    {
        const char* Locale;
        const char16_t* Preview;
    };
    const Case cases[] = {
        { "pt_BR", u"Pré-visualização" },
        { "pt_PT", u"Pré-visualização" },
        { "fr_FR", u"Aperçu avant impression" },
        { "fr_CA", u"Aperçu avant impression" },
        { "es_ES", u"Ver" },
        { "de_DE", u"Preview" },
        { "en_US", u"Preview" },
        { "ja_JP", u"Preview" },
        { "C", u"Preview" },
    };
    for (const Case& c : cases) {
        RLSelectLanguage(LocalePrimaryLanguage(QLocale(QString::fromLatin1(c.Locale))));
        EXPECT_EQ(RLMessage(RLMsgPreview), QString::fromUtf16(c.Preview)) << c.Locale;
    }
}

TEST_F(RLConstsTest, StartUpChoosesTheSystemLocalesLanguage)
{
    RLSelectLanguage(LocalePrimaryLanguage(QLocale(QStringLiteral("ja_JP"))));
    // Undo and redo the start-up, which chooses the language again from the system locale.
    RLUtilsFinalize();
    RLUtilsInitialize();
    EXPECT_EQ(RLActiveLanguage(), RLLanguageFor(LocalePrimaryLanguage(QLocale::system())));
    if (QLocale::system().language() == QLocale::Portuguese) { // the test run's own locale
        EXPECT_EQ(RLMessage(RLMsgPreview), QString::fromUtf16(u"Pré-visualização"));
    }
}

TEST_F(RLConstsTest, SlotsOutOfRangeReadAsEmptyText)
{
    EXPECT_TRUE(RLMessage(-1).isEmpty());
    EXPECT_TRUE(RLMessage(RLMessageCount).isEmpty());
    EXPECT_TRUE(RLMessage(100000).isEmpty());
    EXPECT_TRUE(RLMessageIn(static_cast<TRLLanguage>(7), 0).isEmpty());
    EXPECT_FALSE(RLMessage(RLMessageCount - 1).isEmpty());
}

TEST_F(RLConstsTest, ReadersOnOtherThreadsSeeCompleteTexts)
{
    RLSelectLanguage(0x16);
    std::vector<std::thread> readers;
    std::atomic<int> wrong { 0 };
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&wrong] {
            for (int round = 0; round < 200; ++round)
                for (int slot = 0; slot < RLMessageCount; ++slot)
                    if (RLMessage(slot) != RLMessageIn(lgPortuguese, slot))
                        ++wrong;
        });
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(RLConstsTest, FailureTextsAreFilledWithTheSamePlaceholdersInEveryLanguage)
{
    const QRegularExpression placeholder(QStringLiteral("%[0-9]"));
    for (int message = 0; message < RLFailureMessageCount; ++message) {
        QStringList expected;
        for (int language = 0; language < RLLanguageCount; ++language) {
            const QString& text = RLFailureTextIn(static_cast<TRLLanguage>(language), message);
            EXPECT_FALSE(text.isEmpty()) << message << " " << language;
            QStringList found;
            for (const QRegularExpressionMatch& m : placeholder.globalMatch(text))
                found << m.captured();
            found.sort();
            if (language == 0)
                expected = found;
            EXPECT_EQ(found, expected) << "message " << message << ", language " << language;
        }
    }
    EXPECT_TRUE(RLFailureText(-1).isEmpty());
    EXPECT_TRUE(RLFailureText(RLFailureMessageCount).isEmpty());
    // The slots are untouched by the failure table.
    EXPECT_TRUE(RLMessage(RLMessageCount).isEmpty());
    EXPECT_EQ(RLFailureTextIn(lgPortuguese, RLFailNoSpace), QStringLiteral("Não há espaço no disco"));
    EXPECT_EQ(RLFailureTextIn(lgPortuguese, RLFailFileTooLarge), QStringLiteral("Arquivo muito grande"));
}

// The file helpers sit below the engine and cannot read its slots, so "file not found" as the cause of
// a failed read is in the failure table too: it must say what the engine's slot says.
TEST_F(RLConstsTest, FileNotFoundCauseSaysWhatTheEnginesSlotSays)
{
    for (int language = 0; language < RLLanguageCount; ++language)
        EXPECT_EQ(RLFailureTextIn(static_cast<TRLLanguage>(language), RLFailFileNotFound),
            RLMessageIn(static_cast<TRLLanguage>(language), RLMsgFileNotFound))
            << "language " << language;
}

} // namespace
