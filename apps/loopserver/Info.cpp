#include "apps/loopserver/Info.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const kParagraphs[] = {
    "The echo server is made of two classes, both derived from the VoltTCP stream "
    "component. CEchoServer owns the listening socket; each connection it accepts is "
    "handled by a CTcpChild of its own, which sends every byte it receives straight back "
    "to the client.",

    "The server keeps its children in a chain. The first link is a child that never "
    "connects and only anchors the chain; every accepted connection is added at the end. "
    "When a connection ends, its child unlinks itself from its neighbours and is deleted, "
    "so the chain always holds exactly the live connections.",

    "Every child keeps a reference to the server that created it. Through it the child "
    "lowers the server's connection count when its connection closes, which keeps the "
    "\"Active Connections\" figure on the main window up to date.",

    "Any TCP client can talk to the server: point the Telnet program at \"localhost\" and "
    "the listening port, type, and every line comes back. Clients on other machines can "
    "connect as well, using this computer's address and the same port.",
};

}  // namespace

TfrmInfo::TfrmInfo(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("TfrmInfo");
    setWindowTitle("Echo Server Information");
    auto* layout = new QVBoxLayout(this);
    int number = 1;
    for (const char* paragraph : kParagraphs) {
        auto* label = new QLabel(paragraph, this);
        label->setObjectName(QString("lblParagraph%1").arg(number++));
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    layout->addStretch();
    auto* btnHide = new QPushButton("Hide", this);
    btnHide->setObjectName("btnHide");
    connect(btnHide, &QPushButton::clicked, this, &QWidget::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnHide);
    layout->addLayout(buttons);
    // Narrower, the paragraphs would need more height than the window keeps for them.
    constexpr int kMinimumWidth = 380;
    setMinimumSize(kMinimumWidth, layout->totalHeightForWidth(kMinimumWidth));
    resize(460, std::max(380, layout->totalHeightForWidth(460)));
}
