// call_format.cpp: prints values as literals of the call language (so that
// an output can be pasted back into a call), and converts values to and
// from host arrays.
#include <charconv>
#include <cmath>

#include "call_syntax.h"

namespace call_syntax {

namespace {

using mexhost::ArrayClass;

template <typename Number>
std::string shortest_decimal(Number value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Singles print with the shortest decimal that reads back to the same float.
std::string format_real(double value, ArrayClass cls) {
    if (cls == ArrayClass::Single) return shortest_decimal(static_cast<float>(value));
    return format_number(value);
}

std::string format_element(const Value &value, size_t k) {
    std::string real = format_real(value.real[k], value.cls);
    if (value.imag.empty()) return real;
    double imag = value.imag[k];
    const char *sign = std::signbit(imag) && !std::isnan(imag) ? "-" : "+";
    return real + sign + format_real(std::fabs(imag), value.cls) + "i";
}

// `zeros(M,N)` for an empty array, the bare element for 1-by-1, otherwise
// `[a b; c d]`.
std::string format_numbers(const Value &value) {
    if (value.m == 0 || value.n == 0) {
        return "zeros(" + std::to_string(value.m) + "," + std::to_string(value.n) + ")";
    }
    if (value.m == 1 && value.n == 1) return format_element(value, 0);
    std::string text = "[";
    for (size_t row = 0; row < value.m; ++row) {
        if (row > 0) text += "; ";
        for (size_t column = 0; column < value.n; ++column) {
            if (column > 0) text += " ";
            text += format_element(value, column * value.m + row);
        }
    }
    return text + "]";
}

std::string quoted_row(const Value &value, size_t row) {
    std::string text = "'";
    for (size_t column = 0; column < value.n; ++column) {
        char c = static_cast<char>(value.real[column * value.m + row]);
        text += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return text + "'";
}

// 'abc' for a row, ['ab'; 'cd'] for several rows, '' for 0-by-0.
std::string format_char(const Value &value) {
    if (value.m == 0 && value.n == 0) return "''";
    if (value.m == 0 || value.n == 0) return "char(" + format_numbers(value) + ")";
    if (value.m == 1) return quoted_row(value, 0);
    std::string text = "[";
    for (size_t row = 0; row < value.m; ++row) text += (row > 0 ? "; " : "") + quoted_row(value, row);
    return text + "]";
}

std::string format_logical(const Value &value) {
    if (value.m == 1 && value.n == 1) return value.real[0] != 0.0 ? "true" : "false";
    return "logical(" + format_numbers(value) + ")";
}

} // namespace

std::string format_number(double value) { return shortest_decimal(value); }

std::string format_value(const Value &value) {
    switch (value.cls) {
    case ArrayClass::Char: return format_char(value);
    case ArrayClass::Logical: return format_logical(value);
    case ArrayClass::Int32: return "int32(" + format_numbers(value) + ")";
    case ArrayClass::Single: return "single(" + format_numbers(value) + ")";
    case ArrayClass::Double: break;
    }
    return value.sparse ? "sparse(" + format_numbers(value) + ")" : format_numbers(value);
}

std::string format_output(const std::string &name, const mxArray *array) {
    if (array == nullptr) return name + " = []\n";
    if (!mxIsStruct(array)) return name + " = " + format_value(from_array(array)) + "\n";
    size_t count = mxGetNumberOfElements(array);
    int fields = mxGetNumberOfFields(array);
    if (count == 0 || fields == 0) {
        return name + " = " + std::to_string(mxGetM(array)) + "-by-" + std::to_string(mxGetN(array)) +
               " struct\n";
    }
    std::string lines;
    for (size_t k = 0; k < count; ++k) {
        std::string element = count == 1 ? name : name + "(" + std::to_string(k + 1) + ")";
        for (int f = 0; f < fields; ++f) {
            const char *field = mxGetFieldNameByNumber(array, f);
            lines += format_output(element + "." + field, mxGetField(array, k, field));
        }
    }
    return lines;
}

mxArray *to_array(const Value &value) {
    if (value.cls != ArrayClass::Double) return mexhost::make_numeric(value.cls, value.m, value.n, value.real);
    if (value.sparse) return mexhost::make_sparse(value.m, value.n, value.real, value.imag);
    return mexhost::make_double(value.m, value.n, value.real, value.imag);
}

Value from_array(const mxArray *array) {
    Value value;
    value.cls = mexhost::class_of(array);
    value.m = mxGetM(array);
    value.n = mxGetN(array);
    value.sparse = mxIsSparse(array);
    value.real = mexhost::real_values(array);
    value.imag = mexhost::imag_values(array);
    return value;
}

} // namespace call_syntax
