#pragma once
// The user's language, and the texts for what goes wrong with files and runs in it.
//
// The language is chosen once, from the user's locale, before any form or report is created (the
// start-up of the temporary-file registry does it; the first read does it too if start-up has not run
// yet). The engine's own interface texts (engine/RLConsts.h) read the same choice, so every text the
// program shows is in one language.
//
// Reading is safe from any thread: the tables are built once, under a thread-safe static, and never
// changed afterwards; only the choice of column is switched, and only start-up and tests switch it.
#include <QString>

#include <array>
#include <cstddef>

enum TRLLanguage { lgPortuguese, lgEnglish, lgFrench, lgSpanish };

constexpr int RLLanguageCount = 4;

// One text in the four languages, as a table of texts is written in the source.
struct TRLTextRow
{
    const char16_t* Portuguese;
    const char16_t* English;
    const char16_t* French;
    const char16_t* Spanish;
};

// A table's texts by language, then by row. Built once by the table that owns the rows, under the
// thread-safe initialisation of a function-local static, and never changed afterwards, so references
// handed out stay valid and readers need no lock.
template <std::size_t Count>
std::array<std::array<QString, Count>, RLLanguageCount> RLTextColumns(const TRLTextRow (&Rows)[Count])
{
    std::array<std::array<QString, Count>, RLLanguageCount> columns;
    for (std::size_t row = 0; row < Count; ++row) {
        columns[lgPortuguese][row] = QString::fromUtf16(Rows[row].Portuguese);
        columns[lgEnglish][row] = QString::fromUtf16(Rows[row].English);
        columns[lgFrench][row] = QString::fromUtf16(Rows[row].French);
        columns[lgSpanish][row] = QString::fromUtf16(Rows[row].Spanish);
    }
    return columns;
}

// The language the platform's primary language id selects: 0x16 Portuguese, 0x0C French,
// 0x0A Spanish, anything else English. Only the low 10 bits count, as in a locale identifier.
TRLLanguage RLLanguageFor(int primaryLanguageId);

// Chooses the column that RLMessage reads. The start-up routine calls it with the system locale's
// primary language; nothing switches the language while the program runs.
void RLSelectLanguage(int primaryLanguageId);

// The active language; reading it makes the lazy choice from the system locale if none was made.
TRLLanguage RLActiveLanguage();

// Texts for what goes wrong with files and runs, in the same four languages and chosen by the same
// language as the engine's interface texts. They are a table of their own so that the engine's 76 slots
// keep their numbers and their texts. "%1", "%2" mark where the caller's values go (QString::arg).
enum TRLFailureMessage : int {
    RLFailNoSpace, // the cause: the disk (or its quota) is full
    RLFailFileTooLarge, // the cause: the file-size limit or the file system's largest file
    RLFailPermissionDenied,
    RLFailReadOnlyFileSystem,
    RLFailFolderNotFound,
    RLFailNotAFolder,
    RLFailInputOutput,
    RLFailTooManyOpenFiles,
    RLFailUnknownCause,
    RLFailCannotCreateFile, // %1 the file, %2 the cause
    RLFailCannotWriteFile, // %1 the file, %2 the cause
    RLFailCannotOpenFile, // %1 the file, %2 the cause
    RLFailCannotReadFile, // %1 the file, %2 the cause
    RLFailCannotWriteTempFile, // %1 the folder, %2 the cause
    RLFailCannotReadTempFile, // %1 the folder, %2 the cause
    RLFailTempFolderUnusable, // %1 the folder, %2 the cause
    RLFailTempFolderFallback, // %1 the folder refused, %2 the cause, %3 the folder used instead
    RLFailTargetFolderUnusable, // %1 the file, %2 its folder, %3 the cause
    RLFailInterrupted, // %1 the signal's name, %2 the file not written
    RLFailInterruptedRun, // %1 the signal's name
    RLFailPageStoreTooLarge,
    RLFailFileNotFound, // the cause of a failed read: the same words as the engine's slot 12
    RLFailureMessageCount
};

// The text of a failure message in the active language; empty for a number out of range.
const QString& RLFailureText(int message);
const QString& RLFailureTextIn(TRLLanguage language, int message);
