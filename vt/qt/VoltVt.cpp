#include "vt/qt/VoltVt.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include "vt/qt/QtPrintSink.h"

// The emulator's own events, passed on to the facade's own.
class CVoltVt::CTerminal final : public CVt {
public:
    CTerminal(CVoltVt& owner, IPrintSink* sink) : CVt(sink), m_owner(owner) {}

protected:
    void OnPropertyHook(int id, VtValue value, bool& handled) override
    {
        m_owner.OnPropertyHook(id, value, handled);
    }
    void SendToHost(const uint8_t* bytes, size_t length) override { m_owner.SendToHost(bytes, length); }
    void LineOutput(const uint8_t* bytes, size_t length) override { m_owner.LineOutput(bytes, length); }
    void OnBell(bool audible) override { m_owner.Bell(audible); }
    void OnAppearanceChanged() override { m_owner.SyncLook(); }
    void OnWindowTitle(const std::string& title) override
    {
        m_owner.OnWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    }
    void OnScreenSize(int columns, int rows) override { m_owner.OnScreenSize(columns, rows); }

private:
    CVoltVt& m_owner;
};

namespace {

// Selection properties count copied text: every line adds CR LF.
VtValue TextPosition(int cell, int columns)
{
    return static_cast<VtValue>(cell / columns) * (columns + 2) + cell % columns;
}

int CellOfTextPosition(VtValue position, int columns)
{
    position = std::max<VtValue>(position, 0);
    const VtValue line = position / (columns + 2);
    const VtValue column = std::min<VtValue>(position % (columns + 2), columns);
    return static_cast<int>(std::min<VtValue>(line * columns + column, 1 << 30));
}

}  // namespace

CVoltVt::CVoltVt(const QString& pdfPath)
    : m_sink(std::make_unique<CQtPrintSink>(pdfPath)),
      m_vt(std::make_unique<CTerminal>(*this, m_sink.get())),
      m_keyboard(CVtKeyboard::CEvents{
          [this](std::string_view bytes) {
              SendToHost(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
          },
          [this](uint32_t& key, uint32_t& shiftCode, bool extended) {
              OnKeyNotify(key, shiftCode, extended);
          },
          [this](VtViewScroll scroll) {
              if (m_widget)
                  m_widget->ScrollView(scroll);
          },
          [this] { m_vt->SetProperty(kVtPropPrintScreen, 1); },
          [this] { OnPasteSelection(); },
          [this](int step) {
              if (m_widget)
                  m_widget->ZoomFont(step);
          },
      })
{}

CVoltVt::~CVoltVt()
{
    // The window may outlive us inside its parent; it must not call back into a dead owner.
    if (m_widget) {
        m_widget->SetEvents({});
        m_widget->SetScreen(nullptr);
        delete m_widget.data();
    }
    m_vt->SetWindow(nullptr);
}

CVt& CVoltVt::Emulator()
{
    return *m_vt;
}

const CVt& CVoltVt::Emulator() const
{
    return *m_vt;
}

CVtWidget* CVoltVt::CreateTerminalWindow(QWidget* parent)
{
    if (m_widget)
        return m_widget.data();
    m_widget = new CVtWidget(parent);
    m_widget->SetEvents(CVtWidget::CEvents{
        [this](const CVtKeyEvent& event) { return m_keyboard.KeyDown(event, KeyboardState()); },
        [this](const CVtKeyEvent& event) { return m_keyboard.SysKeyDown(event, KeyboardState()); },
        [this](uint32_t character, const CVtKeyEvent& event) {
            m_keyboard.CharTyped(character, event, KeyboardState());
        },
        [this](int x, int y, VtMouse type, uint32_t keys) { OnWidgetMouse(x, y, type, keys); },
        [this] { OnPasteSelection(); },
        [this](int columns, int rows) { FitToWindow(columns, rows); },
    });
    m_widget->SetScreen(&m_vt->Screen());
    QFont font(CVtWidget::kDecFamily);
    font.setPixelSize(12);
    SetFont(font);
    m_widget->move(0, 0);
    m_widget->show();
    SyncLook();
    return m_widget.data();
}

void CVoltVt::SetFont(const QFont& font)
{
    if (!m_widget)
        return;
    m_widget->SetTerminalFont(font);
    m_vt->SetCellSize(m_widget->CellWidth(), m_widget->CellHeight());
}

void CVoltVt::SetAltSendsEscape(bool on)
{
    m_altSendsEscape = on;
    if (m_widget)
        m_widget->SetAltKeysToTerminal(on);
}

void CVoltVt::SetFollowWindow(bool on)
{
    m_followWindow = on;
    m_windowCells = QSize();
    // A window not yet shown has no size of its own; it reports one when it appears.
    if (on && m_widget && m_widget->isVisible()) {
        const QSize cells = m_widget->CellsThatFit();
        FitToWindow(cells.width(), cells.height());
    }
}

void CVoltVt::FitToWindow(int columns, int rows)
{
    if (m_widget)
        m_vt->SetCellSize(m_widget->CellWidth(), m_widget->CellHeight());
    // Only a change of the window counts: a width the host chose (132 columns) stays until then.
    if (!m_followWindow || QSize(columns, rows) == m_windowCells)
        return;
    m_windowCells = QSize(columns, rows);
    m_vt->ResizeToWindow(columns, rows);
}

QString CVoltVt::SelectedText() const
{
    if (!m_widget || m_widget->SelectionLength() <= 0)
        return QString();
    if (m_vt->Utf8())
        return QString::fromStdString(
            m_vt->Screen().TextUtf8(m_widget->SelectionStart(), m_widget->SelectionLength()));
    // The selection's own counting over GetText, each line with CR LF.
    const VtValue length = GetProperty(kVtPropSelectionLength);
    const VtValue start = GetProperty(kVtPropSelectionStart);
    std::string text(static_cast<size_t>(start + length), '\0');
    const int got = GetText(text.data(), static_cast<int>(text.size()));
    if (start - 1 >= got)
        return QString();
    text.resize(static_cast<size_t>(got));
    return QString::fromLatin1(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length)));
}

