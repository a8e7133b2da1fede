// mex.cpp: the MEX side of the host layer (libmex): errors, warnings and the
// interrupt flag.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <iostream>

#include "host_internal.h"

namespace mexhost::detail {

namespace {

// The text of a printf-style format and its arguments.
std::string formatted(const char *format, va_list arguments) {
    if (format == nullptr) return "";
    va_list measuring;
    va_copy(measuring, arguments);
    int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length < 0) return format;  // a malformed format: the format itself says most
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::vector<std::vector<Warning> *> &warning_records() {
    static std::vector<std::vector<Warning> *> records;
    return records;
}

// Outside any call (a test calling core code directly) nobody collects the
// warning, so it goes where a user sees it.
void warn(const char *id, const std::string &message) {
    auto &records = warning_records();
    if (records.empty()) {
        std::cerr << "warning: " << message << '\n';
        return;
    }
    records.back()->push_back(Warning{id != nullptr ? id : "", message});
}

// Set from signal handlers: it must stay lock-free to be safe there.
std::atomic<bool> interrupt_pending{false};
static_assert(std::atomic<bool>::is_always_lock_free);

} // namespace

void open_warning_record(std::vector<Warning> *record) { warning_records().push_back(record); }

void close_warning_record() { warning_records().pop_back(); }

} // namespace mexhost::detail

namespace mexhost {

void request_interrupt() { detail::interrupt_pending.store(true); }

void clear_interrupt() { detail::interrupt_pending.store(false); }

} // namespace mexhost

// Ends the current call by throwing; mexhost::call catches it and reports
// the message. Outside any call (a test calling core code directly) it
// throws just the same, so it never returns there either.
void mexErrMsgTxt(const char *message) {
    mexhost::detail::raise_error(message != nullptr ? message : "");
}

void mexErrMsgIdAndTxt(const char *id, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string message = mexhost::detail::formatted(format, arguments);
    va_end(arguments);
    mexhost::detail::raise_error(message, id != nullptr ? id : "");
}

void mexWarnMsgTxt(const char *message) {
    mexhost::detail::warn(nullptr, message != nullptr ? message : "");
}

void mexWarnMsgIdAndTxt(const char *id, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string message = mexhost::detail::formatted(format, arguments);
    va_end(arguments);
    mexhost::detail::warn(id, message);
}

bool utIsInterruptPending(void) { return mexhost::detail::interrupt_pending.load(); }
