#pragma once

#include <memory>

#include <QFont>
#include <QPainter>
#include <QString>

#include "vt/PrintSink.h"

class QPrinter;

// Terminal printing through the toolkit: the default printer when one is configured,
// otherwise a PDF file. Raw pass-through bytes are appended to a file beside that PDF,
// because a printer that is driven page by page cannot take them.
class CQtPrintSink final : public IPrintSink {
public:
    // pdfPath: where output goes without a printer; empty: the default below.
    explicit CQtPrintSink(QString pdfPath = QString());
    ~CQtPrintSink() override;

    // voltvt.pdf in the user's documents folder.
    static QString DefaultPdfPath();
    // The pass-through file: voltvt.prn beside the PDF.
    QString RawPath() const;
    const QString& PdfPath() const { return m_pdfPath; }
    // Tests and machines with a printer that should not be used: always write the PDF.
    void SetUsePrinter(bool use) { m_usePrinter = use; }
    // Pages finished since the sink was made.
    int PagesPrinted() const { return m_pages; }

    bool Open() override;
    void Release() override;
    int PageWidth() const override;
    int PageHeight() const override;
    CPrintFontMetrics SelectFont(int height, int width) override;
    bool StartDocument(const char* name) override;
    bool EndDocument() override;
    bool StartPage() override;
    bool EndPage() override;
    void OutputText(int x, int y, const char* text, int length, bool expandTabs) override;
    bool PassThrough(const uint8_t* bytes, int length) override;

private:
    QString m_pdfPath;
    bool m_usePrinter = true;
    std::unique_ptr<QPrinter> m_printer;
    QPainter m_painter;
    QFont m_font;
    int m_ascent = 0;
    int m_averageWidth = 1;
    bool m_pageOpen = false;
    bool m_anyPage = false;
    int m_pages = 0;
};
