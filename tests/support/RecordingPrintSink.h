#pragma once

#include <string>
#include <vector>

#include "vt/PrintSink.h"

// A print sink that writes down every call as a line of text, for tests and fuzz targets.
// Its fonts are fixed-pitch with a natural width of `naturalWidthPercent` of their height; a
// requested width is honoured exactly.
class CRecordingPrintSink final : public IPrintSink {
public:
    bool Open() override;
    void Release() override;
    int PageWidth() const override { return m_pageWidth; }
    int PageHeight() const override { return m_pageHeight; }
    CPrintFontMetrics SelectFont(int height, int width) override;
    bool StartDocument(const char* name) override;
    bool EndDocument() override;
    bool StartPage() override;
    bool EndPage() override;
    void OutputText(int x, int y, const char* text, int length, bool expandTabs) override;
    bool PassThrough(const uint8_t* bytes, int length) override;

    void SetPrinterPresent(bool present) { m_present = present; }
    void SetPage(int width, int height)
    {
        m_pageWidth = width;
        m_pageHeight = height;
    }
    void SetNaturalWidthPercent(int percent) { m_naturalWidthPercent = percent; }
    void SetExternalLeading(int leading) { m_leading = leading; }
    // Reported character height regardless of the request (0: the requested height).
    void SetReportedHeight(int height) { m_reportedHeight = height; }
    void SetFailStartDocument(bool fail) { m_failStartDocument = fail; }

    const std::vector<std::string>& Events() const { return m_events; }
    // Events joined with newlines.
    std::string Log() const;
    // Only the text events' strings, in order.
    std::vector<std::string> Texts() const;
    const std::string& RawBytes() const { return m_raw; }
    int FontSelections() const { return m_fontSelections; }
    bool IsOpen() const { return m_open; }
    void Clear();

private:
    bool m_present = true;
    bool m_open = false;
    bool m_failStartDocument = false;
    int m_pageWidth = 4800;
    int m_pageHeight = 6600;
    int m_naturalWidthPercent = 60;
    int m_leading = 0;
    int m_reportedHeight = 0;
    int m_fontSelections = 0;
    std::vector<std::string> m_events;
    std::string m_raw;
};
