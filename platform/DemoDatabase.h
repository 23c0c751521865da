#pragma once
// The demo shop database: an SQLite file with the tables the inventory report reads, filled with
// made-up but plausible products, so the program can be tried and measured without a shop.
//
// Tables:
//   acadprod (CODIGO VARCHAR(20) primary key, NOME VARCHAR(60), UNIDADE VARCHAR(3), SALDO_ATU REAL,
//             PRECO_CUST REAL, PRECO_VEND REAL, COD_BARRA VARCHAR(13))
//   aprdtrib (COD_PROD VARCHAR(20) primary key, TRIBUTO VARCHAR(21), PERC_ICM REAL) without rowid
//   an index on acadprod by NOME that covers the inventory statement's columns
//   Parametr (RAZAO_SOCIAL VARCHAR(40)), one row
//
// The content is a pure function of the number of products: a fixed-seed generator of our own, so the
// same count always gives the same rows, and product i is the same whatever the count. The first
// seventeen products cover every case the report distinguishes, one each: "Tributado" at 7, 12, 17,
// 25, 0, 18, 7.5 and a NULL rate; "Subst. Tributária"; "Isento"; an empty class; "Subst. Tributaria"
// without the accent; an unknown class; and four products the inventory statement leaves out (zero
// balance, negative balance, zero cost, no tax row). The rest are drawn with shop-like frequencies.
//
// The file appears complete or not at all: it is written under a temporary name beside the target
// and renamed on success. An existing file is replaced only when overwrite is true.
#include "platform/Exceptions.h"

#include <QString>
#include <QStringList>

struct TDemoDatabaseSummary
{
    int Products = 0;
    // Products with a row in aprdtrib.
    int TaxRows = 0;
    // Products the inventory statement returns (positive balance and cost, with a tax row).
    int ReportRows = 0;
};

// Throws EDatabaseError for a bad count (below 0 or above MaxDemoProducts), an existing file without
// overwrite, a missing folder, or a write failure; nothing is left behind then.
TDemoDatabaseSummary CreateDemoDatabase(const QString& fileName, int products, bool overwrite = false);

constexpr int MaxDemoProducts = 20'000'000;

// The inventory statement the shop's report runs, one line per item as the report keeps it.
QStringList InventoryStatementLines();
