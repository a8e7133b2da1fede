// call_syntax.h: the calls that mexrun reads, written as in the MATLAB
// command language, and the way it prints the outputs.
//
//   [v, d] = brint([4 4], 2, [], [], 2, [0.5 Inf -1])
//
// The parser knows literals only (numbers, matrices, character arrays,
// true/false and a few constructor functions) and no variables. Arithmetic
// goes no further than what literals are written with: signs (also before a
// matrix or a constructor, -[1 2]), the parts of a complex number, and
// products and quotients with a real scalar (-100/3*ones(1,6)).
// Outputs may also be struct arrays, which print field by field.
#ifndef CALL_SYNTAX_H
#define CALL_SYNTAX_H

#include <stdexcept>
#include <string>
#include <vector>

#include "mexhost.h"

namespace call_syntax {

// An array value as written in a call or as returned by a plug-in.
struct Value {
    mexhost::ArrayClass cls = mexhost::ArrayClass::Double;
    size_t m = 0;
    size_t n = 0;
    std::vector<double> real;  // all M*N elements, column-major (char: the character codes)
    std::vector<double> imag;  // empty for a real array, else like `real`
    bool sparse = false;
};

struct Call {
    std::vector<std::string> outputs;  // one name per output asked for; "~" is not shown
    std::string function;
    std::vector<Value> arguments;
};

// A malformed call; what() says what is wrong and where.
class SyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Call parse_call(const std::string &text);

// Shortest decimal that reads back to the same double; Inf, -Inf, NaN.
std::string format_number(double value);
// The value as a literal of the call language, e.g. `2`, `[1 2; 3 4]`,
// `zeros(0,3)`, `1+2i`, `'abc'`, `int32([1 2])`.
std::string format_value(const Value &value);

// How mexrun shows output `name`: `name = value` for an array; for a struct
// one such line per field, `info.degree = 40` (element k of a struct array
// as `info(k).degree`, nested structs field by field, a field never set as
// `[]`); a struct with no fields or no elements as `info = M-by-N struct`.
std::string format_output(const std::string &name, const mxArray *array);

// Conversions to and from host arrays (owned by the caller; no structs).
mxArray *to_array(const Value &value);
Value from_array(const mxArray *array);

} // namespace call_syntax

#endif // CALL_SYNTAX_H
