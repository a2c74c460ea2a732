#include "apps/termclient/Prefs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "apps/termclient/Client.h"

namespace {

QColor ColourOf(VtValue rgb)
{
    const auto value = static_cast<uint32_t>(rgb);
    return QColor(static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>(value & 0xFF));
}

VtValue RgbOf(const QColor& colour)
{
    return (static_cast<VtValue>(colour.red()) << 16) | (static_cast<VtValue>(colour.green()) << 8) |
           colour.blue();
}

constexpr EVtProperty kColourProperties[] = {kVtPropForegroundColour, kVtPropBackgroundColour,
                                             kVtPropBoldColour};

}  // namespace

TfrmPrefs::TfrmPrefs(QWidget* parent) : QDialog(parent)
{
    setObjectName("TfrmPrefs");
    setWindowTitle("Terminal Preferences");
    const auto named = [](auto* widget, const char* name) {
        widget->setObjectName(name);
        return widget;
    };
    cbxEcho = named(new QCheckBox("Local Echo", this), "cbxEcho");
    cbxCRLF = named(new QCheckBox("CR -> CRLF", this), "cbxCRLF");
    cbxSbEvents = named(new QCheckBox("Status Bar Events", this), "cbxSbEvents");
    edBufferRows = named(new QLineEdit(this), "edBufferRows");
    edBufferRows->setMaxLength(4);
    spnPrintLimit = named(new QSpinBox(this), "spnPrintLimit");
    spnPrintLimit->setRange(1, kMaxPrintLimitMb);
    spnPrintLimit->setSuffix(" MB");
    spnPrintLimit->setToolTip("A job the host prints is cut after this much");
    btnForeColor = named(new QPushButton("Foreground", this), "btnForeColor");
    btnBackColor = named(new QPushButton("Background", this), "btnBackColor");
    btnBoldColor = named(new QPushButton("Bold", this), "btnBoldColor");
    Button1 = named(new QPushButton("Select Font", this), "Button1");
    cboEncoding = named(new QComboBox(this), "cboEncoding");
    cboEncoding->addItems({"UTF-8", "8-bit (VT320)"});
    cboKeyLayout = named(new QComboBox(this), "cboKeyLayout");
    cboKeyLayout->addItems({"By their labels", "By their place on a DEC keyboard"});
    cbxBackspaceDel = named(new QCheckBox("Backspace sends DEL", this), "cbxBackspaceDel");
    cbxAltEscape = named(new QCheckBox("Alt sends ESC", this), "cbxAltEscape");
    btnOK = named(new QPushButton("OK", this), "btnOK");
    btnOK->setDefault(true);
    btnCancel = named(new QPushButton("Cancel", this), "btnCancel");

    auto* options = new QGroupBox("Options", this);
    auto* optionLayout = new QVBoxLayout(options);
    optionLayout->addWidget(cbxEcho);
    optionLayout->addWidget(cbxCRLF);
    optionLayout->addWidget(cbxSbEvents);
    auto* rows = new QFormLayout;
    rows->addRow("Buffer Rows:", edBufferRows);
    rows->addRow("Host Print Limit:", spnPrintLimit);
    optionLayout->addLayout(rows);

    auto* characters = new QGroupBox("Characters and Keys", this);
    auto* characterLayout = new QFormLayout(characters);
    characterLayout->addRow("Character set:", cboEncoding);
    characterLayout->addRow("Keys send:", cboKeyLayout);
    characterLayout->addRow(cbxBackspaceDel);
    characterLayout->addRow(cbxAltEscape);

    auto* looks = new QGroupBox("Colours and Font", this);
    auto* lookLayout = new QGridLayout(looks);
    lookLayout->addWidget(btnForeColor, 0, 0);
    lookLayout->addWidget(btnBackColor, 0, 1);
    lookLayout->addWidget(btnBoldColor, 1, 0);
    lookLayout->addWidget(Button1, 1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    auto* groups = new QGridLayout;
    groups->addWidget(options, 0, 0);
    groups->addWidget(looks, 0, 1);
    groups->addWidget(characters, 1, 0, 1, 2);
    layout->addLayout(groups);
    layout->addStretch();
    layout->addLayout(buttons);

    m_pickColor = [this](const QColor& initial, const QString& title) -> std::optional<QColor> {
        const QColor colour = QColorDialog::getColor(initial, this, title);
        return colour.isValid() ? std::optional<QColor>(colour) : std::nullopt;
    };
    m_pickFont = [this](const QFont& initial) -> std::optional<QFont> {
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, initial, this, QString(), QFontDialog::MonospacedFonts);
        return ok ? std::optional<QFont>(font) : std::nullopt;
    };

    connect(btnForeColor, &QPushButton::clicked, this,
            [this] { PickColour(kVtPropForegroundColour, "Foreground"); });
    connect(btnBackColor, &QPushButton::clicked, this,
            [this] { PickColour(kVtPropBackgroundColour, "Background"); });
    connect(btnBoldColor, &QPushButton::clicked, this, [this] { PickColour(kVtPropBoldColour, "Bold"); });
    connect(Button1, &QPushButton::clicked, this, &TfrmPrefs::Button1Click);
    connect(btnOK, &QPushButton::clicked, this, &TfrmPrefs::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmPrefs::reject);
}

