#include "vt/qt/QtPrintSink.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

namespace {

constexpr const char* kCutNote = "*** Print job cut here: the program ended before it was printed ***";

// stretch 0: the face's own width.
QFont PrintFont(int pixelSize, int stretch)
{
    QFont font("DejaVu Sans Mono");
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(std::max(pixelSize, 1));
    if (stretch > 0)
        font.setStretch(stretch);
    return font;
}

std::unique_ptr<QPrinter> MakePrinter(const CQtPrintSink::STarget& target)
{
    std::unique_ptr<QPrinter> printer;
    if (!target.printer.isEmpty()) {
        const QPrinterInfo info = QPrinterInfo::printerInfo(target.printer);
        if (!info.isNull())
            printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    if (!printer) {
        QDir().mkpath(QFileInfo(target.pdfPath).absolutePath());
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(target.pdfPath);
    }
    printer->setFullPage(false);
    return printer;
}

size_t Weight(const CQtPrintSink::SBatch& batch)
{
    return batch.text.size() + batch.ops.size() * sizeof(CQtPrintSink::SOp);
}

}  // namespace

CQtPrintSink::CQtPrintSink(QString pdfPath)
    : m_pdfPath(pdfPath.isEmpty() ? DefaultPdfPath() : std::move(pdfPath))
{
    m_worker = std::thread([this] { Work(); });
}

CQtPrintSink::~CQtPrintSink()
{
    Release();
    {
        std::lock_guard lock(m_mutex);
        m_cutAt = std::chrono::steady_clock::now() + m_finishOnClose;
        m_stopping = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

QString CQtPrintSink::DefaultPdfPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return QDir(folder).filePath("voltvt.pdf");
}

QString CQtPrintSink::RawPath() const
{
    return QFileInfo(m_pdfPath).dir().filePath(kPrintDocumentName);
}

int CQtPrintSink::DocumentsWritten() const
{
    std::lock_guard lock(m_mutex);
    return m_documents;
}

bool CQtPrintSink::WaitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_queue.empty() && !m_active && !m_finishing; });
}

void CQtPrintSink::HoldPainting(bool hold)
{
    {
        std::lock_guard lock(m_mutex);
        m_hold = hold;
    }
    m_wake.notify_all();
}

void CQtPrintSink::SetBacklogLimit(size_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_backlogLimit = bytes;
}

bool CQtPrintSink::Open()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_backlog > m_backlogLimit)
            return false;
        // Pages for the document being painted go where it goes.
        if (m_active) {
            m_open = m_measure != nullptr;
            return m_open;
        }
    }
    STarget target{QString(), m_pdfPath};
    if (m_usePrinter) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (!info.isNull())
            target.printer = info.printerName();
    }
    if (!m_measure || !(target == m_measureTarget)) {
        m_measure = MakePrinter(target);
        m_measureTarget = target;
        m_fonts.clear();
    }
    m_open = true;
    return true;
}

void CQtPrintSink::Release()
{
    if (m_recording)
        EndDocument();
    m_open = false;
    m_pageOpen = false;
}

int CQtPrintSink::PageWidth() const
{
    return m_open ? m_measure->width() : 0;
}

int CQtPrintSink::PageHeight() const
{
    return m_open ? m_measure->height() : 0;
}

CPrintFontMetrics CQtPrintSink::SelectFont(int height, int width)
{
    if (!m_open || height <= 0)
        return {};
    // Fitting asks for the same few sizes for every job: measure each once per printer.
    auto found = m_fonts.find({height, width});
    if (found == m_fonts.end()) {
        if (m_fonts.size() > 1024)
            m_fonts.clear();
        SFont entry;
        entry.pixelSize = height;
        entry.stretch = 0;
        if (width > 0) {
            const int natural = std::max(
                1, QFontMetrics(PrintFont(height, 0), m_measure.get()).horizontalAdvance(QLatin1Char('M')));
            entry.stretch = std::clamp(width * 100 / natural, 1, 4000);
        }
        const QFontMetrics metrics(PrintFont(height, entry.stretch), m_measure.get());
        entry.metrics.height = metrics.height();
        entry.metrics.externalLeading = metrics.leading();
        entry.metrics.averageWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
        found = m_fonts.emplace(std::make_pair(height, width), entry).first;
    }
    m_font = found->second;
    if (m_recording)
        m_batch.ops.push_back({SOp::kFont, false, m_font.pixelSize, m_font.stretch, 0, 0});
    return m_font.metrics;
}

bool CQtPrintSink::StartDocument(const char* name)
{
    if (!m_open || m_recording)
        return false;
    bool begin = false;
    {
        std::lock_guard lock(m_mutex);
        begin = !m_active;
        m_active = true;
        m_recording = true;
    }
    m_batch = SBatch();
    m_batch.begin = begin;
    m_batch.docName = QString::fromLatin1(name);
    // The printer is made here, on the thread that may talk to the print system.
    if (begin)
        m_batch.printer = MakePrinter(m_measureTarget);
    m_batch.ops.push_back({SOp::kFont, false, m_font.pixelSize, m_font.stretch, 0, 0});
    return true;
}

