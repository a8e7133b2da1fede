// input_array.h: a Python argument read as the plug-ins read an mxArray, so
// that the package checks its inputs in the plug-ins' order and with their
// messages. A Python number or 0-d array is 1-by-1, a 1-d array of k values
// a 1-by-k row, a 2-d array its own rows and columns; trailing dimensions
// fold into the columns, as mxGetN does.
#ifndef MATRIXHYPER_PYTHON_INPUT_ARRAY_H
#define MATRIXHYPER_PYTHON_INPUT_ARRAY_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>
#include <vector>

namespace matrixhyper_python {

namespace py = pybind11;

using double_array = py::array_t<double, py::array::c_style | py::array::forcecast>;

// What an argument holds: integers and floating point become doubles;
// complex numbers stay complex until a check refuses them; booleans, text
// and objects are not numbers here (as logical and char arrays are not
// doubles to the plug-ins).
enum class element_kind { real, complex, not_numbers };

struct input_array {
    element_kind kind = element_kind::not_numbers;
    // The argument as a numpy array (complex kept complex); null for a
    // Python number, held in `number` instead. Both handles start null: an
    // empty array would cost an allocation per argument.
    py::array given = py::reinterpret_steal<py::array>(py::handle());
    double_array values = py::reinterpret_steal<double_array>(py::handle()); // real arrays, C order
    // A Python float or int (a 0-d array to numpy), or a flat list or tuple
    // of them (a 1-d array), read without numpy: the commonest arguments,
    // where an array would cost more than a small call's checks.
    std::vector<double> held;
    bool held_sequence = false;
    std::size_t rows = 0, columns = 0, size = 0;

    bool is_scalar() const { return rows == 1 && columns == 1; }
    bool is_row_or_column() const { return rows == 1 || columns == 1; }
    bool is_vector_or_empty() const { return !(rows > 1 && columns > 1); }
    bool is_real() const { return kind == element_kind::real; }
    // An n-by-n array with n > 1: a matrix argument rather than eigenvalues.
    bool is_square_matrix() const;
    // Eigenvalues a matrix argument holds: n for an n-by-n matrix, else size.
    std::size_t eigenvalue_count() const { return is_square_matrix() ? rows : size; }
    const double *data() const { return given ? values.data() : held.data(); }
    bool all_finite() const;
    double first() const { return data()[0]; }
    // The numpy shape: () for a Python number, (k,) for a list of k.
    std::vector<py::ssize_t> shape() const;
};

input_array read_input(const py::handle &argument);

// A real double 1-by-1 in *value; false otherwise.
bool read_real_scalar(const py::handle &argument, double *value);

// true/false (Python's or numpy's, one element), or a real scalar 1 or 0.
bool read_flag(const py::handle &argument, bool *value);

// The probabilities of an inverse call: real numbers of any shape, each in
// [0, 1] or NaN, refused with the inverse plug-ins' messages.
input_array read_probabilities(const py::object &P);

// Index of a keyword option's value among its two choices (compared as
// the plug-ins compare names, ignoring case); refused with the plug-ins'
// message "Option 'name' must be 'first' or 'second'." otherwise.
int read_choice(const py::object &value, const char *name, const char *first, const char *second);

// Why a matrix argument was refused, as the plug-ins tell them apart.
enum class matrix_argument_error {
    none,
    not_numbers,
    bad_shape,
    complex_values,
    not_hermitian,
    not_finite,
    eigen_failed,
    eigen_overflow,
};

// The eigenvalues of a matrix argument into `eigenvalues`: in ascending
// order for a symmetric (Hermitian, when complex_allowed) matrix, through
// the package's numpy helper; as given for a row or a column.
matrix_argument_error read_eigenvalues(const input_array &input, bool complex_allowed,
                                       std::vector<double> &eigenvalues);

// The exceptions the package raises for a refused input: TypeError when it
// is not numbers (or complex where only real numbers are allowed),
// ValueError for a shape or a value out of range.
[[noreturn]] void refuse_type(const std::string &message);
[[noreturn]] void refuse_value(const std::string &message);

} // namespace matrixhyper_python

#endif // MATRIXHYPER_PYTHON_INPUT_ARRAY_H
