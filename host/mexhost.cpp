// mexhost.cpp: the host side of the host layer (libmex): building and
// reading arrays, loading plug-ins and calling them as a MEX host does.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "host_internal.h"

namespace mexhost {

namespace {

void require_count(const std::vector<double> &values, size_t m, size_t n, const char *what) {
    size_t count = detail::checked_product(m, n);
    if (values.size() != count) {
        throw std::invalid_argument(std::string(what) + ": " + std::to_string(values.size()) +
                                    " values for a " + std::to_string(m) + "-by-" +
                                    std::to_string(n) + " array");
    }
}

double round_and_clamp(double value, double low, double high) {
    if (std::isnan(value)) return 0.0;
    return std::min(std::max(std::round(value), low), high);
}

// The value that `value` becomes in an array of class `cls`, as the
// conversion functions of a real host give it.
double convert_to_class(ArrayClass cls, double value) {
    switch (cls) {
    case ArrayClass::Double: return value;
    case ArrayClass::Single: return static_cast<double>(static_cast<float>(value));
    case ArrayClass::Int32: return round_and_clamp(value, INT32_MIN, INT32_MAX);
    case ArrayClass::Char: return round_and_clamp(value, 0, 65535);
    case ArrayClass::Logical:
        if (std::isnan(value)) throw std::invalid_argument("NaN cannot be converted to logical");
        return value != 0.0 ? 1.0 : 0.0;
    }
    return value;
}

// Expands the stored values of a sparse array into all M*N elements.
std::vector<double> expand_sparse(const mxArray *array, const std::vector<double> &stored) {
    std::vector<double> dense(array->m * array->n, 0.0);
    for (size_t column = 0; column < array->n; ++column) {
        for (size_t k = array->column_start[column]; k < array->column_start[column + 1]; ++k) {
            dense[column * array->m + array->row_index[k]] = stored[k];
        }
    }
    return dense;
}

size_t count_nonzeros(const std::vector<double> &real, const std::vector<double> &imag) {
    size_t count = 0;
    for (size_t k = 0; k < real.size(); ++k) {
        if (real[k] != 0.0 || (!imag.empty() && imag[k] != 0.0)) ++count;
    }
    return count;
}

} // namespace

mxArray *make_double(size_t m, size_t n, const std::vector<double> &real,
                     const std::vector<double> &imag) {
    require_count(real, m, n, "make_double");
    if (!imag.empty()) require_count(imag, m, n, "make_double");
    mxArray *array = detail::create_dense(ArrayClass::Double, m, n, !imag.empty());
    std::copy(real.begin(), real.end(), array->real.begin());
    std::copy(imag.begin(), imag.end(), array->imag.begin());
    return array;
}

mxArray *make_scalar(double value) { return make_double(1, 1, {value}); }

mxArray *make_row(const std::vector<double> &values) {
    return make_double(1, values.size(), values);
}

mxArray *make_column(const std::vector<double> &values) {
    return make_double(values.size(), 1, values);
}

mxArray *make_sparse(size_t m, size_t n, const std::vector<double> &dense) {
    return make_sparse(m, n, dense, {});
}

mxArray *make_sparse(size_t m, size_t n, const std::vector<double> &dense_real,
                     const std::vector<double> &dense_imag) {
    require_count(dense_real, m, n, "make_sparse");
    if (!dense_imag.empty()) require_count(dense_imag, m, n, "make_sparse");
    bool complex = !dense_imag.empty();
    mxArray *array = detail::create_sparse(m, n, count_nonzeros(dense_real, dense_imag), complex);
    size_t stored = 0;
    for (size_t column = 0; column < n; ++column) {
        array->column_start[column] = stored;
        for (size_t row = 0; row < m; ++row) {
            size_t k = column * m + row;
            if (dense_real[k] == 0.0 && (!complex || dense_imag[k] == 0.0)) continue;
            array->row_index[stored] = row;
            array->real[stored] = dense_real[k];
            if (complex) array->imag[stored] = dense_imag[k];
            ++stored;
        }
    }
    array->column_start[n] = stored;
    return array;
}

mxArray *make_char(const std::string &text) {
    std::vector<double> codes;
    for (unsigned char c : text) codes.push_back(c);
    return make_numeric(ArrayClass::Char, text.empty() ? 0 : 1, text.size(), codes);
}

mxArray *make_numeric(ArrayClass cls, size_t m, size_t n, const std::vector<double> &values) {
    require_count(values, m, n, "make_numeric");
    std::vector<double> converted;
    for (double value : values) converted.push_back(convert_to_class(cls, value));
    mxArray *array = detail::create_dense(cls, m, n, false);
    if (cls == ArrayClass::Logical) {
        std::copy(converted.begin(), converted.end(), array->logicals.get());
    } else {
        std::copy(converted.begin(), converted.end(), array->real.begin());
    }
    return array;
}

ArrayClass class_of(const mxArray *array) {
    if (detail::checked(array, "class_of")->is_struct) {
        throw std::invalid_argument("class_of: a struct array has no class of values");
    }
    return array->cls;
}

std::vector<double> real_values(const mxArray *array) {
    detail::checked(array, "real_values");
    if (array->cls == ArrayClass::Logical && !array->is_struct) {
        return std::vector<double>(array->logicals.get(), array->logicals.get() + array->m * array->n);
    }
    return array->sparse ? expand_sparse(array, array->real) : array->real;
}

std::vector<double> imag_values(const mxArray *array) {
    detail::checked(array, "imag_values");
    if (!array->complex) return {};
    return array->sparse ? expand_sparse(array, array->imag) : array->imag;
}

namespace {

// Runs the plug-in; any exception ends the call with its message (and the
// identifier, if the plug-in gave one).
bool run_plugin(MexFunction fn, int nlhs, std::vector<mxArray *> &slots,
                const std::vector<const mxArray *> &inputs, std::string &message, std::string &id) {
    try {
        fn(nlhs, slots.data(), static_cast<int>(inputs.size()),
           const_cast<const mxArray **>(inputs.data()));
        return true;
    } catch (const detail::HostError &error) {
        message = error.what();
        id = error.id();
    } catch (const std::bad_alloc &) {
        message = "Out of memory.";
    } catch (const std::exception &error) {
        message = std::string("Unexpected C++ exception: ") + error.what();
    } catch (...) {
        message = "Unexpected exception of unknown type.";
    }
    return false;
}

// Spare slots past those asked for. A plug-in storing more outputs than
// asked would write past the slots a real host gives it; here it fails.
const size_t spare_slots = 8;

size_t slots_asked(int nlhs) { return static_cast<size_t>(std::max(nlhs, 1)); }

// Checks the slots after a call that returned normally: nothing stored past
// the slots asked for, each value stored an array this call created, stored
// once and not held by a struct (which would destroy it too), and the first
// nlhs slots all set.
bool check_outputs(const std::vector<mxArray *> &slots, int nlhs, unsigned long scope,
                   std::string &message) {
    for (size_t i = slots_asked(nlhs); i < slots.size(); ++i) {
        if (slots[i] != nullptr) {
            message = "Output " + std::to_string(i + 1) + " was stored, but only " +
                      std::to_string(slots_asked(nlhs)) + " output slot(s) were given.";
            return false;
        }
    }
    for (size_t i = 0; i < slots.size(); ++i) {
        mxArray *output = slots[i];
        if (output == nullptr) continue;
        bool created_here = detail::is_live(output) && output->scope == scope &&
                            output->owner == nullptr;
        bool repeated = std::find(slots.begin(), slots.begin() + i, output) != slots.begin() + i;
        if (!created_here || repeated) {
            message = "Output " + std::to_string(i + 1) +
                      " is not a new array created during the call.";
            return false;
        }
    }
    for (int i = 0; i < nlhs; ++i) {
        if (slots[i] == nullptr) {
            message = "One or more output arguments not assigned during the call.";
            return false;
        }
    }
    return true;
}

} // namespace

CallResult call(MexFunction fn, int nlhs, const std::vector<const mxArray *> &inputs) {
    CallResult result;
    if (nlhs < 0 || fn == nullptr) {
        result.message = nlhs < 0 ? "The number of outputs must not be negative."
                                  : "No mexFunction to call.";
        return result;
    }
    std::vector<mxArray *> slots(slots_asked(nlhs) + spare_slots, nullptr);
    unsigned long scope = detail::open_call_scope();
    detail::open_warning_record(&result.warnings);
    result.ok = run_plugin(fn, nlhs, slots, inputs, result.message, result.error_id) &&
                check_outputs(slots, nlhs, scope, result.message);
    detail::close_warning_record();
    if (!result.ok) std::fill(slots.begin(), slots.end(), nullptr);  // a failed call returns nothing
    detail::Leftovers left = detail::close_call_scope(scope, slots);
    result.outputs.assign(slots.begin(), slots.begin() + slots_asked(nlhs));
    result.leaked_blocks = left.blocks;
    result.leaked_arrays = left.arrays;
    return result;
}

void release(CallResult &result) {
    for (mxArray *&output : result.outputs) {
        mxDestroyArray(output);
        output = nullptr;
    }
}

// The library stays loaded for the life of the process: the function
// pointer handed out must stay valid.
MexFunction load_plugin(const std::string &path, std::string &error) {
    // dlopen searches the library path for a bare file name; a plug-in is a file.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void *library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        error = std::string("cannot load plug-in: ") + dlerror();
        return nullptr;
    }
    void *entry = dlsym(library, "mexFunction");
    if (entry == nullptr) {
        error = path + " does not export mexFunction.";
        dlclose(library);
        return nullptr;
    }
    error.clear();
    return reinterpret_cast<MexFunction>(entry);
}

} // namespace mexhost
