#include "vt/qt/QtPrintSink.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "tests/support/QtTestApp.h"
#include "vt/VtPrinter.h"
#include "vt/VtScreen.h"
#include "vt/qt/VoltVt.h"

namespace {

// Generous: painting runs on a worker that shares a loaded machine.
constexpr std::chrono::seconds kPaintTime{60};

class QtPrintSinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("vt_qt_tests"); }
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_sink.SetUsePrinter(false);
        m_screen.SetEnabled(true);
        ASSERT_EQ(m_screen.AllocateBuffers(0, 23, 80), 1);
        const std::string text = "Printed from the terminal";
        m_screen.WriteRun(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    }

    QByteArray Read(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    CQtPrintSink m_sink{m_dir.filePath("out/voltvt.pdf")};
    CVtScreen m_screen;
    CVtPrinter m_printer{m_screen, &m_sink};
};

TEST_F(QtPrintSinkTest, PrintScreenWritesOnePagePdf)
{
    ASSERT_EQ(m_printer.PrintScreen(), 1);
    ASSERT_TRUE(m_sink.WaitIdle(kPaintTime));
    EXPECT_EQ(m_sink.PagesPrinted(), 1);
    EXPECT_TRUE(Read(m_sink.PdfPath()).startsWith("%PDF"));
    // The font was fitted so that an 80-column line fills the page.
    EXPECT_GE(m_printer.CharsPerLine() + 8, 96);
    EXPECT_LE(m_printer.CharsPerLine() + 8, 135);
    EXPECT_GT(m_printer.LinesPerPage(), 24);
}

TEST_F(QtPrintSinkTest, TextJobPagesAtLinesPerPage)
{
    ASSERT_EQ(m_printer.OpenPrintJob(), 1);
    const int lines = m_printer.LinesPerPage() + 5;
    for (int i = 0; i < lines; ++i)
        m_printer.PrintBytes(reinterpret_cast<const uint8_t*>("line\r\n"), 6);
    m_printer.ClosePrintJob();
    ASSERT_TRUE(m_sink.WaitIdle(kPaintTime));
    EXPECT_EQ(m_sink.PagesPrinted(), 2);
    EXPECT_TRUE(Read(m_sink.PdfPath()).startsWith("%PDF"));
}

TEST_F(QtPrintSinkTest, RawBytesAreAppendedBesideThePdfUntouched)
{
    m_printer.SetRawMode(true);
    std::string bytes(250, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i);
    for (int job = 0; job < 2; ++job) {
        ASSERT_EQ(m_printer.OpenPrintJob(), 1);
        m_printer.PrintBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
        m_printer.ClosePrintJob();
    }
    ASSERT_TRUE(m_sink.WaitIdle(kPaintTime));
    EXPECT_EQ(Read(m_sink.RawPath()), QByteArray::fromStdString(bytes + bytes));
    EXPECT_FALSE(QFile::exists(m_sink.PdfPath())) << "a raw job leaves no empty document";
}

class CAnsweringVt final : public CVoltVt {
public:
    using CVoltVt::CVoltVt;
    std::string sent;

protected:
    void SendToHost(const uint8_t* bytes, size_t length) override
    {
        sent.append(reinterpret_cast<const char*>(bytes), length);
    }
};

// The text of each page of a PDF, or nothing when pdftotext (poppler-utils) is missing.
std::optional<std::vector<std::string>> PdfPages(const QString& path)
{
    const std::string command = "pdftotext -layout '" + path.toStdString() + "' - 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    if (pclose(pipe) != 0)
        return std::nullopt;
    std::vector<std::string> pages(1);
    for (char c : text) {
        if (c == '\f')
            pages.emplace_back();
        else if (c != ' ' && c != '\n')
            pages.back().push_back(c);  // words only: layout is the printer's business
    }
    if (pages.back().empty())
        pages.pop_back();
    return pages;
}

std::string Screen(int n)
{
    return "\x1b[H\x1b[2JScreen" + std::to_string(n);
}

class HostPrintingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("vt_qt_tests"); }
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_vt = std::make_unique<CAnsweringVt>(m_dir.filePath("voltvt.pdf"));
        m_vt->PrintSink().SetUsePrinter(false);
        ASSERT_EQ(m_vt->SetProperty(kVtPropEnabled, 1), 1);
    }
    void Host(const std::string& bytes) { m_vt->ReceiveData(bytes.data(), bytes.size()); }
    CQtPrintSink& Sink() { return m_vt->PrintSink(); }

    // Device Attributes asked after `bytes`: how long until the terminal answered.
    std::chrono::duration<double> AnswerTime(const std::string& bytes)
    {
        m_vt->sent.clear();
        const auto start = std::chrono::steady_clock::now();
        Host(bytes + "\x1b[c");
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_NE(m_vt->sent.find("\x1b[?"), std::string::npos) << "no answer";
        return took;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CAnsweringVt> m_vt;
};

