// Shared main for every test executable. It pins what the tests depend on before anything reads it,
// so a test binary behaves the same under ctest and when run by hand: a headless platform, the
// Brazilian locale (a number written with the locale's decimal comma where a point belongs shows up
// at once; QB_TEST_LOCALE picks another), and the source folder for tests that read files from it.
// Then a QApplication, because fonts, images and widgets need one, and GoogleTest.
#include <QApplication>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QByteArray locale = qEnvironmentVariableIsEmpty("QB_TEST_LOCALE") ? QByteArray("pt_BR.UTF-8")
                                                                            : qgetenv("QB_TEST_LOCALE");
    qputenv("LANG", locale);
    qputenv("LC_ALL", locale);
    // Qt wants a private runtime folder; without one it warns on every test program.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray runtime = "/tmp/qb-runtime-" + QByteArray::number(uint(getuid()));
        mkdir(runtime.constData(), 0700);
        chmod(runtime.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
    if (qEnvironmentVariableIsEmpty("QB_SOURCE_DIR"))
        qputenv("QB_SOURCE_DIR", QB_SOURCE_DIR);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