bool CQtPrintSink::StartPage()
{
    if (!m_recording)
        return false;
    if (m_pageOpen)
        EndPage();
    m_batch.ops.push_back({SOp::kPage, false, 0, 0, 0, 0});
    m_pageOpen = true;
    return true;
}

bool CQtPrintSink::EndPage()
{
    if (!m_pageOpen)
        return false;
    m_pageOpen = false;
    ++m_pages;
    Queue();
    return true;
}

bool CQtPrintSink::EndDocument()
{
    if (!m_recording)
        return false;
    if (m_pageOpen)
        EndPage();
    Queue();
    {
        std::lock_guard lock(m_mutex);
        m_recording = false;
    }
    m_wake.notify_all();
    return true;
}

void CQtPrintSink::Queue()
{
    if (m_batch.ops.empty() && !m_batch.begin)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_backlog += Weight(m_batch);
        m_queue.push_back(std::move(m_batch));
    }
    m_wake.notify_all();
    m_batch = SBatch();
}

void CQtPrintSink::OutputText(int x, int y, const char* text, int length, bool expandTabs)
{
    if (!m_pageOpen || text == nullptr)
        return;
    // Blanks at the end of a line print nothing; screens are mostly blanks.
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    if (length <= 0)
        return;
    m_batch.ops.push_back({SOp::kText, expandTabs, x, y, m_batch.text.size(), static_cast<size_t>(length)});
    m_batch.text.append(text, static_cast<size_t>(length));
}

bool CQtPrintSink::PassThrough(const uint8_t* bytes, int length)
{
    QFile file(RawPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(reinterpret_cast<const char*>(bytes), length) == length;
}

void CQtPrintSink::Work()
{
    // The terminal's thread comes first when both want the same processor (Linux: per thread).
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);

    std::unique_ptr<QPrinter> printer;
    QPainter painter;
    QString docName;
    QFont font = PrintFont(12, 0);
    int ascent = 0;
    bool failed = false;
    const auto nextPage = [&]() -> bool {
        if (painter.isActive())
            return printer->newPage();
        if (failed || !printer)
            return false;
        printer->setDocName(docName);
        if (!painter.begin(printer.get())) {
            failed = true;
            return false;
        }
        return true;
    };
    const auto setFont = [&] {
        painter.setFont(font);
        ascent = painter.fontMetrics().ascent();
    };
    const auto finish = [&] {
        if (painter.isActive())
            painter.end();
        printer.reset();
        failed = false;
    };

    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] {
            return m_stopping || (!m_hold && (!m_queue.empty() || (m_active && !m_recording)));
        });
        if (!m_queue.empty()) {
            SBatch batch = std::move(m_queue.front());
            m_queue.pop_front();
            m_backlog -= std::min(m_backlog, Weight(batch));
            const bool stopping = m_stopping;
            const auto cutAt = m_cutAt;
            lock.unlock();
            if (batch.begin) {
                printer = std::move(batch.printer);
                docName = batch.docName;
                failed = false;
            }
            bool cut = false;
            for (const SOp& op : batch.ops) {
                if (stopping && std::chrono::steady_clock::now() > cutAt) {
                    cut = true;
                    break;
                }
                switch (op.kind) {
                case SOp::kFont:
                    font = PrintFont(op.x, op.y);
                    if (painter.isActive())
                        setFont();
                    break;
                case SOp::kPage:
                    if (nextPage())
                        setFont();
                    break;
                case SOp::kText: {
                    if (!painter.isActive())
                        break;
                    QString line;
                    line.reserve(static_cast<qsizetype>(op.length));
                    for (size_t i = 0; i < op.length; ++i) {
                        const auto ch = static_cast<unsigned char>(batch.text[op.offset + i]);
                        if (ch == '\t' && op.expandTabs) {
                            do
                                line.append(QLatin1Char(' '));
                            while (line.size() % 8 != 0);
                        } else {
                            line.append(QChar(ch < 0x20 ? ' ' : ch));
                        }
                    }
                    painter.drawText(op.x, op.y + ascent, line);
                    break;
                }
                }
            }
            if (cut) {
                // What is painted stays readable, and the reader learns the rest is missing.
                if (nextPage()) {
                    setFont();
                    painter.drawText(0, 2 * painter.fontMetrics().height() + ascent,
                                     QString::fromLatin1(kCutNote));
                }
                finish();
                lock.lock();
                m_queue.clear();
                m_backlog = 0;
                m_active = false;
                ++m_documents;
                m_idle.notify_all();
                return;
            }
            lock.lock();
            continue;
        }
        if (m_active && !m_recording) {
            m_active = false;
            m_finishing = true;
            lock.unlock();
            finish();
            lock.lock();
            m_finishing = false;
            ++m_documents;
            m_idle.notify_all();
            continue;
        }
        break;  // stopping with nothing left
    }
    lock.unlock();
    finish();
}
