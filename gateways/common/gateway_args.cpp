// gateway_args.cpp: shape and range tests shared by the gateways.
#include "gateway_args.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include <unistd.h>

namespace gateway {

bool is_scalar(const mxArray *array)
{
    return mxGetM(array) == 1 && mxGetN(array) == 1;
}

bool is_row_or_column(const mxArray *array)
{
    return mxGetM(array) == 1 || mxGetN(array) == 1;
}

bool is_vector_or_empty(const mxArray *array)
{
    return !(mxGetM(array) > 1 && mxGetN(array) > 1);
}

bool is_real_full_double(const mxArray *array)
{
    return mxIsDouble(array) && !mxIsComplex(array) && !mxIsSparse(array);
}

bool is_max_size(double value)
{
    return value > -1.0 && value < largest_max_size + 1.0;
}

bool is_variable_count(double value)
{
    return value > -1.0 && value < largest_variable_count + 1.0;
}

bool is_size_bounds(const mxArray *array)
{
    return mxGetM(array) == 1 && mxGetN(array) >= 1 && mxGetN(array) <= 2;
}

size_bounds read_size_bounds(const mxArray *array)
{
    const double *values = mxGetPr(array);
    size_bounds bounds = {values[0], mxGetNumberOfElements(array) == 2, 0};
    if (bounds.has_part) bounds.max_part = values[1];
    return bounds;
}

bool is_jack_parameter(double value)
{
    return value > 0 && std::isfinite(value);
}

int clamped_part_bound(double value)
{
    if (value >= 2147483647.0) return INT_MAX;
    if (value <= -2147483648.0) return INT_MIN;
    return (int)value;
}

long long host_array_byte_limit()
{
    if (sizeof(mwSize) < sizeof(long long))
        return 2147483647LL;          // 32-bit sizes
    return LLONG_MAX;                 // 64-bit sizes
}

size_t table_memory_budget()
{
    long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return (size_t)pages / 2 * (size_t)page_size;
}

int thread_count_setting()
{
    const char *text = std::getenv("MATRIXHYPER_THREADS");
    if (text == nullptr || *text == '\0') return 0;
    char *end = nullptr;
    errno = 0;
    const long count = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || count < 1) return 0;   // not a count: the default
    return count < INT_MAX ? (int)count : INT_MAX;
}

} // namespace gateway
