// The program's diagnostic log: a few whole lines ("Hushglass: …") for the
// user's journal. No levels, no files. By default lines go to standard error;
// tests install a sink to read them. A line standard error cannot take is
// dropped (with SIGPIPE handled, see app/quit_signals.h). Thread-safe.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace hg {

void logLine(std::string_view line);
// printf-style convenience for lines with figures, e.g.
// logFormat("Hushglass: focus window unlocatable for %.1fs; leaving insertion", s).
void logFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

using LogSink = std::function<void(std::string_view)>;
// Replaces the sink and returns the previous one; an empty sink restores stderr.
LogSink setLogSink(LogSink sink);

} // namespace hg
