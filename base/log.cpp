#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

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
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
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
