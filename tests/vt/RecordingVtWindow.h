#pragma once

#include <string>
#include <vector>

#include "vt/VtWindow.h"

// A window that writes down what the model asks of it.
class CRecordingVtWindow final : public IVtWindow {
public:
    void InvalidateCells(int top, int left, int bottom, int right) override
    {
        Add("inval " + std::to_string(top) + "," + std::to_string(left) + "-" + std::to_string(bottom) + "," +
            std::to_string(right));
    }
    void InvalidateAll() override { Add("inval all"); }
    void FlushPaint() override { Add("flush"); }
    void ScrollRows(int top, int bottom, int n, bool down) override
    {
        Add("scroll " + std::to_string(top) + "-" + std::to_string(bottom) + " " + std::to_string(n) +
            (down ? " down" : " up"));
    }
    int VisibleRows() const override { return m_visible; }
    int ScrollPosition() const override { return m_position; }
    void SetScrollPosition(int position) override
    {
        m_position = position;
        Add("position " + std::to_string(position));
    }
    void SetScrollRange(int maximum) override { Add("range " + std::to_string(maximum)); }
    void Relayout() override { Add("relayout"); }
    void MoveCaret(int row, int column) override
    {
        m_caret = std::to_string(row) + "," + std::to_string(column);
    }
    void ShowCaret(bool show) override { Add(show ? "caret on" : "caret off"); }

    void SetVisibleRows(int rows) { m_visible = rows; }
    const std::vector<std::string>& Events() const { return m_events; }
    const std::string& Caret() const { return m_caret; }
    void Clear() { m_events.clear(); }

private:
    void Add(std::string event) { m_events.push_back(std::move(event)); }

    int m_visible = 0;
    int m_position = 0;
    std::string m_caret;
    std::vector<std::string> m_events;
};
