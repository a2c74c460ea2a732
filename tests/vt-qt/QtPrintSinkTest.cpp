#include "vt/qt/QtPrintSink.h"

#include <string>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "tests/support/QtTestApp.h"
#include "vt/VtPrinter.h"
#include "vt/VtScreen.h"

namespace {

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
    EXPECT_EQ(Read(m_sink.RawPath()), QByteArray::fromStdString(bytes + bytes));
    EXPECT_FALSE(QFile::exists(m_sink.PdfPath())) << "a raw job leaves no empty document";
}

}  // namespace
