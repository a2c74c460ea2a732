#pragma once

#include <QWidget>

// Explains how the echo server is built and how to try it.
class TfrmInfo final : public QWidget {
    Q_OBJECT
public:
    explicit TfrmInfo(QWidget* parent = nullptr);
};
