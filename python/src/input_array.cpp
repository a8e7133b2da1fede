// input_array.cpp: Python arguments read as the plug-ins read mxArrays.
#include "input_array.h"

#include <cctype>
#include <cmath>

namespace matrixhyper_python {

bool input_array::is_square_matrix() const
{
    return given && given.ndim() == 2 && given.shape(0) == given.shape(1) && given.shape(0) > 1;
}

std::vector<py::ssize_t> input_array::shape() const
{
    if (!given) return held_sequence ? std::vector<py::ssize_t>{(py::ssize_t)size} : std::vector<py::ssize_t>{};
    return std::vector<py::ssize_t>(given.shape(), given.shape() + given.ndim());
}

bool input_array::all_finite() const
{
    const double *value = data();
    for (std::size_t i = 0; i < size; i++)
        if (!std::isfinite(value[i])) return false;
    return true;
}

// Rows and columns as a MATLAB host sees the array.
static void host_shape(input_array &input)
{
    const py::array &array = input.given;
    input.size = (std::size_t)array.size();
    if (array.ndim() == 0) {
        input.rows = input.columns = 1;
    } else if (array.ndim() == 1) {
        input.rows = 1;
        input.columns = (std::size_t)array.shape(0);
    } else {
        input.rows = (std::size_t)array.shape(0);
        std::size_t columns = 1;
        for (py::ssize_t d = 1; d < array.ndim(); d++) columns *= (std::size_t)array.shape(d);
        input.columns = columns;
    }
}

// A Python float or int as a double; false for anything else (an int
// beyond the double range too: numpy holds it as an object, not a number).
static bool python_number(PyObject *item, double *value)
{
    if (PyFloat_CheckExact(item)) {
        *value = PyFloat_AS_DOUBLE(item);
        return true;
    }
    if (!PyLong_CheckExact(item)) return false;
    *value = PyLong_AsDouble(item);
    if (*value == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    return true;
}

// A Python number or a flat list or tuple of them into `input`; false when
// the argument is anything else.
static bool read_held(PyObject *argument, input_array &input)
{
    double value;
    if (python_number(argument, &value)) {
        input.held.assign(1, value);
        input.rows = input.columns = input.size = 1;
    } else if (PyList_CheckExact(argument) || PyTuple_CheckExact(argument)) {
        const Py_ssize_t count = PySequence_Fast_GET_SIZE(argument);
        PyObject **items = PySequence_Fast_ITEMS(argument);
        input.held.resize((std::size_t)count);
        for (Py_ssize_t i = 0; i < count; i++)
            if (!python_number(items[i], &input.held[(std::size_t)i])) return false;
        input.held_sequence = true;
        input.rows = 1;
        input.columns = input.size = (std::size_t)count;
    } else {
        return false;
    }
    input.kind = element_kind::real;
    return true;
}

input_array read_input(const py::handle &argument)
{
    input_array input;
    if (read_held(argument.ptr(), input)) return input;
    input = input_array();
    input.given = py::array::ensure(argument);
    if (!input.given) {                      // no array at all (a ragged list, say)
        PyErr_Clear();
        input.size = input.rows = input.columns = 1;
        return input;
    }
    host_shape(input);
    switch (input.given.dtype().kind()) {
    case 'f':
    case 'i':
    case 'u':
        input.kind = element_kind::real;
        input.values = double_array::ensure(input.given);
        break;
    case 'c': input.kind = element_kind::complex; break;
    default: input.kind = element_kind::not_numbers;
    }
    return input;
}

bool read_real_scalar(const py::handle &argument, double *value)
{
    if (PyFloat_CheckExact(argument.ptr())) {
        *value = PyFloat_AS_DOUBLE(argument.ptr());
        return true;
    }
    const input_array input = read_input(argument);
    if (!input.is_real() || !input.is_scalar()) return false;
    *value = input.first();
    return true;
}

bool read_flag(const py::handle &argument, bool *value)
{
    if (PyBool_Check(argument.ptr())) {
        *value = argument.ptr() == Py_True;
        return true;
    }
    const input_array input = read_input(argument);
    if (input.given && input.given.dtype().kind() == 'b' && input.is_scalar()) {
        *value = py::bool_(input.given.attr("item")());
        return true;
    }
    double number;
    if (!read_real_scalar(argument, &number) || (number != 0 && number != 1)) return false;
    *value = number == 1;
    return true;
}

// The package's numpy helper for square matrices: (eigenvalues, '') or
// (None, the name of the refusal).
static matrix_argument_error matrix_eigenvalues(const input_array &input, bool complex_allowed,
                                                std::vector<double> &eigenvalues)
{
    static const struct {
        const char *name;
        matrix_argument_error error;
    } refusals[] = {
        {"complex_values", matrix_argument_error::complex_values},
        {"not_hermitian", matrix_argument_error::not_hermitian},
        {"not_finite", matrix_argument_error::not_finite},
        {"eigen_failed", matrix_argument_error::eigen_failed},
        {"eigen_overflow", matrix_argument_error::eigen_overflow},
    };
    const py::tuple outcome = py::module_::import("matrixhyper._matrices")
                                  .attr("matrix_eigenvalues")(input.given, complex_allowed);
    const std::string refusal = outcome[1].cast<std::string>();
    if (refusal.empty()) {
        const double_array values = double_array::ensure(outcome[0]);
        eigenvalues.assign(values.data(), values.data() + values.size());
        return matrix_argument_error::none;
    }
    for (const auto &known : refusals)
        if (refusal == known.name) return known.error;
    return matrix_argument_error::eigen_failed;
}

matrix_argument_error read_eigenvalues(const input_array &input, bool complex_allowed,
                                       std::vector<double> &eigenvalues)
{
    if (input.kind == element_kind::not_numbers) return matrix_argument_error::not_numbers;
    if (input.is_square_matrix()) return matrix_eigenvalues(input, complex_allowed, eigenvalues);
    if (!input.is_row_or_column() && input.size != 0) return matrix_argument_error::bad_shape;
    if (!input.is_real()) return matrix_argument_error::complex_values;
    if (!input.all_finite()) return matrix_argument_error::not_finite;
    eigenvalues.assign(input.data(), input.data() + input.size);
    return matrix_argument_error::none;
}

input_array read_probabilities(const py::object &P)
{
    input_array probabilities = read_input(P);
    if (!probabilities.is_real()) refuse_type("First input must be a real double array of probabilities P.");
    const double *values = probabilities.data();
    for (std::size_t i = 0; i < probabilities.size; i++)
        if (values[i] < 0 || values[i] > 1) refuse_value("First input must hold probabilities P in [0, 1] (or NaN).");
    return probabilities;
}

// Case-insensitive equality of an option's value and one of its choices.
static bool same_name(const std::string &given, const char *choice)
{
    std::size_t i = 0;
    for (; i < given.size() && choice[i]; i++)
        if (std::tolower((unsigned char)given[i]) != std::tolower((unsigned char)choice[i])) return false;
    return i == given.size() && choice[i] == '\0';
}

int read_choice(const py::object &value, const char *name, const char *first, const char *second)
{
    if (py::isinstance<py::str>(value)) {
        const std::string text = value.cast<std::string>();
        if (same_name(text, first)) return 0;
        if (same_name(text, second)) return 1;
    }
    refuse_value(std::string("Option '") + name + "' must be '" + first + "' or '" + second + "'.");
}

void refuse_type(const std::string &message)
{
    throw py::type_error(message);
}

void refuse_value(const std::string &message)
{
    throw py::value_error(message);
}

} // namespace matrixhyper_python
