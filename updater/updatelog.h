// update.log: one line per step, each with the local date and time, in plain words. The whole file
// is written anew after every line (through the safe writer), so that whatever stops the updater
// leaves a whole log of the steps before.
#pragma once
#include <string>

class UpdateLog {
public:
    // An empty path keeps the lines in memory only.
    explicit UpdateLog(const std::wstring& path) : path(path) {}

    void Line(const std::wstring& text);
    // False when the last write of the file failed.
    bool Written() const { return written; }
    const std::string& Text() const { return text; }

private:
    std::wstring path;
    std::string text;  // 8-bit, the system's ANSI code page, as the log viewer reads it
    bool written = true;
};
