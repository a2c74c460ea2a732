#pragma once

#include <cstdint>

// Name of every print document the terminal starts.
constexpr const char* kPrintDocumentName = "voltvt.prn";

struct CPrintFontMetrics {
    int height = 0;           // character height, device units
    int externalLeading = 0;  // extra space between lines
    int averageWidth = 0;     // fixed pitch: the width of every character
};

// Where the terminal's printing goes: a printer, a file, or a recording in tests.
// Coordinates are device units from the top left of the page.
class IPrintSink {
public:
    virtual ~IPrintSink() = default;

    // Find and claim the default printer; false when there is none.
    virtual bool Open() = 0;
    // Give the printer back (and the font); safe when not open.
    virtual void Release() = 0;
    virtual int PageWidth() const = 0;
    virtual int PageHeight() const = 0;
    // Select a fixed-pitch font `height` units high and `width` units wide (0: the face's
    // own width) for following text; returns what the printer made of it.
    virtual CPrintFontMetrics SelectFont(int height, int width) = 0;

    virtual bool StartDocument(const char* name) = 0;
    virtual bool EndDocument() = 0;
    virtual bool StartPage() = 0;
    virtual bool EndPage() = 0;
    // Text at (x, y); with expandTabs a TAB moves to the next multiple of eight characters.
    virtual void OutputText(int x, int y, const char* text, int length, bool expandTabs) = 0;
    // Bytes straight to the printer, untouched.
    virtual bool PassThrough(const uint8_t* bytes, int length) = 0;
};
