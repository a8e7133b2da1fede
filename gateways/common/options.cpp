// options.cpp: name/value options of the gateways.
#include "options.h"

#include <cctype>
#include <cstring>

#include "gateway_args.h"

namespace gateway {

int first_option(int nrhs, const mxArray *prhs[], int first)
{
    for (int i = first; i < nrhs; i++)
        if (mxIsChar(prhs[i])) return i;
    return nrhs;
}

bool read_text(const mxArray *array, char *text, size_t capacity)
{
    if (!mxIsChar(array) || mxGetM(array) != 1 || mxGetN(array) >= capacity) return false;
    return mxGetString(array, text, (mwSize)capacity) == 0;
}

bool same_name(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (std::tolower((unsigned char)*a) != std::tolower((unsigned char)*b)) return false;
    return *a == *b;
}

bool read_real_scalar(const mxArray *array, double *value)
{
    if (!is_real_full_double(array) || !is_scalar(array)) return false;
    *value = mxGetPr(array)[0];
    return true;
}

bool read_flag(const mxArray *array, bool *value)
{
    if (mxIsLogical(array) && is_scalar(array)) {
        *value = mxIsLogicalScalarTrue(array);
        return true;
    }
    double number;
    if (!read_real_scalar(array, &number) || (number != 0 && number != 1)) return false;
    *value = number == 1;
    return true;
}

} // namespace gateway
