// The program's pipelined export against its sequential one (QB_EXPORT_SEQUENTIAL=1), run as the
// program itself on demo shops of several sizes: the page store file, the PDF document and the
// spreadsheet must be the same bytes. Each export is its own process, as a user runs it, so the
// group numbers in page records start alike. The PDF's creation date is the clock's: its fixed-width
// digits are set aside before comparing.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString Program()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
}

// Runs the program; its exit code, and its error output in Errors.
int RunProgram(const QStringList& Arguments, bool Sequential, QByteArray& Errors)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QB_EXPORT_SEQUENTIAL"));
    if (Sequential)
        environment.insert(QStringLiteral("QB_EXPORT_SEQUENTIAL"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.start(Program(), Arguments);
    if (!process.waitForFinished(240000))
        return -1;
    Errors = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray Comparable(const QString& FileName)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (FileName.endsWith(QLatin1String(".pdf"))) {
        static const QRegularExpression date(QStringLiteral("/CreationDate\\(D:\\d{14}\\)"));
        const QRegularExpressionMatch match = date.match(QString::fromLatin1(bytes.left(400)));
        if (match.hasMatch())
            bytes.replace(
                match.capturedStart(), match.capturedLength(), QByteArray(match.capturedLength(), '#'));
    }
    return bytes;
}

TEST(InventoryPipelinedExport, WritesTheSequentialBytesInEveryFormatAndSize)
{
    if (!QFileInfo(Program()).isExecutable())
        GTEST_SKIP() << "program not built beside the tests";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // One product (one page), a few pages, and enough pages to fill the writer's queue many times.
    for (int products : { 1, 150, 3000 }) {
        const QString database = folder.filePath(QStringLiteral("demo-%1.db").arg(products));
        QByteArray errors;
        ASSERT_EQ(RunProgram({ "--create-demo-database", database, "--products", QString::number(products) },
                      false, errors),
            0)
            << errors.constData();
        // The data writers are not pipelined (they read what the application gathers while
        // preparing); the delimited text is here so that nothing makes them so by mistake (the data
        // workbook keeps the clock's time inside its zip, so no two of its files are alike).
        for (const char* extension : { "pgx", "pdf", "xls", "csv" }) {
            SCOPED_TRACE(std::to_string(products) + " products, ." + extension);
            const QString sequential
                = folder.filePath(QStringLiteral("s-%1.%2").arg(products).arg(extension));
            const QString pipelined = folder.filePath(QStringLiteral("p-%1.%2").arg(products).arg(extension));
            const QStringList common = { "--database", database, "--date", "31/12/2024" };
            ASSERT_EQ(RunProgram(QStringList { "--export", sequential } + common, true, errors), 0)
                << errors.constData();
            ASSERT_EQ(RunProgram(QStringList { "--export", pipelined } + common, false, errors), 0)
                << errors.constData();
            const QByteArray a = Comparable(sequential);
            const QByteArray b = Comparable(pipelined);
            ASSERT_GT(a.size(), 60);
            EXPECT_EQ(a.size(), b.size());
            EXPECT_TRUE(a == b) << "the pipelined export differs from the sequential one";
        }
    }
}

TEST(InventoryPipelinedExport, AFileThatCannotBeWrittenFailsAsTheSequentialExportFails)
{
    if (!QFileInfo(Program()).isExecutable())
        GTEST_SKIP() << "program not built beside the tests";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString database = folder.filePath(QStringLiteral("demo.db"));
    QByteArray errors;
    ASSERT_EQ(RunProgram({ "--create-demo-database", database, "--products", "500" }, false, errors), 0);
    const QString output = folder.filePath(QStringLiteral("missing/folder/x.pdf"));
    const QStringList arguments = { "--export", output, "--database", database };
    QByteArray sequentialErrors, pipelinedErrors;
    const int sequential = RunProgram(arguments, true, sequentialErrors);
    const int pipelined = RunProgram(arguments, false, pipelinedErrors);
    EXPECT_EQ(sequential, 5); // a failure of the writing
    EXPECT_EQ(pipelined, sequential);
    EXPECT_EQ(pipelinedErrors, sequentialErrors);
    EXPECT_FALSE(QFileInfo::exists(output));
}

} // namespace
