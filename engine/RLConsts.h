#pragma once
// The engine's user-interface texts: 76 numbered slots, each filled in one of four languages. The
// language is chosen once, from the user's locale, before any form or report is created (the
// utilities' start-up does it; the first read does it too if start-up has not run yet). Every other
// unit reads a slot by its number, through RLMessage or the named constants below.
//
// Reading is safe from the background filter thread: the columns are built once, under a
// thread-safe static, and are never changed afterwards; only the choice of column is switched, and
// only the start-up routine and tests switch it.
#include <QString>

enum TRLLanguage { lgPortuguese, lgEnglish, lgFrench, lgSpanish };

constexpr int RLMessageCount = 76;
constexpr int RLLanguageCount = 4;

// Slot numbers, named after what the text says in English.
enum TRLMessageSlot : int {
    RLMsgPrintingInProgress = 0,
    RLMsgSavingReport = 1,
    RLMsgPreparingReport = 2,
    RLMsgPrinterNotFound = 3,
    RLMsgInvalidPrinterPath = 4,
    RLMsgLoadDefaultConfiguration = 5,
    RLMsgPrinterDriverError = 6,
    RLMsgPage = 7,
    RLMsgErrorWhilePreparing = 8,
    RLMsgContinues = 9,
    RLMsgContinuation = 10,
    RLMsgEnd = 11,
    RLMsgFileNotFound = 12,
    RLMsgFileName = 13,
    RLMsgAllFiles = 14,
    RLMsgLoadReport = 15,
    RLMsgNotFound = 16,
    RLMsgWait = 17,
    RLMsgFinished = 18,
    RLMsgCancel = 19,
    RLMsgClose = 20,
    RLMsgSave = 21,
    RLMsgSend = 22,
    RLMsgPrint = 23,
    RLMsgAbout = 24,
    RLMsgPreview = 25,
    RLMsgOf = 26,
    RLMsgZoom = 27,
    RLMsgFirstPage = 28,
    RLMsgPriorPage = 29,
    RLMsgNextPage = 30,
    RLMsgLastPage = 31,
    RLMsgEntirePage = 32,
    RLMsgEntireWidth = 33,
    RLMsgMultiplePages = 34,
    RLMsgConfigurePrinter = 35,
    RLMsgSaveToFile = 36,
    RLMsgSendTo = 37,
    RLMsgPrinter = 38,
    RLMsgName = 39,
    RLMsgPrintToFile = 40,
    RLMsgPrintInBackground = 41,
    RLMsgSaveInBackground = 42,
    RLMsgPageRange = 43,
    RLMsgRangeFrom = 44,
    RLMsgRangeTo = 45,
    RLMsgAll = 46,
    RLMsgPages = 47,
    RLMsgSelection = 48,
    RLMsgCopies = 49,
    RLMsgNumberOfCopies = 50,
    RLMsgOk = 51,
    RLMsgDivideTheScreen = 52,
    RLMsgInvalidName = 53,
    RLMsgNameAlreadyInUse = 54,
    RLMsgUseFilter = 55,
    RLMsgWebPage = 56,
    RLMsgRichTextFormat = 57,
    RLMsgPDFDocument = 58,
    RLMsgSpreadsheet = 59,
    RLMsgAt = 60,
    RLMsgForm = 61,
    RLMsgDefault = 62,
    RLMsgColumns = 63,
    RLMsgIncreaseZoom = 64,
    RLMsgDecreaseZoom = 65,
    RLMsgCopy = 66,
    RLMsgEdit = 67,
    RLMsgFind = 68,
    RLMsgFindText = 69,
    RLMsgFindNext = 70,
    RLMsgWholeWordsOnly = 71,
    RLMsgMatchCase = 72,
    RLMsgDirectionUp = 73,
    RLMsgDirectionDown = 74,
    RLMsgDirection = 75,
};

// The text of a slot in the active language. A slot outside 0..75 reads as an empty text rather
// than out of bounds. The reference stays valid for the life of the process.
const QString& RLMessage(int slot);

// The text of a slot in a given language, without switching (for tests and for whoever needs to
// show a text in a fixed language). Empty for a slot or language out of range.
const QString& RLMessageIn(TRLLanguage language, int slot);

// The language the platform's primary language id selects: 0x16 Portuguese, 0x0C French,
// 0x0A Spanish, anything else English. Only the low 10 bits count, as in a locale identifier.
TRLLanguage RLLanguageFor(int primaryLanguageId);

// Chooses the column that RLMessage reads. The start-up routine calls it with the system locale's
// primary language; nothing switches the language while the program runs.
void RLSelectLanguage(int primaryLanguageId);

// The active language; reading it makes the lazy choice from the system locale if none was made.
TRLLanguage RLActiveLanguage();

// --- failure messages ---------------------------------------------------------------------------
//
// Texts for what goes wrong with files and runs, in the same four languages and chosen by the same
// language as the slots above. They are a table of their own so that the 76 slots keep their numbers
// and their texts. "%1", "%2" mark where the caller's values go (QString::arg).
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
    RLFailureMessageCount
};

// The text of a failure message in the active language; empty for a number out of range.
const QString& RLFailureText(int message);
const QString& RLFailureTextIn(TRLLanguage language, int message);
