#pragma once

// One offscreen QApplication for the whole test program, with the library's loop running
// inside it and trace views as windows, as in the programs; from then on RunUntil and
// RunFor (RunLoop.h) turn Qt's event loop.
void EnsureQtTestApp(const char* title);
