#include "platform/DemoDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QThread>
#include <QVariant>
#include <QVariantList>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// splitmix64: tiny, fast and defined bit for bit, so the same seed gives the same shop everywhere
// (the standard library's distributions are not specified that tightly).
class TDemoRandom
{
public:
    explicit TDemoRandom(std::uint64_t seed)
        : FState(seed)
    { }
    std::uint64_t Next()
    {
        std::uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 <= result < bound (bound > 0); the tiny modulo bias does not matter for made-up data.
    int Below(int bound) { return int(Next() % std::uint64_t(bound)); }

private:
    std::uint64_t FState;
};

constexpr std::uint64_t DemoSeed = 0x5155494C4C424F52ull;

struct TProductKind
{
    const char16_t* Name;
    // Index into the size lists below, and the unit of measure.
    int Sizes;
    const char16_t* Unit;
    bool WholeUnits;
};

const std::array<const char16_t*, 6> SizeLists[] = {
    { u"1KG", u"2KG", u"5KG", u"500G", u"10KG", u"250G" },
    { u"900ML", u"500ML", u"1L", u"2L", u"5L", u"350ML" },
    { u"UN", u"C/6", u"C/12", u"C/24", u"PCT 4", u"PCT 8" },
    { u"1M", u"2M", u"3M", u"5M", u"10M", u"50M" },
};

const TProductKind ProductKinds[] = {
    { u"ARROZ TIPO 1", 0, u"UN", true },
    { u"ARROZ PARBOILIZADO", 0, u"UN", true },
    { u"FEIJÃO CARIOCA", 0, u"UN", true },
    { u"FEIJÃO PRETO", 0, u"UN", true },
    { u"AÇÚCAR CRISTAL", 0, u"KG", false },
    { u"AÇÚCAR REFINADO", 0, u"UN", true },
    { u"CAFÉ TORRADO E MOÍDO", 0, u"UN", true },
    { u"FARINHA DE TRIGO", 0, u"KG", false },
    { u"FARINHA DE MANDIOCA", 0, u"KG", false },
    { u"FUBÁ MIMOSO", 0, u"UN", true },
    { u"MACARRÃO ESPAGUETE", 0, u"PC", true },
    { u"MACARRÃO PARAFUSO", 0, u"PC", true },
    { u"SAL REFINADO", 0, u"UN", true },
    { u"ÓLEO DE SOJA", 1, u"UN", true },
    { u"AZEITE EXTRA VIRGEM", 1, u"UN", true },
    { u"VINAGRE DE ÁLCOOL", 1, u"LT", false },
    { u"LEITE INTEGRAL", 1, u"LT", false },
    { u"LEITE CONDENSADO", 0, u"CX", true },
    { u"CREME DE LEITE", 0, u"CX", true },
    { u"SUCO DE LARANJA", 1, u"LT", false },
    { u"REFRIGERANTE COLA", 1, u"UN", true },
    { u"ÁGUA MINERAL S/ GÁS", 1, u"CX", true },
    { u"CERVEJA PILSEN", 1, u"CX", true },
    { u"SABÃO EM PÓ", 0, u"CX", true },
    { u"SABÃO EM BARRA", 2, u"PC", true },
    { u"DETERGENTE LÍQUIDO", 1, u"UN", true },
    { u"ÁGUA SANITÁRIA", 1, u"LT", false },
    { u"AMACIANTE DE ROUPAS", 1, u"UN", true },
    { u"PAPEL HIGIÊNICO FOLHA DUPLA", 2, u"PC", true },
    { u"CREME DENTAL", 2, u"UN", true },
    { u"SABONETE HIDRATANTE", 2, u"UN", true },
    { u"XAMPU ANTICASPA", 1, u"UN", true },
    { u"BISCOITO CREAM CRACKER", 0, u"PC", true },
    { u"BISCOITO MAISENA", 0, u"PC", true },
    { u"ACHOCOLATADO EM PÓ", 0, u"UN", true },
    { u"MARGARINA C/ SAL", 0, u"UN", true },
    { u"QUEIJO MUÇARELA", 0, u"KG", false },
    { u"PRESUNTO COZIDO", 0, u"KG", false },
    { u"LINGUIÇA TOSCANA", 0, u"KG", false },
    { u"CARNE MOÍDA PATINHO", 0, u"KG", false },
    { u"FRANGO CONGELADO", 0, u"KG", false },
    { u"MILHO VERDE EM CONSERVA", 2, u"UN", true },
    { u"EXTRATO DE TOMATE", 2, u"UN", true },
    { u"SARDINHA EM ÓLEO", 2, u"UN", true },
    { u"FIO ELÉTRICO 2,5MM", 3, u"M", false },
    { u"MANGUEIRA DE JARDIM", 3, u"M", false },
    { u"CORDA DE NÁILON", 3, u"M", false },
    { u"PILHA ALCALINA AA", 2, u"CX", true },
    { u"LÂMPADA LED 9W", 2, u"UN", true },
    { u"VASSOURA DE PÊLO", 2, u"UN", true },
};

const char16_t* const Brands[] = {
    u"BOA SAFRA",
    u"TIO JOSÉ",
    u"SÃO BRAZ",
    u"DONA BENTA",
    u"CAMPO BELO",
    u"BOM SABOR",
    u"SERRA AZUL",
    u"ALVORADA",
    u"PRIMAVERA",
    u"ESTRELA",
    u"PIONEIRO",
    u"SANTA LUZIA",
    u"VALE VERDE",
    u"RIO DOCE",
    u"MINEIRINHO",
    u"GAÚCHA",
    u"NORDESTINA",
    u"CAPIXABA",
    u"PARAÍSO",
    u"BRASILEIRINHO",
    u"QUALITÁ",
    u"ECONÔMICO",
    u"SUPREMO",
    u"IMPERIAL",
};

const char16_t* const Variants[]
    = { u"", u"TRADICIONAL", u"LIGHT", u"PREMIUM", u"ZERO", u"ORGÂNICO", u"INTEGRAL", u"ECONÔMICA" };

struct TDemoProduct
{
    QString Code;
    QString Name;
    QString Unit;
    double Balance = 0;
    double Cost = 0;
    double SalePrice = 0;
    QString Barcode;
    bool HasTaxRow = true;
    QString TaxClass;
    // Negative stands for a NULL rate.
    double Rate = 0;
};

// A rate of -1 is written as NULL.
struct TCoverageCase
{
    const char16_t* TaxClass;
    double Rate;
    int Exclusion; // 0 none, 1 zero balance, 2 negative balance, 3 zero cost, 4 no tax row
};

const TCoverageCase CoverageCases[] = {
    { u"Tributado", 7, 0 },
    { u"Tributado", 12, 0 },
    { u"Tributado", 17, 0 },
    { u"Tributado", 25, 0 },
    { u"Tributado", 0, 0 },
    { u"Tributado", 18, 0 },
    { u"Tributado", 7.5, 0 },
    { u"Tributado", -1, 0 },
    { u"Subst. Tributária", 17, 0 },
    { u"Isento", 0, 0 },
    { u"", 17, 0 },
    { u"Subst. Tributaria", 17, 0 },
    { u"Não Incidência", 12, 0 },
    { u"Tributado", 17, 1 },
    { u"Tributado", 17, 2 },
    { u"Tributado", 17, 3 },
    { u"Tributado", 17, 4 },
};

double RateDrawn(TDemoRandom& random)
{
    const int draw = random.Below(100);
    if (draw < 20)
        return 7;
    if (draw < 45)
        return 12;
    if (draw < 80)
        return 17;
    if (draw < 90)
        return 25;
    if (draw < 94)
        return 0;
    if (draw < 97)
        return 18;
    if (draw < 99)
        return 7.5;
    return -1;
}

// Product number index (0-based) of the generator's stream. Drawing always takes the same number of
// values per product, so the stream stays aligned whatever a product turns out to be.
void NextProduct(TDemoRandom& random, int index, TDemoProduct& product)
{
    const std::uint64_t a = random.Next();
    const std::uint64_t b = random.Next();
    const std::uint64_t c = random.Next();
    const std::uint64_t d = random.Next();

    const TProductKind& kind = ProductKinds[a % std::size(ProductKinds)];
    const char16_t* brand = Brands[(a >> 16) % std::size(Brands)];
    const char16_t* variant = Variants[(a >> 32) % std::size(Variants)];
    const char16_t* size = SizeLists[kind.Sizes][(a >> 48) % SizeLists[kind.Sizes].size()];
    product.Code = QStringLiteral("%1").arg(index + 1, 7, 10, QLatin1Char('0'));
    product.Name = QString::fromUtf16(kind.Name);
    if (*variant)
        product.Name += QLatin1Char(' ') + QString::fromUtf16(variant);
    product.Name
        += QLatin1Char(' ') + QString::fromUtf16(brand) + QLatin1Char(' ') + QString::fromUtf16(size);
    product.Unit = QString::fromUtf16(kind.Unit);

    // Whole units for counted goods, up to three decimals for weighed or measured ones.
    product.Balance = kind.WholeUnits ? double(1 + b % 500) : double(1 + b % 250000) / 1000.0;
    product.Cost = double(50 + (b >> 20) % 49950) / 100.0;
    product.SalePrice = double(std::llround(product.Cost * (130 + (b >> 40) % 70))) / 100.0;
    product.Barcode = QStringLiteral("789%1").arg(qulonglong(c % 10000000000ull), 10, 10, QLatin1Char('0'));

    TDemoRandom draws(d);
    product.HasTaxRow = true;
    product.Rate = 0;
    const int exclusionDraw = draws.Below(1000);
    const int classDraw = draws.Below(1000);
    const double rate = RateDrawn(draws);
    if (index < int(std::size(CoverageCases))) {
        const TCoverageCase& coverage = CoverageCases[index];
        product.TaxClass = QString::fromUtf16(coverage.TaxClass);
        product.Rate = coverage.Rate;
        switch (coverage.Exclusion) {
        case 1:
            product.Balance = 0;
            break;
        case 2:
            product.Balance = -product.Balance;
            break;
        case 3:
            product.Cost = 0;
            break;
        case 4:
            product.HasTaxRow = false;
            break;
        default:
            break;
        }
        return;
    }
    if (exclusionDraw < 30)
        product.Balance = 0;
    else if (exclusionDraw < 45)
        product.Balance = -product.Balance;
    else if (exclusionDraw < 60)
        product.Cost = 0;
    if (classDraw < 50) {
        product.HasTaxRow = false;
    } else if (classDraw < 650) {
        product.TaxClass = QStringLiteral("Tributado");
        product.Rate = rate;
    } else if (classDraw < 820) {
        product.TaxClass = QStringLiteral("Subst. Tributária");
        product.Rate = 17;
    } else if (classDraw < 940) {
        product.TaxClass = QStringLiteral("Isento");
        product.Rate = classDraw % 2 ? 0 : -1;
    } else if (classDraw < 960) {
        product.TaxClass = QString();
        product.Rate = 17;
    } else if (classDraw < 980) {
        product.TaxClass = QStringLiteral("Subst. Tributaria");
        product.Rate = 12;
    } else {
        product.TaxClass = QStringLiteral("Não Incidência");
        product.Rate = 0;
    }
}

[[noreturn]] void DemoError(const QString& message)
{
    throw EDatabaseError(message);
}

void Run(QSqlQuery& query, const QString& statement)
{
    if (!query.exec(statement))
        DemoError(QStringLiteral("Erro ao criar o banco de dados de demonstração: %1 (%2)")
                      .arg(query.lastError().text(), statement));
}

// Rows per multi-row insert; well below SQLite's limit on bound values.
constexpr int RowsPerInsert = 100;

QString MultiRowInsert(const QString& head, int columns, int rows)
{
    QString row = QStringLiteral("(?");
    for (int i = 1; i < columns; ++i)
        row += QStringLiteral(",?");
    row += QLatin1Char(')');
    QString statement = head + QStringLiteral(" values ");
    for (int i = 0; i < rows; ++i) {
        if (i)
            statement += QLatin1Char(',');
        statement += row;
    }
    return statement;
}

void Fill(QSqlDatabase& database, int products, TDemoDatabaseSummary& summary)
{
    QSqlQuery query(database);
    Run(query,
        QStringLiteral("create table acadprod (CODIGO VARCHAR(20) primary key, NOME VARCHAR(60), "
                       "UNIDADE VARCHAR(3), SALDO_ATU REAL, PRECO_CUST REAL, PRECO_VEND REAL, "
                       "COD_BARRA VARCHAR(13))"));
    Run(query,
        QStringLiteral("create table aprdtrib (COD_PROD VARCHAR(20) primary key, TRIBUTO VARCHAR(21), "
                       "PERC_ICM REAL) without rowid"));
    Run(query, QStringLiteral("create table Parametr (RAZAO_SOCIAL VARCHAR(40))"));
    Run(query,
        QStringLiteral("insert into Parametr (RAZAO_SOCIAL) values "
                       "('QUILLBOROUGH COMÉRCIO DE ALIMENTOS LTDA')"));

    const QString productHead = QStringLiteral(
        "insert into acadprod (CODIGO, NOME, UNIDADE, SALDO_ATU, PRECO_CUST, PRECO_VEND, COD_BARRA)");
    const QString taxHead = QStringLiteral("insert into aprdtrib (COD_PROD, TRIBUTO, PERC_ICM)");
    QSqlQuery productInsert(database);
    QSqlQuery taxInsert(database);
    if (!productInsert.prepare(MultiRowInsert(productHead, 7, RowsPerInsert))
        || !taxInsert.prepare(MultiRowInsert(taxHead, 3, RowsPerInsert)))
        DemoError(QStringLiteral("Erro ao criar o banco de dados de demonstração: %1")
                      .arg(productInsert.lastError().text() + taxInsert.lastError().text()));

    const QVariant nullRate(QMetaType::fromType<double>());
    TDemoRandom random(DemoSeed);
    TDemoProduct product;
    QList<TDemoProduct> pendingProducts;
    QList<TDemoProduct> pendingTaxes;
    pendingProducts.reserve(RowsPerInsert);
    pendingTaxes.reserve(RowsPerInsert);

    const auto flushProducts = [&](bool final) {
        if (pendingProducts.isEmpty())
            return;
        QSqlQuery* target = &productInsert;
        QSqlQuery tail(database);
        if (final && pendingProducts.size() < RowsPerInsert) {
            tail.prepare(MultiRowInsert(productHead, 7, int(pendingProducts.size())));
            target = &tail;
        }
        int position = 0;
        for (const TDemoProduct& p : std::as_const(pendingProducts)) {
            target->bindValue(position++, p.Code);
            target->bindValue(position++, p.Name);
            target->bindValue(position++, p.Unit);
            target->bindValue(position++, p.Balance);
            target->bindValue(position++, p.Cost);
            target->bindValue(position++, p.SalePrice);
            target->bindValue(position++, p.Barcode);
        }
        if (!target->exec())
            DemoError(QStringLiteral("Erro ao gravar produtos de demonstração: %1")
                          .arg(target->lastError().text()));
        pendingProducts.clear();
    };
    const auto flushTaxes = [&](bool final) {
        if (pendingTaxes.isEmpty())
            return;
        QSqlQuery* target = &taxInsert;
        QSqlQuery tail(database);
        if (final && pendingTaxes.size() < RowsPerInsert) {
            tail.prepare(MultiRowInsert(taxHead, 3, int(pendingTaxes.size())));
            target = &tail;
        }
        int position = 0;
        for (const TDemoProduct& p : std::as_const(pendingTaxes)) {
            target->bindValue(position++, p.Code);
            // A null QString would be bound as NULL; the empty class is an empty text.
            target->bindValue(position++, p.TaxClass.isNull() ? QString(QLatin1String("")) : p.TaxClass);
            target->bindValue(position++, p.Rate < 0 ? nullRate : QVariant(p.Rate));
        }
        if (!target->exec())
            DemoError(QStringLiteral("Erro ao gravar tributos de demonstração: %1")
                          .arg(target->lastError().text()));
        pendingTaxes.clear();
    };

    for (int index = 0; index < products; ++index) {
        NextProduct(random, index, product);
        pendingProducts.append(product);
        if (product.HasTaxRow) {
            pendingTaxes.append(product);
            ++summary.TaxRows;
            if (product.Balance > 0 && product.Cost > 0)
                ++summary.ReportRows;
        }
        if (pendingProducts.size() == RowsPerInsert)
            flushProducts(false);
        if (pendingTaxes.size() == RowsPerInsert)
            flushTaxes(false);
    }
    flushProducts(true);
    flushTaxes(true);
    summary.Products = products;
    // The report reads products in name order. Covering its columns lets the walk read the index
    // in sequence instead of jumping into the table for every product (five times faster at a
    // million products); aprdtrib keyed without a row id takes one lookup per product, not two.
    Run(query,
        QStringLiteral("create index acadprod_nome on acadprod (NOME, CODIGO, UNIDADE, SALDO_ATU, "
                       "PRECO_CUST)"));
}

} // namespace