void TfrmPrefs::Fill(CTelnetClient& client)
{
    m_client = &client;
    cbxEcho->setChecked(client.m_localEcho);
    cbxCRLF->setChecked(client.m_addLineFeed);
    cbxSbEvents->setChecked(client.m_showEvents);
    edBufferRows->setText(QString::number(client.GetProperty(kVtPropScrollbackRows)));
    cboEncoding->setCurrentIndex(client.GetProperty(kVtPropUtf8) != 0 ? 0 : 1);
    cboKeyLayout->setCurrentIndex(client.KeyLayout() == kKeyLayoutDec ? 1 : 0);
    cbxBackspaceDel->setChecked(client.GetProperty(kVtPropBackspaceSendsBs) == 0);
    cbxAltEscape->setChecked(client.AltSendsEscape());
    spnPrintLimit->setValue(static_cast<int>(client.Emulator().Printer().JobLimit() / kMegabyte));
    for (int i = 0; i < 3; ++i)
        m_colours[i] = client.GetProperty(kColourProperties[i]);
    m_fontBefore.reset();
}

void TfrmPrefs::PickColour(EVtProperty property, const QString& title)
{
    if (m_client == nullptr)
        return;
    if (const auto colour = m_pickColor(ColourOf(m_client->GetProperty(property)), title))
        m_client->SetProperty(property, RgbOf(*colour));
}

void TfrmPrefs::Button1Click()
{
    if (m_client == nullptr)
        return;
    QFont initial(CVtWidget::kDecFamily);
    initial.setPixelSize(16);
    if (CVtWidget* window = m_client->TerminalWindow())
        initial = window->TerminalFont();
    if (const auto font = m_pickFont(initial)) {
        if (!m_fontBefore && m_client->TerminalWindow() != nullptr)
            m_fontBefore = m_client->TerminalWindow()->OwnerFont();
        m_client->SetFont(*font);
        if (CVtWidget* window = m_client->TerminalWindow())
            window->InvalidateAll();
    }
}

void TfrmPrefs::btnOKClick()
{
    if (m_client != nullptr) {
        m_client->m_localEcho = cbxEcho->isChecked();
        m_client->m_addLineFeed = cbxCRLF->isChecked();
        m_client->m_showEvents = cbxSbEvents->isChecked();
        emit StatusCleared();
        bool ok = false;
        const int rows = edBufferRows->text().trimmed().toInt(&ok);
        m_client->SetProperty(kVtPropScrollbackRows, ok && rows >= 0 ? rows : 0);
        m_client->SetProperty(kVtPropUtf8, cboEncoding->currentIndex() == 0);
        m_client->SetKeyLayout(cboKeyLayout->currentIndex() == 1 ? kKeyLayoutDec : kKeyLayoutLabels);
        m_client->SetProperty(kVtPropBackspaceSendsBs, !cbxBackspaceDel->isChecked());
        m_client->SetAltSendsEscape(cbxAltEscape->isChecked());
        m_client->Emulator().Printer().SetJobLimit(static_cast<uint64_t>(spnPrintLimit->value()) * kMegabyte);
        emit Applied();
    }
    accept();
}

void TfrmPrefs::reject()
{
    if (m_client != nullptr) {
        for (int i = 0; i < 3; ++i) {
            if (m_client->GetProperty(kColourProperties[i]) != m_colours[i])
                m_client->SetProperty(kColourProperties[i], m_colours[i]);
        }
        if (m_fontBefore) {
            m_client->SetFont(*m_fontBefore);
            if (CVtWidget* window = m_client->TerminalWindow())
                window->InvalidateAll();
        }
        m_fontBefore.reset();
    }
    QDialog::reject();
}
