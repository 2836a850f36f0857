#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <cerrno>
#include <mutex>
#include <unistd.h>

namespace hg {
namespace {

std::mutex& sinkMutex()
{
    static std::mutex mutex;
    return mutex;
}

LogSink& sink()
{
    static LogSink current;
    return current;
}

} // namespace

void logLine(std::string_view line)
{
    std::lock_guard lock(sinkMutex());
    if (sink()) {
        sink()(line);
        return;
    }
    // One write per line, so that lines of several threads or processes never
    // interleave. A line nobody can take (the reader of standard error went
    // away, a full disk) is dropped: the log never stops the program.
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line).push_back('\n');
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += static_cast<std::size_t>(n);
    }
}

void logFormat(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    logLine(buffer);
}

LogSink setLogSink(LogSink next)
{
    std::lock_guard lock(sinkMutex());
    LogSink previous = std::move(sink());
    sink() = std::move(next);
    return previous;
}

} // namespace hg