QStringList InventoryStatementLines()
{
    return {
        QStringLiteral("select "),
        QStringLiteral("PRO.CODIGO, PRO.NOME, PRO.UNIDADE,PRO.SALDO_ATU, PRO.PRECO_CUST, "
                       "(PRO.SALDO_ATU *PRO.PRECO_CUST) AS SALDO,"),
        QStringLiteral("TRI.TRIBUTO,TRI.PERC_ICM"),
        QStringLiteral("from "),
        QStringLiteral("acadprod PRO,"),
        QStringLiteral("aprdtrib TRI"),
        QStringLiteral("where SALDO_ATU >0 AND PRECO_CUST >0  and TRI.COD_PROD=PRO.CODIGO"),
        QStringLiteral("order by NOME"),
    };
}

TDemoDatabaseSummary CreateDemoDatabase(const QString& fileName, int products, bool overwrite)
{
    if (products < 0 || products > MaxDemoProducts)
        DemoError(
            QStringLiteral("Número de produtos inválido: %1 (de 0 a %2)").arg(products).arg(MaxDemoProducts));
    if (fileName.trimmed().isEmpty())
        DemoError(QStringLiteral("Nenhum arquivo informado para o banco de dados de demonstração"));
    const QFileInfo target(fileName);
    if (!target.absoluteDir().exists())
        DemoError(QStringLiteral("Pasta não encontrada: %1").arg(target.absolutePath()));
    if (target.exists() && !overwrite)
        DemoError(QStringLiteral("O arquivo já existe: %1").arg(target.absoluteFilePath()));
    if (target.isDir())
        DemoError(QStringLiteral("O destino é uma pasta: %1").arg(target.absoluteFilePath()));

    QTemporaryFile temporary(
        target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!temporary.open())
        DemoError(QStringLiteral("Não foi possível criar %1: %2")
                      .arg(temporary.fileTemplate(), temporary.errorString()));
    temporary.close();
    const QString temporaryName = temporary.fileName();

    TDemoDatabaseSummary summary;
    const QString connection = QStringLiteral("qb-demo/%1").arg(quintptr(&temporary), 0, 16);
    QString failure;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        database.setDatabaseName(temporaryName);
        if (!database.open()) {
            failure = database.lastError().text();
        } else {
            try {
                QSqlQuery pragma(database);
                // The file is renamed into place only when complete, so a crash loses nothing the
                // journal would have saved.
                Run(pragma, QStringLiteral("pragma journal_mode = off"));
                Run(pragma, QStringLiteral("pragma synchronous = off"));
                if (!database.transaction())
                    DemoError(database.lastError().text());
                Fill(database, products, summary);
                if (!database.commit())
                    DemoError(database.lastError().text());
            } catch (const EDatabaseError& e) {
                failure = e.Message();
            }
            database.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    if (!failure.isEmpty())
        DemoError(QStringLiteral("Não foi possível criar o banco de dados de demonstração %1: %2")
                      .arg(target.absoluteFilePath(), failure));

    // rename() replaces atomically; without overwrite, QFile::rename refuses an existing target.
    bool renamed = false;
    if (overwrite)
        renamed = std::rename(QFile::encodeName(temporaryName).constData(),
                      QFile::encodeName(target.absoluteFilePath()).constData())
            == 0;
    else
        renamed = QFile::rename(temporaryName, target.absoluteFilePath());
    if (!renamed)
        DemoError(QStringLiteral("Não foi possível gravar %1").arg(target.absoluteFilePath()));
    temporary.setAutoRemove(false);
    return summary;
}
