// gateway_args.h: the shape and range tests that every gateway uses to check
// its inputs. They read arrays through the MEX API only, so they build
// against any host's mex.h.
#ifndef GATEWAY_ARGS_H
#define GATEWAY_ARGS_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "mex.h"

namespace gateway {

// The text of a refusal that names values (an option, an ordinal), at most
// a line: the checks return format(...) as their message.
struct message_buffer {
    char text[256];
    const char *format(const char *pattern, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        va_list values;
        va_start(values, pattern);
        std::vsnprintf(text, sizeof text, pattern, values);
        va_end(values);
        return text;
    }
};

// 1-by-1.
bool is_scalar(const mxArray *array);

// One row or one column of any length: 1-by-n or n-by-1 with n >= 0, so
// 1-by-0 and 0-by-1 pass and 0-by-0 does not.
bool is_row_or_column(const mxArray *array);

// Not more than one row and not more than one column: a row, a column or
// any empty array, 0-by-0 included.
bool is_vector_or_empty(const mxArray *array);

// A real (not complex), full (not sparse) double array.
bool is_real_full_double(const mxArray *array);

// The largest max size of partition (so that max_size + 1 still fits an
// int) and the largest number of variables the series take.
constexpr int largest_max_size = 2147483646;
constexpr int largest_variable_count = 2147483647;

// Values whose truncation toward zero gives a usable int: a max size up to
// largest_max_size and a number of variables up to largest_variable_count.
// NaN and Inf fail.
bool is_max_size(double value);
bool is_variable_count(double value);

// The first input of sorn and brint, [max_size] or [max_size max_part]:
// is_size_bounds checks its shape (a row of one or two values), and
// read_size_bounds its values (max_part absent: has_part false).
struct size_bounds {
    double max_size;
    bool has_part;
    double max_part;
};
bool is_size_bounds(const mxArray *array);
size_bounds read_size_bounds(const mxArray *array);

// A positive finite Jack parameter.
bool is_jack_parameter(double value);

// Truncation toward zero into the int range. Clamping changes no result:
// above max_size a part bound admits every partition, and at or below 0 it
// admits only the empty one.
int clamped_part_bound(double value);

// Largest array, in bytes, that the host's size type can describe.
long long host_array_byte_limit();

// Bytes the core may use for tables it sizes itself: half the machine's
// physical memory (0, no limit, where the system cannot tell).
size_t table_memory_budget();

// The thread count the user set for the plug-ins' large calls: the
// environment variable MATRIXHYPER_THREADS when it holds a positive integer
// (clamped to the int range; the core caps it further), else 0, which the
// core takes as the machine's hardware threads. Read on the host's thread.
int thread_count_setting();

} // namespace gateway

#endif // GATEWAY_ARGS_H