TEST_F(HostPrintingTest, RequestsWhileThePrinterIsBusyBecomePagesOfOneDocumentInOrder)
{
    const std::string job = "\x1b[5iJob1\r\n\fJob2\r\n\x1b[4i";
    struct SCase {
        const char* name;
        std::string before;  // what keeps the printer busy
        std::vector<std::string> firstPages;
        int screens;
    };
    const SCase cases[] = {
        {"screens alone", "", {}, 5},
        {"screens behind a host job", job, {"Job1", "Job2"}, 3},
        {"a host job alone", job, {"Job1", "Job2"}, 0},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Sink().HoldPainting(true);
        std::string bytes = c.before;
        std::vector<std::string> expected = c.firstPages;
        for (int i = 1; i <= c.screens; ++i) {
            bytes += Screen(i) + "\x1b[i";
            expected.push_back("Screen" + std::to_string(i));
        }
        Host(bytes);
        EXPECT_EQ(Sink().DocumentsWritten(), 0);
        Sink().HoldPainting(false);
        ASSERT_TRUE(Sink().WaitIdle(kPaintTime));
        EXPECT_EQ(Sink().DocumentsWritten(), 1);
        EXPECT_EQ(Sink().PagesPrinted(), static_cast<int>(expected.size()));
        const auto pages = PdfPages(Sink().PdfPath());
        if (!pages)
            GTEST_SKIP() << "pdftotext (poppler-utils) is missing: page texts unchecked";
        EXPECT_EQ(*pages, expected);
    }
}

TEST_F(HostPrintingTest, ABusyPrinterRefusesScreensBeyondItsBacklogAndKeepsTheFirstInOrder)
{
    Sink().SetBacklogLimit(32 * 1024);
    Sink().HoldPainting(true);
    std::string bytes;
    for (int i = 1; i <= 500; ++i)
        bytes += Screen(i) + "\x1b[i";
    Host(bytes);
    const int pages = Sink().PagesPrinted();
    EXPECT_GT(pages, 0);
    EXPECT_LT(pages, 500);
    Sink().HoldPainting(false);
    ASSERT_TRUE(Sink().WaitIdle(kPaintTime));
    const auto texts = PdfPages(Sink().PdfPath());
    if (!texts)
        GTEST_SKIP() << "pdftotext (poppler-utils) is missing: page texts unchecked";
    ASSERT_EQ(texts->size(), static_cast<size_t>(pages));
    for (int i = 0; i < pages; ++i)
        EXPECT_EQ((*texts)[static_cast<size_t>(i)], "Screen" + std::to_string(i + 1));
}

TEST_F(HostPrintingTest, DeviceAttributesAreAnsweredWhileABigJobPaints)
{
    // Without the worker each of these paints on the terminal's thread: seconds, not a frame.
    std::string lines;
    while (lines.size() < 3 * 1024 * 1024)
        lines += "The quick brown fox jumps over the lazy dog, line after line of it.\r\n";
    struct SCase {
        const char* name;
        std::string bytes;
        int pages;
    };
    std::string screens = Screen(1);
    for (int i = 0; i < 2000; ++i)
        screens += "\x1b[i";
    const SCase cases[] = {{"3 MB host job", "\x1b[5i" + lines + "\x1b[4i", 500},
                           {"2000 print screens", screens, 2000}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        EXPECT_LT(AnswerTime(c.bytes).count(), 2.0);
        // Every page was taken, though painting goes on (and is cut when the terminal goes).
        EXPECT_GE(Sink().PagesPrinted(), c.pages);
    }
}

TEST_F(HostPrintingTest, ClosingWhileAJobPaintsCutsItCleanly)
{
    std::string lines;
    while (lines.size() < 4 * 1024 * 1024)
        lines += "Enough text that painting it outlasts the close, line after line.\r\n";
    // Held until the close, and a finishing time far too short for the job: the cut comes
    // however fast this machine parses and paints.
    Sink().HoldPainting(true);
    Sink().SetFinishOnClose(std::chrono::milliseconds(200));
    Host("\x1b[5i" + lines + "\x1b[4i");
    const auto start = std::chrono::steady_clock::now();
    m_vt.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(10));
    const QByteArray pdf = [&] {
        QFile file(m_dir.filePath("voltvt.pdf"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF")) << "the document was closed";
    const auto pages = PdfPages(m_dir.filePath("voltvt.pdf"));
    if (!pages)
        GTEST_SKIP() << "pdftotext (poppler-utils) is missing: the note is unchecked";
    ASSERT_FALSE(pages->empty());
    EXPECT_EQ(pages->back(), "***Printjobcuthere:theprogramendedbeforeitwasprinted***");
}

}  // namespace
