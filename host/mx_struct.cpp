// mx_struct.cpp: struct arrays (libmx). A struct owns the values stored in
// its fields: they are destroyed with it, never on their own, and the end of
// a call neither counts them as left behind nor destroys them twice.
#include <algorithm>
#include <cctype>
#include <climits>

#include "host_internal.h"

namespace mexhost::detail {

namespace {

bool is_field_name(const char *name) {
    if (name == nullptr || std::isalpha(static_cast<unsigned char>(name[0])) == 0) return false;
    for (const char *c = name; *c != '\0'; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c)) == 0 && *c != '_') return false;
    }
    return true;
}

std::vector<std::string> read_field_names(int field_count, const char **field_names) {
    if (field_count < 0) raise_error("mxCreateStructMatrix: the number of fields must not be negative.");
    if (field_count > 0 && field_names == nullptr) raise_error("mxCreateStructMatrix: the field names are null.");
    std::vector<std::string> names;
    for (int f = 0; f < field_count; ++f) {
        if (!is_field_name(field_names[f])) {
            raise_error("mxCreateStructMatrix: field " + std::to_string(f + 1) + " has no valid name.");
        }
        if (std::find(names.begin(), names.end(), field_names[f]) != names.end()) {
            raise_error(std::string("mxCreateStructMatrix: the field name ") + field_names[f] +
                        " is given twice.");
        }
        names.emplace_back(field_names[f]);
    }
    return names;
}

// The slot of field `name` of element `index`, or null when either does not exist.
mxArray **field_slot(const mxArray *array, size_t index, const char *name) {
    if (!array->is_struct || index >= array->m * array->n || name == nullptr) return nullptr;
    auto &names = array->field_names;
    auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) return nullptr;
    size_t field = static_cast<size_t>(found - names.begin());
    auto *a = const_cast<mxArray *>(array);
    return &a->fields[index * names.size() + field];
}

// True when `array` is `container` or holds it, at any depth.
bool contains(const mxArray *array, const mxArray *container) {
    for (const mxArray *held = container; held != nullptr; held = held->owner) {
        if (held == array) return true;
    }
    return false;
}

// A value may go into one field of one struct, and only if the call owns it.
void check_new_value(const mxArray *target, const mxArray *value) {
    checked(value, "mxSetField");
    if (value->owner != nullptr) raise_error("mxSetField: the value is already held by a struct.");
    if (value->scope != current_scope()) raise_error("mxSetField: the value belongs to the caller.");
    if (contains(value, target)) raise_error("mxSetField: a struct cannot hold itself.");
}

} // namespace

mxArray *duplicate_struct(const mxArray *source) {
    mxArray *copy = create_struct(source->m, source->n, source->field_names);
    for (size_t k = 0; k < source->fields.size(); ++k) {
        if (source->fields[k] == nullptr) continue;
        mxArray *value = mxDuplicateArray(source->fields[k]);
        value->owner = copy;
        copy->fields[k] = value;
    }
    return copy;
}

} // namespace mexhost::detail

using mexhost::detail::checked;
using mexhost::detail::raise_error;

mxArray *mxCreateStructMatrix_730(size_t m, size_t n, int field_count, const char **field_names) {
    return mexhost::detail::create_struct(m, n, mexhost::detail::read_field_names(field_count, field_names));
}

mxArray *mxCreateStructMatrix_700(int m, int n, int field_count, const char **field_names) {
    if (m < 0 || n < 0) raise_error("mxCreateStructMatrix: dimensions must not be negative.");
    return mxCreateStructMatrix_730(static_cast<size_t>(m), static_cast<size_t>(n), field_count,
                                    field_names);
}

int mxGetNumberOfFields(const mxArray *array) {
    const mxArray *a = checked(array, "mxGetNumberOfFields");
    return a->is_struct ? static_cast<int>(a->field_names.size()) : 0;
}

const char *mxGetFieldNameByNumber(const mxArray *array, int field_number) {
    const mxArray *a = checked(array, "mxGetFieldNameByNumber");
    if (field_number < 0 || field_number >= mxGetNumberOfFields(a)) return nullptr;
    return a->field_names[static_cast<size_t>(field_number)].c_str();
}

mxArray *mxGetField_730(const mxArray *array, size_t index, const char *field_name) {
    mxArray **slot = mexhost::detail::field_slot(checked(array, "mxGetField"), index, field_name);
    return slot != nullptr ? *slot : nullptr;
}

mxArray *mxGetField_700(const mxArray *array, int index, const char *field_name) {
    return index < 0 ? nullptr : mxGetField_730(array, static_cast<size_t>(index), field_name);
}

// The value replaced, if any, is the plug-in's again: to destroy, to store
// elsewhere, or to be counted as left behind at the end of the call.
void mxSetField_730(mxArray *array, size_t index, const char *field_name, mxArray *value) {
    checked(array, "mxSetField");
    if (array->scope != mexhost::detail::current_scope()) {
        raise_error("mxSetField: the struct belongs to the caller.");
    }
    mxArray **slot = mexhost::detail::field_slot(array, index, field_name);
    if (slot == nullptr) {
        raise_error(std::string("mxSetField: no field ") + (field_name ? field_name : "(null)") +
                    " at element " + std::to_string(index + 1) + " of the array.");
    }
    if (value == *slot) return;
    if (value != nullptr) mexhost::detail::check_new_value(array, value);
    if (*slot != nullptr) {
        (*slot)->owner = nullptr;
        (*slot)->scope = mexhost::detail::current_scope();
    }
    *slot = value;
    if (value != nullptr) value->owner = array;
}

void mxSetField_700(mxArray *array, int index, const char *field_name, mxArray *value) {
    if (index < 0) raise_error("mxSetField: the index must not be negative.");
    mxSetField_730(array, static_cast<size_t>(index), field_name, value);
}
