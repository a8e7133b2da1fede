// mx.cpp: host arrays (libmx): creation, queries and destruction.
#include <algorithm>
#include <unordered_set>

#include "host_internal.h"

namespace mexhost::detail {

namespace {

std::unordered_set<const mxArray *> &live_set() {
    static std::unordered_set<const mxArray *> arrays;
    return arrays;
}

// Bytes of data for `stored` values (twice for complex) plus sparse indices;
// ends the call with an out-of-memory error on overflow.
size_t data_bytes(size_t stored, bool complex, size_t index_count) {
    size_t values = checked_product(stored, complex ? 2 : 1);
    size_t value_bytes = checked_product(values, sizeof(double));
    size_t index_bytes = checked_product(index_count, sizeof(size_t));
    return checked_sum(value_bytes, index_bytes);
}

// Reserves the array's bytes first, so that a request beyond the limit ends
// the call cleanly instead of throwing std::bad_alloc from deep inside.
mxArray *new_array(size_t bytes) {
    reserve_bytes(bytes);
    try {
        auto *array = new mxArray_tag;
        array->bytes = bytes;
        array->scope = current_scope();
        live_set().insert(array);
        return array;
    } catch (const std::bad_alloc &) {
        unreserve_bytes(bytes);
        raise_error("Out of memory: cannot allocate " + std::to_string(bytes) + " bytes.");
    }
}

// Sizes the storage; the pointer to the values is never null, even for an
// empty array, so that plug-ins may pass it to memcpy with a length of 0.
void size_storage(mxArray *array, size_t stored, size_t index_count) {
    try {
        array->real.assign(std::max<size_t>(stored, 1), 0.0);
        array->real.resize(stored);
        if (array->complex) {
            array->imag.assign(std::max<size_t>(stored, 1), 0.0);
            array->imag.resize(stored);
        }
        array->row_index.assign(index_count == 0 ? 0 : stored, 0);
        array->column_start.assign(index_count == 0 ? 0 : array->n + 1, 0);
    } catch (const std::bad_alloc &) {
        size_t bytes = array->bytes;
        destroy(array);
        raise_error("Out of memory: cannot allocate " + std::to_string(bytes) + " bytes.");
    }
}

} // namespace

mxArray *create_dense(ArrayClass cls, size_t m, size_t n, bool complex) {
    size_t count = checked_product(m, n);
    mxArray *array = new_array(data_bytes(count, complex, 0));
    array->cls = cls;
    array->m = m;
    array->n = n;
    array->complex = complex;
    size_storage(array, count, 0);
    return array;
}

mxArray *create_sparse(size_t m, size_t n, size_t stored, bool complex) {
    stored = std::max<size_t>(stored, 1);  // a real host keeps room for one value at least
    size_t index_count = checked_sum(stored, checked_sum(n, 1));
    mxArray *array = new_array(data_bytes(stored, complex, index_count));
    array->m = m;
    array->n = n;
    array->complex = complex;
    array->sparse = true;
    size_storage(array, stored, index_count);
    return array;
}

bool is_live(const mxArray *array) { return live_set().count(array) != 0; }

const mxArray *checked(const mxArray *array, const char *function) {
    if (array == nullptr) raise_error(std::string(function) + ": the array is null.");
    if (!is_live(array)) {
        raise_error(std::string(function) + ": not a live array (never created, or destroyed).");
    }
    return array;
}

void destroy(mxArray *array) {
    live_set().erase(array);
    unreserve_bytes(array->bytes);
    delete array;
}

std::vector<mxArray *> arrays_of_scope(unsigned long scope) {
    std::vector<mxArray *> owned;
    for (const mxArray *array : live_set()) {
        if (array->scope == scope) owned.push_back(const_cast<mxArray *>(array));
    }
    return owned;
}

} // namespace mexhost::detail

namespace mexhost {

size_t live_arrays() { return detail::live_set().size(); }

} // namespace mexhost

using mexhost::ArrayClass;
using mexhost::detail::checked;

bool mxIsDouble(const mxArray *array) {
    return checked(array, "mxIsDouble")->cls == ArrayClass::Double;
}

bool mxIsComplex(const mxArray *array) { return checked(array, "mxIsComplex")->complex; }

bool mxIsSparse(const mxArray *array) { return checked(array, "mxIsSparse")->sparse; }

size_t mxGetM(const mxArray *array) { return checked(array, "mxGetM")->m; }

size_t mxGetN(const mxArray *array) { return checked(array, "mxGetN")->n; }

size_t mxGetNumberOfElements(const mxArray *array) {
    const mxArray *a = checked(array, "mxGetNumberOfElements");
    return a->m * a->n;  // cannot overflow: checked when the array was made
}

// Real hosts hand out the raw data of any class here; a plug-in reading
// int32 or char data as doubles would read garbage or beyond the end, so
// this host gives null for every class but double.
double *mxGetPr(const mxArray *array) {
    auto *a = const_cast<mxArray *>(checked(array, "mxGetPr"));
    return a->cls == ArrayClass::Double ? a->real.data() : nullptr;
}

double *mxGetPi(const mxArray *array) {
    auto *a = const_cast<mxArray *>(checked(array, "mxGetPi"));
    return a->complex ? a->imag.data() : nullptr;
}

mxArray *mxDuplicateArray(const mxArray *array) {
    const mxArray *source = checked(array, "mxDuplicateArray");
    mxArray *copy = source->sparse
        ? mexhost::detail::create_sparse(source->m, source->n, source->real.size(), source->complex)
        : mexhost::detail::create_dense(source->cls, source->m, source->n, source->complex);
    // The storage is reserved and sized alike, so copying cannot run out of memory.
    copy->cls = source->cls;
    std::copy(source->real.begin(), source->real.end(), copy->real.begin());
    std::copy(source->imag.begin(), source->imag.end(), copy->imag.begin());
    std::copy(source->row_index.begin(), source->row_index.end(), copy->row_index.begin());
    std::copy(source->column_start.begin(), source->column_start.end(), copy->column_start.begin());
    return copy;
}

mxArray *mxCreateDoubleMatrix_730(size_t m, size_t n, mxComplexity complexity) {
    return mexhost::detail::create_dense(ArrayClass::Double, m, n, complexity == mxCOMPLEX);
}

mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity complexity) {
    if (m < 0 || n < 0) {
        mexhost::detail::raise_error("mxCreateDoubleMatrix: dimensions must not be negative.");
    }
    return mxCreateDoubleMatrix_730(static_cast<size_t>(m), static_cast<size_t>(n), complexity);
}

// Destroying an array that the call does not own (an input, or an output
// of an enclosing call) would leave the caller with a dangling handle; it
// ends the call instead.
void mxDestroyArray(mxArray *array) {
    if (array == nullptr) return;
    checked(array, "mxDestroyArray");
    if (array->scope != mexhost::detail::current_scope()) {
        mexhost::detail::raise_error("mxDestroyArray: the array belongs to the caller.");
    }
    mexhost::detail::destroy(array);
}
