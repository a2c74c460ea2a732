#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QString>

#include "vt/PrintSink.h"

class QPrinter;

// Terminal printing through the toolkit: the default printer when one is configured,
// otherwise a PDF file. Raw pass-through bytes are appended to a file beside that PDF,
// because a printer that is driven page by page cannot take them.
//
// The terminal's thread only records what a job draws (pages, fonts, text at positions);
// one worker thread paints the recording onto the printer, so that a long job never holds up
// the answers to the host. Documents started while another is still being painted become
// further pages of that one, in the order they came.
class CQtPrintSink final : public IPrintSink {
public:
    // pdfPath: where output goes without a printer; empty: the default below.
    explicit CQtPrintSink(QString pdfPath = QString());
    // Paints what is recorded for up to the finishing time (kFinishOnClose unless set); what
    // is left then is cut, with one line saying so, and the document is closed properly.
    ~CQtPrintSink() override;
    CQtPrintSink(const CQtPrintSink&) = delete;
    CQtPrintSink& operator=(const CQtPrintSink&) = delete;

    static constexpr std::chrono::milliseconds kFinishOnClose{2000};
    void SetFinishOnClose(std::chrono::milliseconds time) { m_finishOnClose = time; }
    // Recorded but not yet painted bytes beyond which new jobs are refused, as by a busy
    // printer: a host asking for screens faster than they are painted costs bounded memory.
    static constexpr size_t kBacklogLimit = 64 * 1024 * 1024;
    void SetBacklogLimit(size_t bytes);

    // voltvt.pdf in the user's documents folder.
    static QString DefaultPdfPath();
    // The pass-through file: voltvt.prn beside the PDF.
    QString RawPath() const;
    const QString& PdfPath() const { return m_pdfPath; }
    // Tests and machines with a printer that should not be used: always write the PDF.
    void SetUsePrinter(bool use) { m_usePrinter = use; }
    // Pages finished since the sink was made.
    int PagesPrinted() const { return m_pages; }
    // Documents the worker has closed since the sink was made.
    int DocumentsWritten() const;
    // Waits until everything recorded is painted and its document closed; false on time-out.
    bool WaitIdle(std::chrono::milliseconds timeout);
    // Tests: keep the worker from painting, to see what a busy printer merges.
    void HoldPainting(bool hold);

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

    // Where a document goes: a printer by name, or the PDF file when there is none.
    struct STarget {
        QString printer;
        QString pdfPath;
        bool operator==(const STarget&) const = default;
    };
    struct SOp {
        enum EKind : uint8_t { kPage, kFont, kText };
        EKind kind = kText;
        bool expandTabs = false;
        int x = 0;  // font: pixel size
        int y = 0;  // font: stretch
        size_t offset = 0;
        size_t length = 0;
    };
    // What one stretch of a job drew; `begin` opens a document on `target`.
    struct SBatch {
        bool begin = false;
        STarget target;
        QString docName;
        std::unique_ptr<QPrinter> printer;  // with begin
        std::vector<SOp> ops;
        std::string text;
    };

private:
    struct SFont {
        int pixelSize = 0;
        int stretch = 100;
        CPrintFontMetrics metrics;
    };
    void Queue();
    void Work();

    QString m_pdfPath;
    bool m_usePrinter = true;

    // The terminal's side: a printer for measuring only, and the job being recorded.
    std::unique_ptr<QPrinter> m_measure;
    STarget m_measureTarget;
    std::map<std::pair<int, int>, SFont> m_fonts;
    SFont m_font;
    bool m_open = false;
    bool m_pageOpen = false;
    int m_pages = 0;
    SBatch m_batch;

    // Shared with the worker.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<SBatch> m_queue;
    size_t m_backlog = 0;
    size_t m_backlogLimit = kBacklogLimit;
    bool m_recording = false;  // the terminal has a document open
    bool m_active = false;     // a document is queued or being painted
    bool m_finishing = false;  // the worker is closing a document
    bool m_stopping = false;
    bool m_hold = false;
    std::chrono::steady_clock::time_point m_cutAt;
    std::chrono::milliseconds m_finishOnClose = kFinishOnClose;
    int m_documents = 0;
    std::thread m_worker;
};
