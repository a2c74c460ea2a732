#pragma once

// One offscreen QApplication for the whole test program, with the library's loop running
// inside it and trace views as windows, as in the programs; from then on RunUntil and
// RunFor (RunLoop.h) turn Qt's event loop.
void EnsureQtTestApp(const char* title);

class QWidget;

// Runs `form` as a program runs its main window (CApplication::Run), with whatever other
// windows are open, and closes it shortly after. True when that ended the run; false when
// the run was still going after a few seconds and had to be stopped.
bool ClosingEndsTheRun(QWidget& form);
