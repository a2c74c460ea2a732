#pragma once

#include <cstddef>
#include <string>

// Generated host output for terminal benchmarks: deterministic, so that every run and every
// terminal measured sees the same bytes. Sized for a 24x80 screen.
namespace host_output {

// Lines of prose that scroll the screen.
std::string PlainText(size_t bytes);
// Coloured words, as a compiler or ls with colours prints them.
std::string HeavySgr(size_t bytes);
// Full-screen redraws by cursor addressing, as an editor or a status monitor does them.
std::string CursorAddressed(size_t bytes);
// The three above interleaved in 64 KiB pieces.
std::string Mixed(size_t bytes);

}  // namespace host_output
