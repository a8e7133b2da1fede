// call_runner.h: runs one decoded call through the host layer and checks
// what the plug-in did with it.
//
// Beyond the sanitizers' own reports, a call fails the run (abort, which
// the fuzzer records as a crash) when:
//  - the outcome differs from the plug-in's model of its argument checks
//    (success, or which message in which order);
//  - the plug-in changed an input, or left host-allocator blocks or arrays
//    behind after a successful call;
//  - a failed call returned outputs, or a successful one returned outputs
//    of the wrong shape, or values the plug-in's model refutes (brint and
//    sorn: output 1 recomputed from degree_sums, bit for bit; matrix_pfq and
//    wishart_eig_cdf: error bounds, warnings and known closed forms);
//  - the host holds blocks or arrays once everything has been released.
//
// Set FUZZ_SHOW=1 to print every call in the host's command syntax with its
// outcome, e.g. to turn a crash file into a reproducer:
//   FUZZ_SHOW=1 ./fuzz_brint crash-<hash>
#ifndef FUZZ_CALL_RUNNER_H
#define FUZZ_CALL_RUNNER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "call_codec.h"
#include "mexhost.h"

namespace fuzzcall {

// What the plug-in must do with a call.
struct Expectation {
    enum Kind {
        Success,
        Error,           // fails with exactly `message`
        TooLarge,        // needs more memory than the harness allows: fails with
                         // the host's out-of-memory error or a message starting
                         // with `message` (when not empty), or succeeds
    } kind = Success;
    std::string message;

    Expectation() = default;
    Expectation(Kind k, std::string text) : kind(k), message(std::move(text)) {}

    // Messages the call may fail with instead (of succeeding, or of failing
    // with `message`): refusals the model does not predict call by call.
    std::vector<std::string> or_errors;
    // Error only: the plug-in allocates before this check, so under a tight
    // memory limit it may run out of memory first.
    bool allocates_first = false;
};

struct PluginModel {
    const char *name;
    mexhost::MexFunction function;
    CallRules rules;
    // The outcome the argument checks prescribe.
    Expectation (*expect)(const CallPlan &call);
    // Checks the outputs of a successful call; returns a description of the
    // first fault, or an empty string.
    std::string (*check_outputs)(const CallPlan &call, const mexhost::CallResult &result);
    // Optional: false for a call that would run far longer than the bound of
    // the target (see its file); such a call is not made.
    bool (*affordable)(const CallPlan &call) = nullptr;
};

// Limit of the host allocator during fuzzing (unless the call asks for a
// tight one): every size beyond the small ones in the Bound palette needs
// more than this. The limit covers the input arrays too.
constexpr size_t kMemoryLimitBytes = size_t(256) << 20;

// Decodes, runs and checks one fuzzer input.
void run_one(const PluginModel &model, const uint8_t *data, size_t size);

// Builds an input array with the mexhost API.
mxArray *build(const InputPlan &plan);

// The call in the host's command syntax, e.g. "[o1, o2] = brint([4 4], 2, ...)".
std::string describe(const char *name, int nlhs, const std::vector<const mxArray *> &inputs);

// ---- Helpers for the models.

// Truncation toward zero, or NaN for NaN; no undefined conversions.
double truncated(double value);
bool same_double(double a, double b);  // bit for bit, or both NaN
bool is_real_full_double(const InputPlan &plan);
bool is_shape(const mxArray *array, size_t m, size_t n);
// The first problem of a degree_sums output for `max_size`, checking entry 0
// is 1 and, when `trivial`, every other entry 0.
std::string check_degree_sums(const mxArray *sums, double max_size, bool trivial);
// max_part as the plug-ins use it: element 2 of input 1, clamped to int range.
double effective_max_part(const InputPlan &bounds);
// The call as the plug-in sees it: char inputs are built as 1-by-(M*N)
// rows (0-by-0 when empty), logical NaN as true.
CallPlan as_built(const CallPlan &call);
// The text of a char input, as the plug-in reads it.
std::string text_of(const InputPlan &plan);
// A value as the host's syntax writes it (shortest exact form).
std::string number(double value);
// The first problem of the warnings of a call: each must carry `id`, and
// there may be one at most. Sets `warned` when there is one.
std::string check_warnings(const mexhost::CallResult &result, const char *id, bool &warned);

} // namespace fuzzcall

// The libFuzzer entry points of a target: the harness's memory limit, then
// every input decoded, run and checked against `model`.
#define FUZZ_PLUGIN_ENTRY_POINTS(model)                                       \
    extern "C" int LLVMFuzzerInitialize(int *, char ***) {                    \
        mexhost::set_memory_limit(fuzzcall::kMemoryLimitBytes);               \
        return 0;                                                             \
    }                                                                         \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { \
        fuzzcall::run_one(model, data, size);                                 \
        return 0;                                                             \
    }

#endif // FUZZ_CALL_RUNNER_H
