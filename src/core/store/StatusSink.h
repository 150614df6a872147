#pragma once
// Where the running log goes: the main window's status box, the terminal, or a test recorder.
// Implementations must accept calls from any thread.
#include <string>
#include <string_view>

namespace tovi {

class StatusSink {
public:
    virtual ~StatusSink() = default;
    // Adds GBK text at the end of the log (most lines begin with "\r\n").
    virtual void append(std::string_view text) = 0;
    // Replaces the whole log with the text.
    virtual void replaceAll(std::string_view text) = 0;
    virtual void clear() { replaceAll({}); }
};

class NullStatusSink final : public StatusSink {
public:
    void append(std::string_view) override {}
    void replaceAll(std::string_view) override {}
};

}  // namespace tovi
