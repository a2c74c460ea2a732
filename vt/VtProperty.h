#pragma once

#include <cstdint>

// The emulator's numbered property table, the contract between the terminal and its owner:
// GetProperty, SetProperty and the owner's property hook all speak these ids.
enum EVtProperty : int {
    kVtPropLevelNone = 1,
    kVtPropLevelVt52 = 2,
    kVtPropLevelVt100 = 3,
    kVtPropLevelVt220 = 4,  // 7-bit controls
    kVtPropLevelVt220Bit8 = 5,
    kVtPropAutoPrint = 6,
    kVtPropAutoRepeat = 7,
    kVtPropAutowrap = 8,
    kVtPropAudibleBell = 9,  // 0: visual bell
    kVtPropScrollbackRows = 10,
    kVtPropClearAll = 11,  // set only: screen and scrollback
    kVtPropBackgroundColour = 12,
    kVtPropBoldColour = 13,
    kVtPropForegroundColour = 14,
    kVtPropColumns = 15,    // 80 or 132
    kVtPropCellWidth = 16,  // get only, in pixels
    kVtPropCaretVisible = 17,
    kVtPropCursorColumn = 18,  // 1-based
    kVtPropCursorKeysApplication = 19,
    kVtPropCursorRow = 20,  // 1-based
    kVtPropUnderlineCaret = 21,
    kVtPropEnabled = 22,  // setting it allocates the buffers
    kVtPropReverseScreen = 23,
    kVtPropKeypadApplication = 24,
    kVtPropNewLineMode = 25,
    kVtPropSendReceive = 27,  // only ever offered to the owner; the table does not act on it
    kVtPropPrintLine = 28,    // set only
    kVtPropPrinterController = 29,
    kVtPropRawPrinting = 30,
    kVtPropPrintScreen = 31,  // set only
    kVtPropHardReset = 32,    // set only
    kVtPropRows = 33,
    kVtPropCellHeight = 34,  // get only, in pixels
    kVtPropSmoothScroll = 35,
    kVtPropSelectionLength = 36,  // counted as copied text: each row adds CR LF
    kVtPropSelectionStart = 37,   // the same counting, plus 1
    kVtPropAnswerback = 38,       // a const char*
    kVtPropLineCapture = 39,
    kVtPropTabStops = 40,  // a 132-byte table
    kVtPropNationalSet = 41,
    kVtPropBackspaceSendsBs = 42,  // 0: the backspace key sends DEL
    kVtPropStatusDisplay = 43,     // 0 none, 1 indicator, 2 host-writable
    kVtPropStatusText = 44,        // a const char*; gets 0
    kVtPropLevelVt320 = 45,
    kVtPropLevelVt320Bit8 = 46,
    kVtPropUtf8 = 47,  // 1: host data is UTF-8; 0: 8-bit characters and controls
};

// Property values carry numbers, and for a few ids a pointer (answerback text, tab stops,
// status text), so they are pointer-sized.
using VtValue = std::intptr_t;

// Result of SetProperty/RequestProperty for an id the table does not know.
constexpr int kUnknownProperty = 15;
