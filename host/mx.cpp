// mx.cpp: host arrays (libmx): creation, queries and destruction.
#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_set>

#include "host_internal.h"

namespace mexhost::detail {

namespace {

std::unordered_set<const mxArray *> &live_set() {
    static std::unordered_set<const mxArray *> arrays;
    return arrays;
}

size_t value_size(ArrayClass cls) { return cls == ArrayClass::Logical ? sizeof(mxLogical) : sizeof(double); }

// Bytes of data for `stored` values (twice for complex) plus sparse indices;
// ends the call with an out-of-memory error on overflow.
size_t data_bytes(ArrayClass cls, size_t stored, bool complex, size_t index_count) {
    size_t values = checked_product(stored, complex ? 2 : 1);
    size_t value_bytes = checked_product(values, value_size(cls));
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
        if (array->cls == ArrayClass::Logical) {
            array->logicals.reset(new mxLogical[std::max<size_t>(stored, 1)]());
            return;
        }
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

// The value slots of a struct; sized apart from the other classes because
// they hold arrays, not numbers.
void size_fields(mxArray *array, size_t count) {
    try {
        array->fields.assign(count, nullptr);
    } catch (const std::bad_alloc &) {
        size_t bytes = array->bytes;
        destroy(array);
        raise_error("Out of memory: cannot allocate " + std::to_string(bytes) + " bytes.");
    }
}

} // namespace

mxArray *create_dense(ArrayClass cls, size_t m, size_t n, bool complex) {
    size_t count = checked_product(m, n);
    mxArray *array = new_array(data_bytes(cls, count, complex, 0));
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
    mxArray *array = new_array(data_bytes(ArrayClass::Double, stored, complex, index_count));
    array->m = m;
    array->n = n;
    array->complex = complex;
    array->sparse = true;
    size_storage(array, stored, index_count);
    return array;
}

mxArray *create_struct(size_t m, size_t n, const std::vector<std::string> &field_names) {
    size_t count = checked_product(checked_product(m, n), field_names.size());
    mxArray *array = new_array(checked_product(count, sizeof(mxArray *)));
    array->is_struct = true;
    array->m = m;
    array->n = n;
    array->field_names = field_names;
    size_fields(array, count);
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
    for (mxArray *value : array->fields) {
        if (value != nullptr) destroy(value);
    }
    live_set().erase(array);
    unreserve_bytes(array->bytes);
    delete array;
}

std::vector<mxArray *> arrays_of_scope(unsigned long scope) {
    std::vector<mxArray *> owned;
    for (const mxArray *array : live_set()) {
        if (array->scope == scope && array->owner == nullptr) {
            owned.push_back(const_cast<mxArray *>(array));
        }
    }
    return owned;
}

} // namespace mexhost::detail

namespace mexhost {

size_t live_arrays() { return detail::live_set().size(); }

} // namespace mexhost

using mexhost::ArrayClass;
using mexhost::detail::checked;

namespace {

// Structs carry a class field too, which means nothing for them.
bool of_class(const mxArray *array, ArrayClass cls, const char *function) {
    const mxArray *a = checked(array, function);
    return !a->is_struct && a->cls == cls;
}

size_t element_count(const mxArray *array) {
    return array->m * array->n;  // cannot overflow: checked when the array was made
}

// Each character code as one byte: the host makes char arrays from bytes.
char byte_of(double code) { return code <= 255 ? static_cast<char>(code) : '?'; }

} // namespace

bool mxIsDouble(const mxArray *array) { return of_class(array, ArrayClass::Double, "mxIsDouble"); }

bool mxIsComplex(const mxArray *array) { return checked(array, "mxIsComplex")->complex; }

bool mxIsSparse(const mxArray *array) { return checked(array, "mxIsSparse")->sparse; }

bool mxIsNumeric(const mxArray *array) {
    return of_class(array, ArrayClass::Double, "mxIsNumeric") ||
           of_class(array, ArrayClass::Single, "mxIsNumeric") ||
           of_class(array, ArrayClass::Int32, "mxIsNumeric");
}

bool mxIsChar(const mxArray *array) { return of_class(array, ArrayClass::Char, "mxIsChar"); }

bool mxIsLogical(const mxArray *array) { return of_class(array, ArrayClass::Logical, "mxIsLogical"); }

bool mxIsLogicalScalar(const mxArray *array) {
    return mxIsLogical(array) && element_count(array) == 1;
}

bool mxIsLogicalScalarTrue(const mxArray *array) {
    return mxIsLogicalScalar(array) && array->logicals[0];
}

bool mxIsStruct(const mxArray *array) { return checked(array, "mxIsStruct")->is_struct; }

bool mxIsEmpty(const mxArray *array) { return element_count(checked(array, "mxIsEmpty")) == 0; }

bool mxIsScalar(const mxArray *array) { return element_count(checked(array, "mxIsScalar")) == 1; }

size_t mxGetM(const mxArray *array) { return checked(array, "mxGetM")->m; }

size_t mxGetN(const mxArray *array) { return checked(array, "mxGetN")->n; }

size_t mxGetNumberOfElements(const mxArray *array) {
    return element_count(checked(array, "mxGetNumberOfElements"));
}

int mxGetNumberOfDimensions_700(const mxArray *array) {
    checked(array, "mxGetNumberOfDimensions");
    return 2;
}

size_t mxGetNumberOfDimensions_730(const mxArray *array) {
    checked(array, "mxGetNumberOfDimensions");
    return 2;
}

const size_t *mxGetDimensions_730(const mxArray *array) {
    auto *a = const_cast<mxArray *>(checked(array, "mxGetDimensions"));
    a->dimensions[0] = a->m;
    a->dimensions[1] = a->n;
    return a->dimensions;
}

// A size beyond an int cannot be told truthfully to a 32-bit plug-in.
const int *mxGetDimensions_700(const mxArray *array) {
    auto *a = const_cast<mxArray *>(checked(array, "mxGetDimensions"));
    if (a->m > INT_MAX || a->n > INT_MAX) {
        mexhost::detail::raise_error("mxGetDimensions: the array is too large for 32-bit sizes.");
    }
    a->dimensions_32[0] = static_cast<int>(a->m);
    a->dimensions_32[1] = static_cast<int>(a->n);
    return a->dimensions_32;
}

// Real hosts hand out the raw data of any class here; a plug-in reading
// int32 or char data as doubles would read garbage or beyond the end, so
// this host gives null for every class but double.
double *mxGetPr(const mxArray *array) {
    auto *a = const_cast<mxArray *>(checked(array, "mxGetPr"));
    return mxIsDouble(a) ? a->real.data() : nullptr;
}

double *mxGetPi(const mxArray *array) {
    auto *a = const_cast<mxArray *>(checked(array, "mxGetPi"));
    return a->complex ? a->imag.data() : nullptr;
}

mxLogical *mxGetLogicals(const mxArray *array) {
    auto *a = const_cast<mxArray *>(checked(array, "mxGetLogicals"));
    return mxIsLogical(a) ? a->logicals.get() : nullptr;
}

mxArray *mxDuplicateArray(const mxArray *array) {
    const mxArray *source = checked(array, "mxDuplicateArray");
    if (source->is_struct) return mexhost::detail::duplicate_struct(source);
    mxArray *copy = source->sparse
        ? mexhost::detail::create_sparse(source->m, source->n, source->real.size(), source->complex)
        : mexhost::detail::create_dense(source->cls, source->m, source->n, source->complex);
    // The storage is reserved and sized alike, so copying cannot run out of memory.
    copy->cls = source->cls;
    std::copy(source->real.begin(), source->real.end(), copy->real.begin());
    std::copy(source->imag.begin(), source->imag.end(), copy->imag.begin());
    if (source->logicals) {
        std::copy(source->logicals.get(), source->logicals.get() + element_count(source), copy->logicals.get());
    }
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

mxArray *mxCreateDoubleScalar(double value) {
    mxArray *array = mexhost::detail::create_dense(ArrayClass::Double, 1, 1, false);
    array->real[0] = value;
    return array;
}

mxArray *mxCreateLogicalScalar(mxLogical value) {
    mxArray *array = mexhost::detail::create_dense(ArrayClass::Logical, 1, 1, false);
    array->logicals[0] = value;
    return array;
}

// A 1-by-N row, or 0-by-0 for empty text, as the literal '' is.
mxArray *mxCreateString(const char *text) {
    if (text == nullptr) mexhost::detail::raise_error("mxCreateString: the text is null.");
    size_t length = std::strlen(text);
    mxArray *array = mexhost::detail::create_dense(ArrayClass::Char, length == 0 ? 0 : 1, length, false);
    for (size_t k = 0; k < length; ++k) array->real[k] = static_cast<unsigned char>(text[k]);
    return array;
}

// The characters in column-major order, as a real host reads them.
char *mxArrayToString(const mxArray *array) {
    if (!mxIsChar(array)) return nullptr;
    size_t count = element_count(array);
    auto *text = static_cast<char *>(mxMalloc(mexhost::detail::checked_sum(count, 1)));
    for (size_t k = 0; k < count; ++k) text[k] = byte_of(array->real[k]);
    text[count] = '\0';
    return text;
}

int mxGetString_730(const mxArray *array, char *text, size_t length) {
    if (!mxIsChar(array) || text == nullptr || length == 0) return 1;
    size_t count = std::min(element_count(array), length - 1);
    for (size_t k = 0; k < count; ++k) text[k] = byte_of(array->real[k]);
    text[count] = '\0';
    return count < element_count(array) ? 1 : 0;
}

int mxGetString_700(const mxArray *array, char *text, int length) {
    return length < 0 ? 1 : mxGetString_730(array, text, static_cast<size_t>(length));
}

// Destroying an array that the call does not own (an input, or an output
// of an enclosing call) would leave the caller with a dangling handle, and
// destroying a struct's field would leave the struct with one; either ends
// the call instead.
void mxDestroyArray(mxArray *array) {
    if (array == nullptr) return;
    checked(array, "mxDestroyArray");
    if (array->owner != nullptr) {
        mexhost::detail::raise_error("mxDestroyArray: the array is a field of a struct, "
                                     "destroyed with the struct.");
    }
    if (array->scope != mexhost::detail::current_scope()) {
        mexhost::detail::raise_error("mxDestroyArray: the array belongs to the caller.");
    }
    mexhost::detail::destroy(array);
}
