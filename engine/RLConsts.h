#pragma once
// The engine's user-interface texts: 76 numbered slots, each filled in one of four languages, in the
// language that platform/Messages.h chooses from the user's locale. Every other unit reads a slot by
// its number, through RLMessage or the named constants below.
//
// Reading is safe from the background filter thread: the columns are built once, under a
// thread-safe static, and are never changed afterwards.
#include "platform/Messages.h"

#include <QString>

constexpr int RLMessageCount = 76;

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
