#include "apps/common/About.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kRed(0xFF, 0x00, 0x00);

QPixmap PaintLogo(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(kNavy);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 8.0, size / 8.0);
    const double u = size / 16.0;
    QPainterPath bolt;
    bolt.moveTo(9.5 * u, 1.5 * u);
    bolt.lineTo(3.5 * u, 9.0 * u);
    bolt.lineTo(7.5 * u, 9.0 * u);
    bolt.lineTo(6.0 * u, 14.5 * u);
    bolt.lineTo(12.5 * u, 6.5 * u);
    bolt.lineTo(8.5 * u, 6.5 * u);
    bolt.closeSubpath();
    painter.setBrush(QColor(0xFF, 0xD7, 0x00));
    painter.drawPath(bolt);
    return pixmap;
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_lblTitle(new QLabel(this)),
      m_lblWWW(new QLabel(this)),
      m_panel(new QFrame(this)),
      m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName("TfrmAbout");
    setWindowTitle("About VoltTCP");
    QFont small = font();
    small.setPointSize(8);
    small.setBold(true);
    setFont(small);

    m_lblTitle->setObjectName("lblTitle");
    m_lblTitle->setText(QApplication::applicationDisplayName());
    QFont titleFont = small;
    titleFont.setPointSize(11);
    m_lblTitle->setFont(titleFont);

    auto* lblLine3 = new QLabel("A sample application of the VoltTCP socket class library.", this);
    lblLine3->setObjectName("lblLine3");
    auto* lblNotice = new QLabel("VoltTCP is free software of the VoltTCP project.", this);
    lblNotice->setObjectName("lblNotice");
    auto* lblPhone = new QLabel("VoltTCP project line: +1 555 0100", this);
    lblPhone->setObjectName("lblPhone");

    auto* btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QWidget::hide);

    auto* text = new QVBoxLayout;
    text->addWidget(m_lblTitle);
    text->addWidget(lblLine3);
    text->addSpacing(8);
    text->addWidget(lblNotice);
    text->addWidget(lblPhone);
    text->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    text->addLayout(buttons);

    m_panel->setObjectName("pnlLogo");
    static_cast<QFrame*>(m_panel)->setFrameShape(QFrame::StyledPanel);
    auto* imgLogo = new QLabel(m_panel);
    imgLogo->setObjectName("imgLogo");
    imgLogo->setPixmap(PaintLogo(64));
    imgLogo->setAlignment(Qt::AlignCenter);
    m_lblWWW->setParent(m_panel);
    m_lblWWW->setObjectName("lblWWW");
    m_lblWWW->setText(HomePage().host());
    m_lblWWW->setCursor(Qt::PointingHandCursor);
    QFont linkFont = small;
    linkFont.setUnderline(true);
    m_lblWWW->setFont(linkFont);
    auto* panelLayout = new QVBoxLayout(m_panel);
    panelLayout->addWidget(imgLogo);
    panelLayout->addWidget(m_lblWWW, 0, Qt::AlignHCenter);

    auto* outer = new QHBoxLayout(this);
    outer->addLayout(text, 1);
    outer->addWidget(m_panel);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    SetLinkColor(kNavy);
    // Moves over the panel or the form only arrive with tracking on.
    setMouseTracking(true);
    m_panel->setMouseTracking(true);
    m_panel->installEventFilter(this);
    m_lblWWW->installEventFilter(this);
    installEventFilter(this);
}

QUrl TfrmAbout::HomePage()
{
    return QUrl("https://volttcp.example.org/");
}

void TfrmAbout::SetUrlOpener(std::function<bool(const QUrl&)> opener)
{
    m_openUrl = std::move(opener);
}

QColor TfrmAbout::LinkColor() const
{
    return m_linkColor;
}

void TfrmAbout::ShowAbout()
{
    m_lblTitle->setText(QApplication::applicationDisplayName());
    show();
    raise();
    activateWindow();
}

void TfrmAbout::SetLinkColor(const QColor& color)
{
    m_linkColor = color;
    QPalette palette = m_lblWWW->palette();
    palette.setColor(QPalette::WindowText, color);
    m_lblWWW->setPalette(palette);
}

void TfrmAbout::keyPressEvent(QKeyEvent* event)
{
    // OK is the default button, and Escape closes the box as well.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lblWWW) {
        if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
            SetLinkColor(kRed);
        } else if (event->type() == QEvent::MouseButtonRelease &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_openUrl(HomePage());
            return true;
        }
    } else if ((watched == m_panel || watched == this) && event->type() == QEvent::MouseMove &&
               m_linkColor == kRed) {
        SetLinkColor(kNavy);
    }
    return QWidget::eventFilter(watched, event);
}
