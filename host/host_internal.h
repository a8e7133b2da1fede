// host_internal.h: what libmx and libmex share behind mex.h and mexhost.h.
//
// Plug-ins never see this header. It fixes the layout of a host array, the
// exception that ends a call, and the bookkeeping of memory and call scopes
// that lets the host clean up after a call that failed.
#ifndef HOST_INTERNAL_H
#define HOST_INTERNAL_H

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "mexhost.h"

// A host array. Doubles keep their values in `real` (and `imag` when
// complex); char, single and int32 keep theirs in `real` too, already
// converted to the class's value set, because plug-ins cannot reach them
// (mxGetPr gives null for them) and the host side reads them back as doubles.
// Logicals keep theirs in `logicals`, the storage mxGetLogicals hands out.
// A struct array holds one value per element and field in `fields`; those
// values belong to it (their `owner`) and go when it goes.
struct mxArray_tag {
    mexhost::ArrayClass cls = mexhost::ArrayClass::Double;
    size_t m = 0;
    size_t n = 0;
    bool complex = false;
    bool sparse = false;
    std::vector<double> real;          // dense: M*N values, column-major; sparse: the stored values
    std::vector<double> imag;          // same length as `real` when complex, else empty
    std::vector<size_t> row_index;     // sparse: row of each stored value
    std::vector<size_t> column_start;  // sparse: N+1 offsets into the stored values
    std::unique_ptr<mxLogical[]> logicals;  // logical: M*N values (room for one at least), column-major
    bool is_struct = false;
    std::vector<std::string> field_names;  // struct: in creation order
    std::vector<mxArray *> fields;     // struct: element k, field f at k * field count + f; may be null
    const mxArray *owner = nullptr;    // the struct holding it as a field; null for a free array
    size_t dimensions[2] = {0, 0};     // what mxGetDimensions hands out, refreshed on each query
    int dimensions_32[2] = {0, 0};     // likewise for the 32-bit binding
    size_t bytes = 0;                  // counted against the memory limit
    unsigned long scope = 0;           // call scope that owns it; 0 outside any call
};

namespace mexhost::detail {

// Thrown by mexErrMsgTxt and by every host function that must end the call.
// mexhost::call catches it; outside a call it reaches the caller, so that
// the code after a failed host function never runs in either case.
// `id` is the identifier given to mexErrMsgIdAndTxt, empty otherwise.
class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string &message, const std::string &id = "");
    ~HostError() override;
    const std::string &id() const { return id_; }

private:
    std::string id_;
};

[[noreturn]] void raise_error(const std::string &message, const std::string &id = "");

// ---- Memory accounting (allocator.cpp).

// Counts `bytes` of array data against the memory limit; ends the call with
// an out-of-memory error when they do not fit.
void reserve_bytes(size_t bytes);
void unreserve_bytes(size_t bytes);
// count * size, ending the call with an out-of-memory error on overflow.
size_t checked_product(size_t count, size_t size);
// a + b, likewise.
size_t checked_sum(size_t a, size_t b);

// ---- Arrays (mx.cpp).

// A new zero-filled dense array, registered and owned by the current scope.
mxArray *create_dense(ArrayClass cls, size_t m, size_t n, bool complex);
// A new struct array with the given distinct field names, every field null.
mxArray *create_struct(size_t m, size_t n, const std::vector<std::string> &field_names);
// A deep copy of a struct array and the values it holds (mx_struct.cpp).
mxArray *duplicate_struct(const mxArray *source);
// A new sparse double array with room for `stored` values (at least one),
// all row indices 0 and column starts 0.
mxArray *create_sparse(size_t m, size_t n, size_t stored, bool complex);
// Ends the call with an error unless `array` is a live host array.
const mxArray *checked(const mxArray *array, const char *function);
bool is_live(const mxArray *array);
// Destroys `array` and, for a struct, every value it holds.
void destroy(mxArray *array);
// Every live array owned by `scope`, fields of structs left out (they go
// with their struct).
std::vector<mxArray *> arrays_of_scope(unsigned long scope);

// ---- Call scopes (allocator.cpp). Blocks and arrays taken during a call
// belong to its scope; closing the scope releases what is left.

unsigned long open_call_scope();
unsigned long current_scope();
struct Leftovers {
    size_t blocks = 0;  // host-allocator blocks still held, now released
    size_t arrays = 0;  // arrays neither destroyed nor kept, now destroyed
};
// Closes `scope`: releases its blocks and destroys its arrays except `kept`,
// which pass to the enclosing scope (or to the caller outside any call).
Leftovers close_call_scope(unsigned long scope, const std::vector<mxArray *> &kept);

// ---- Warnings (mex.cpp). The warnings of a call go to the record that
// mexhost::call opens for it; calls nest, the innermost records.

void open_warning_record(std::vector<Warning> *record);
void close_warning_record();

} // namespace mexhost::detail

#endif // HOST_INTERNAL_H