QFont CVoltVt::GetFont() const
{
    return m_widget ? m_widget->TerminalFont() : QFont();
}

void CVoltVt::ReceiveData(const uint8_t* bytes, size_t length)
{
    if (m_widget && m_widget->SelectionLength() != 0 && length != 0 && m_vt->Screen().Enabled())
        m_widget->ClearSelection();
    m_vt->ReceiveData(bytes, length);
    SyncLook();
}

VtValue CVoltVt::GetProperty(int id) const
{
    const int columns = std::max(m_vt->Screen().Columns(), 1);
    if (m_widget && id == kVtPropSelectionLength) {
        const int start = m_widget->SelectionStart();
        const int end = start + m_widget->SelectionLength();
        return TextPosition(end, columns) - TextPosition(start, columns);
    }
    if (m_widget && id == kVtPropSelectionStart)
        return TextPosition(m_widget->SelectionStart(), columns) + 1;
    return m_vt->GetProperty(id);
}

VtValue CVoltVt::SetProperty(int id, VtValue value)
{
    const int columns = std::max(m_vt->Screen().Columns(), 1);
    if (m_widget && (id == kVtPropSelectionLength || id == kVtPropSelectionStart)) {
        // Start and length are given separately: keep the end in text positions exact.
        const VtValue start = TextPosition(m_widget->SelectionStart(), columns);
        const VtValue newStart = id == kVtPropSelectionStart ? value - 1 : start;
        const VtValue length = id == kVtPropSelectionLength ? value : GetProperty(kVtPropSelectionLength);
        const int first = CellOfTextPosition(newStart, columns);
        const int end = CellOfTextPosition(newStart + std::max<VtValue>(length, 0), columns);
        m_widget->SetSelection(first, end - first);
        return 1;
    }
    const VtValue result = m_vt->SetProperty(id, value);
    if (id == kVtPropEnabled && m_widget && result != 0)
        m_widget->Relayout();
    SyncLook();
    return result;
}

int CVoltVt::GetText(char* buffer, int length) const
{
    return m_vt->Screen().GetText(buffer, length);
}

CVtKeyboardState CVoltVt::KeyboardState() const
{
    CVtKeyboardState state;
    const CVt& vt = *m_vt;
    state.enabled = vt.Screen().Enabled();
    state.level = vt.Level();
    state.eightBitControls = vt.Level() == kLevelVt220Bit8 || vt.Level() == kLevelVt320Bit8;
    state.cursorKeysApplication = vt.CursorKeysApplication();
    state.keypadApplication = vt.KeypadApplication();
    state.newLine = vt.NewLineMode();
    state.backspaceSendsDel = !vt.BackspaceSendsBs();
    state.autoRepeat = vt.GetProperty(kVtPropAutoRepeat) != 0;
    state.nationalSet = static_cast<uint8_t>(vt.NationalSet());
    state.decFont = m_widget ? m_widget->DecFace() : true;
    state.layout = m_keyLayout;
    state.altSendsEscape = m_altSendsEscape;
    state.utf8 = vt.Utf8();
    state.userDefinedKey = [this](uint8_t key) {
        const std::string* text = m_vt->UserKey(key);
        return text != nullptr ? *text : std::string();
    };
    return state;
}

void CVoltVt::SyncLook()
{
    if (!m_widget)
        return;
    CVtLook look;
    look.foreground = static_cast<uint32_t>(m_vt->GetProperty(kVtPropForegroundColour));
    look.background = static_cast<uint32_t>(m_vt->GetProperty(kVtPropBackgroundColour));
    look.bold = static_cast<uint32_t>(m_vt->GetProperty(kVtPropBoldColour));
    look.reverseScreen = (m_vt->GetProperty(kVtPropReverseScreen) != 0) != m_flashing;
    look.nationalSet = static_cast<uint8_t>(m_vt->NationalSet());
    look.statusLine = m_vt->GetProperty(kVtPropStatusDisplay) != 0;
    look.caretVisible = m_vt->GetProperty(kVtPropCaretVisible) != 0;
    look.underlineCaret = m_vt->GetProperty(kVtPropUnderlineCaret) != 0;
    look.enabled = m_vt->Screen().Enabled();
    look.utf8 = m_vt->Utf8();
    m_widget->SetLook(look);
}

void CVoltVt::Bell(bool audible)
{
    if (audible) {
        QApplication::beep();
        return;
    }
    // A visual bell: the screen flashes reversed for a moment.
    if (m_flashing || !m_widget)
        return;
    m_flashing = true;
    SyncLook();
    QTimer::singleShot(100, m_widget.data(), [this] {
        m_flashing = false;
        SyncLook();
    });
}

void CVoltVt::OnWidgetMouse(int x, int y, VtMouse type, uint32_t keys)
{
    // A finished selection is the primary selection, where the desktop has one.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (type == VtMouse::LeftUp && clipboard->supportsSelection()) {
        const QString text = SelectedText();
        if (!text.isEmpty())
            clipboard->setText(text, QClipboard::Selection);
    }
    OnMouse(x, y, static_cast<uint32_t>(type), keys);
}
