#include "vt/qt/QtPrintSink.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

CQtPrintSink::CQtPrintSink(QString pdfPath)
    : m_pdfPath(pdfPath.isEmpty() ? DefaultPdfPath() : std::move(pdfPath))
{}

CQtPrintSink::~CQtPrintSink()
{
    Release();
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

bool CQtPrintSink::Open()
{
    if (m_printer)
        return true;
    const QPrinterInfo info = m_usePrinter ? QPrinterInfo::defaultPrinter() : QPrinterInfo();
    if (!info.isNull()) {
        m_printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    } else {
        QDir().mkpath(QFileInfo(m_pdfPath).absolutePath());
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(m_pdfPath);
    }
    m_printer->setFullPage(false);
    return true;
}

void CQtPrintSink::Release()
{
    if (m_painter.isActive())
        m_painter.end();
    m_printer.reset();
    m_pageOpen = false;
    m_anyPage = false;
}

int CQtPrintSink::PageWidth() const
{
    return m_printer ? m_printer->width() : 0;
}

int CQtPrintSink::PageHeight() const
{
    return m_printer ? m_printer->height() : 0;
}

CPrintFontMetrics CQtPrintSink::SelectFont(int height, int width)
{
    CPrintFontMetrics result;
    if (!m_printer || height <= 0)
        return result;
    QFont font("DejaVu Sans Mono");
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(height);
    const int natural = std::max(1, QFontMetrics(font, m_printer.get()).horizontalAdvance(QLatin1Char('M')));
    if (width > 0)
        font.setStretch(std::clamp(width * 100 / natural, 1, 4000));
    const QFontMetrics metrics(font, m_printer.get());
    m_font = font;
    m_ascent = metrics.ascent();
    m_averageWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    if (m_painter.isActive())
        m_painter.setFont(m_font);
    result.height = metrics.height();
    result.externalLeading = metrics.leading();
    result.averageWidth = m_averageWidth;
    return result;
}

bool CQtPrintSink::StartDocument(const char* name)
{
    if (!m_printer)
        return false;
    m_printer->setDocName(QString::fromLatin1(name));
    m_anyPage = false;
    return true;
}

bool CQtPrintSink::StartPage()
{
    if (!m_printer)
        return false;
    // The painter starts the document with its first page; raw jobs never get one, so
    // they leave no empty document behind.
    if (!m_painter.isActive()) {
        if (!m_painter.begin(m_printer.get()))
            return false;
    } else if (m_anyPage && !m_printer->newPage()) {
        return false;
    }
    m_painter.setFont(m_font);
    m_pageOpen = true;
    m_anyPage = true;
    return true;
}

bool CQtPrintSink::EndPage()
{
    if (!m_pageOpen)
        return false;
    m_pageOpen = false;
    ++m_pages;
    return true;
}

bool CQtPrintSink::EndDocument()
{
    if (m_pageOpen)
        EndPage();
    const bool ok = !m_painter.isActive() || m_painter.end();
    m_anyPage = false;
    return ok;
}

void CQtPrintSink::OutputText(int x, int y, const char* text, int length, bool expandTabs)
{
    if (!m_pageOpen || length <= 0)
        return;
    QString line;
    line.reserve(length);
    for (int i = 0; i < length; ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (ch == '\t' && expandTabs) {
            do
                line.append(QLatin1Char(' '));
            while (line.size() % 8 != 0);
        } else {
            line.append(QChar(ch < 0x20 ? ' ' : ch));
        }
    }
    m_painter.drawText(x, y + m_ascent, line);
}

bool CQtPrintSink::PassThrough(const uint8_t* bytes, int length)
{
    QFile file(RawPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(reinterpret_cast<const char*>(bytes), length) == length;
}
