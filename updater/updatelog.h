// update.log: one line per step, each with the local date and time, in plain words. Each run starts
// with a header line (kRunHeader and the time) and appends its lines one by one, so that the log
// viewer can show the last run alone and a run that is killed leaves every line before.
#pragma once
#include <windows.h>

#include <string>

#include "base/handle.h"

// The start of the first line of every run (the log viewer shows the log from the last one).
constexpr char kRunHeader[] = "==== Update.exe started";

class UpdateLog {
public:
    // An empty path keeps the lines in memory only.
    explicit UpdateLog(const std::wstring& path);
    ~UpdateLog();
    UpdateLog(const UpdateLog&) = delete;
    UpdateLog& operator=(const UpdateLog&) = delete;

    // Safe from any thread. A line that cannot be written is dropped: the log never holds up a run.
    void Line(const std::wstring& text);
    // False when a line could not be written.
    bool Written() const { return written; }
    std::string Text() const;

private:
    UniqueHandle file;
    std::string text;  // 8-bit, the system's ANSI code page, as the log viewer reads it
    bool written = true;
    mutable CRITICAL_SECTION lock;
};
