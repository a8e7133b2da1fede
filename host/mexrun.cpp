// mexrun.cpp: runs MEX plug-ins from the command line, one call per
// argument, and prints their outputs as `name = value`.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>

#include "call_syntax.h"

#ifndef MEXRUN_PLUGIN_DIR
#define MEXRUN_PLUGIN_DIR "."
#endif

namespace {

// Exit statuses.
const int status_ok = 0;
const int status_plugin_error = 1;  // a plug-in reported an error
const int status_usage = 2;         // bad command line, malformed call, plug-in not loadable
const int status_interrupted = 130; // SIGINT or SIGTERM, as a shell reports an interrupted command

const char usage_text[] =
    "usage: mexrun [--path DIR] CALL...\n"
    "Loads each plug-in DIR/NAME.mexa64, calls it and prints its outputs.\n"
    "  CALL      [v, d] = NAME(ARG, ...)   or   v = NAME(ARG, ...)   or   NAME(ARG, ...)\n"
    "  ARG       2  -1.5e-3  Inf  NaN  1+2i  [1 2; 3 4]  []  'text'  true  false\n"
    "            zeros(M,N)  ones(M,N)  sparse(X)  int32(X)  single(X)\n"
    "  --path    folder of the plug-ins (default " MEXRUN_PLUGIN_DIR ")\n"
    "Outputs go to stdout; warnings and errors to stderr as `warning: NAME: ...`\n"
    "and `error: NAME: ...`. A struct output prints one line per field.\n"
    "SIGINT or SIGTERM asks the running plug-in to stop; a third one ends mexrun\n"
    "at once.\n"
    "Exit status: 0 success, 1 a plug-in reported an error, 2 bad command line,\n"
    "malformed call or plug-in that cannot be loaded, 130 interrupted.\n";

struct Options {
    std::string plugin_dir = MEXRUN_PLUGIN_DIR;
    std::vector<std::string> calls;
    bool help = false;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Options read_options(int argc, char **argv) {
    Options options;
    for (int k = 1; k < argc; ++k) {
        std::string arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--path") {
            if (++k == argc) throw UsageError("--path needs a folder");
            options.plugin_dir = argv[k];
        } else if (arg.rfind("--path=", 0) == 0) {
            options.plugin_dir = arg.substr(7);
        } else if (arg.rfind("-", 0) == 0) {
            throw UsageError("unknown option " + arg);
        } else {
            options.calls.push_back(arg);
        }
    }
    return options;
}

using PluginTable = std::map<std::string, mexhost::MexFunction>;

// Loads every plug-in the calls name, before any call runs.
PluginTable load_plugins(const std::vector<call_syntax::Call> &calls, const std::string &dir) {
    PluginTable plugins;
    for (const auto &call : calls) {
        if (plugins.count(call.function) != 0) continue;
        std::string error;
        mexhost::MexFunction fn = mexhost::load_plugin(dir + "/" + call.function + ".mexa64", error);
        if (fn == nullptr) throw UsageError(error);
        plugins[call.function] = fn;
    }
    return plugins;
}

void print_output(const std::string &name, const mxArray *array) {
    std::cout << call_syntax::format_output(name, array);
}

void print_outputs(const call_syntax::Call &call, const mexhost::CallResult &result) {
    if (call.outputs.empty() && result.outputs[0] != nullptr) print_output("ans", result.outputs[0]);
    for (size_t k = 0; k < call.outputs.size(); ++k) {
        if (call.outputs[k] != "~") print_output(call.outputs[k], result.outputs[k]);
    }
}

void print_warnings(const std::string &name, const mexhost::CallResult &result) {
    for (const auto &warning : result.warnings) {
        std::cerr << "warning: " << name << ": " << warning.message << '\n';
    }
}

bool ends_with(const std::string &text, const std::string &end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whatever a plug-in reports once the user asked it to stop is the
// interruption showing, not a fault of its own.
bool was_interrupted(const mexhost::CallResult &result) {
    return !result.ok && (utIsInterruptPending() || ends_with(result.error_id, ":interrupted"));
}

int report_interrupted(const std::string &name) {
    std::cerr << "error: " << name << ": interrupted\n";
    return status_interrupted;
}

// Memory a plug-in forgot to free is a fault worth seeing, though the call
// itself succeeded.
void warn_about_leaks(const std::string &name, const mexhost::CallResult &result) {
    if (result.leaked_blocks == 0 && result.leaked_arrays == 0) return;
    std::cerr << "warning: " << name << ": the host released " << result.leaked_blocks
              << " memory block(s) and " << result.leaked_arrays
              << " array(s) that the plug-in left behind\n";
}

std::vector<mxArray *> build_inputs(const call_syntax::Call &call) {
    std::vector<mxArray *> inputs;
    try {
        for (const auto &argument : call.arguments) inputs.push_back(call_syntax::to_array(argument));
    } catch (const std::exception &error) {
        for (mxArray *input : inputs) mxDestroyArray(input);
        throw UsageError(std::string("cannot build the arguments of ") + call.function + ": " +
                         error.what());
    }
    return inputs;
}

int run_call(const call_syntax::Call &call, mexhost::MexFunction fn) {
    if (utIsInterruptPending()) return report_interrupted(call.function);  // asked before it began
    std::vector<mxArray *> inputs = build_inputs(call);
    mexhost::CallResult result = mexhost::call(
        fn, static_cast<int>(call.outputs.size()),
        std::vector<const mxArray *>(inputs.begin(), inputs.end()));
    for (mxArray *input : inputs) mxDestroyArray(input);
    std::cout.flush();  // keep the order of the earlier outputs and what follows on stderr
    print_warnings(call.function, result);
    if (was_interrupted(result)) return report_interrupted(call.function);
    if (!result.ok) {
        std::cerr << "error: " << call.function << ": " << result.message << '\n';
        return status_plugin_error;
    }
    print_outputs(call, result);
    std::cout.flush();
    warn_about_leaks(call.function, result);
    mexhost::release(result);
    return status_ok;
}

int run(const Options &options) {
    std::vector<call_syntax::Call> calls;
    for (const auto &text : options.calls) calls.push_back(call_syntax::parse_call(text));
    PluginTable plugins = load_plugins(calls, options.plugin_dir);
    for (const auto &call : calls) {
        int status = run_call(call, plugins.at(call.function));
        if (status != status_ok) return status;
    }
    return status_ok;
}

} // namespace

// Interrupt signals received; touched by the handler only.
static volatile std::sig_atomic_t interrupt_signals = 0;

// The first signal asks the running plug-in to stop, so that it releases
// what it holds and mexrun reports the interruption; a second changes
// nothing, so that an impatient user does not cut that cleanup short; the
// third ends the process at once. Only async-signal-safe work here.
extern "C" {
static void on_interrupt_signal(int) {
    interrupt_signals = interrupt_signals + 1;
    if (interrupt_signals >= 3) _exit(status_interrupted);
    mexhost::request_interrupt();
}
}

// Both signals are blocked while the handler runs, so that its count is
// never updated by two handlers at once.
static void install_interrupt_handlers() {
    struct sigaction action {};
    action.sa_handler = on_interrupt_signal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int main(int argc, char **argv) {
    install_interrupt_handlers();
    try {
        Options options = read_options(argc, argv);
        if (options.help) {
            std::cout << usage_text;
            return status_ok;
        }
        if (options.calls.empty()) {
            std::cerr << usage_text;
            return status_usage;
        }
        return run(options);
    } catch (const call_syntax::SyntaxError &error) {
        std::cerr << "mexrun: malformed call: " << error.what() << '\n';
    } catch (const std::exception &error) {  // UsageError and anything unforeseen
        std::cerr << "mexrun: " << error.what() << '\n';
    }
    return status_usage;
}
