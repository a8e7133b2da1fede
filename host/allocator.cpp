// allocator.cpp: the host allocator (mxMalloc, mxCalloc, mxFree), the memory
// limit, and the call scopes that let the host release what a call left.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "host_internal.h"

namespace mexhost::detail {

HostError::HostError(const std::string &message, const std::string &id)
    : std::runtime_error(message), id_(id) {}
HostError::~HostError() = default;

void raise_error(const std::string &message, const std::string &id) { throw HostError(message, id); }

namespace {

struct Block {
    size_t bytes;
    unsigned long scope;
};

// The whole host state. There are no threads: plug-ins run to completion on
// the calling thread, one call at a time (calls may nest).
struct AllocatorState {
    std::unordered_map<void *, Block> blocks;
    size_t held_bytes = 0;       // blocks and array data together
    size_t limit = 0;            // 0: not yet read from the system
    std::vector<unsigned long> open_scopes;
    unsigned long last_scope = 0;
    size_t released_by_host = 0;
};

AllocatorState &state() {
    static AllocatorState the_state;
    return the_state;
}

size_t physical_memory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return SIZE_MAX;
    return static_cast<size_t>(pages) * static_cast<size_t>(page_size);
}

size_t memory_limit() {
    if (state().limit == 0) state().limit = physical_memory();
    return state().limit;
}

[[noreturn]] void raise_out_of_memory(size_t bytes) {
    raise_error("Out of memory: cannot allocate " + std::to_string(bytes) + " bytes.");
}

// Takes a block of `bytes` (zero-filled if asked) or ends the call.
void *take_block(size_t bytes, bool zero_fill) {
    reserve_bytes(bytes);
    // One byte at least, so that every block, even of size 0, is a unique pointer.
    void *block = zero_fill ? std::calloc(1, std::max<size_t>(bytes, 1))
                            : std::malloc(std::max<size_t>(bytes, 1));
    if (block == nullptr) {
        unreserve_bytes(bytes);
        raise_out_of_memory(bytes);
    }
    state().blocks[block] = Block{bytes, current_scope()};
    return block;
}

void release_block(std::unordered_map<void *, Block>::iterator found) {
    unreserve_bytes(found->second.bytes);
    std::free(found->first);
    state().blocks.erase(found);
}

size_t release_blocks_of_scope(unsigned long scope) {
    size_t released = 0;
    auto &blocks = state().blocks;
    for (auto it = blocks.begin(); it != blocks.end();) {
        auto next = std::next(it);
        if (it->second.scope == scope) {
            release_block(it);
            ++released;
        }
        it = next;
    }
    return released;
}

size_t destroy_arrays_of_scope(unsigned long scope, const std::vector<mxArray *> &kept) {
    size_t destroyed = 0;
    for (mxArray *array : arrays_of_scope(scope)) {
        if (std::find(kept.begin(), kept.end(), array) != kept.end()) continue;
        destroy(array);
        ++destroyed;
    }
    return destroyed;
}

} // namespace

void reserve_bytes(size_t bytes) {
    AllocatorState &s = state();
    if (bytes > memory_limit() || s.held_bytes > memory_limit() - bytes) raise_out_of_memory(bytes);
    s.held_bytes += bytes;
}

void unreserve_bytes(size_t bytes) { state().held_bytes -= bytes; }

size_t checked_product(size_t count, size_t size) {
    size_t product = 0;
    if (__builtin_mul_overflow(count, size, &product)) {
        raise_error("Out of memory: cannot allocate " + std::to_string(count) + " times " +
                    std::to_string(size) + " bytes.");
    }
    return product;
}

size_t checked_sum(size_t a, size_t b) {
    size_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        raise_error("Out of memory: cannot allocate " + std::to_string(a) + " plus " +
                    std::to_string(b) + " bytes.");
    }
    return sum;
}

unsigned long open_call_scope() {
    AllocatorState &s = state();
    s.open_scopes.push_back(++s.last_scope);
    return s.last_scope;
}

unsigned long current_scope() {
    const auto &open = state().open_scopes;
    return open.empty() ? 0 : open.back();
}

Leftovers close_call_scope(unsigned long scope, const std::vector<mxArray *> &kept) {
    AllocatorState &s = state();
    s.open_scopes.erase(std::remove(s.open_scopes.begin(), s.open_scopes.end(), scope),
                        s.open_scopes.end());
    Leftovers left;
    left.blocks = release_blocks_of_scope(scope);
    left.arrays = destroy_arrays_of_scope(scope, kept);
    for (mxArray *array : kept) {
        if (array != nullptr) array->scope = current_scope();
    }
    s.released_by_host += left.blocks;
    return left;
}

} // namespace mexhost::detail

namespace mexhost {

size_t live_blocks() { return detail::state().blocks.size(); }

size_t blocks_released_by_host() { return detail::state().released_by_host; }

void set_memory_limit(size_t bytes) { detail::state().limit = bytes; }

} // namespace mexhost

using mexhost::detail::state;

void *mxMalloc(size_t bytes) { return mexhost::detail::take_block(bytes, false); }

void *mxCalloc(size_t count, size_t size) {
    return mexhost::detail::take_block(mexhost::detail::checked_product(count, size), true);
}

// Freeing a pointer the allocator did not hand out (or already took back)
// would corrupt the heap on a real host; here it ends the call instead, so
// that the fault shows.
void mxFree(void *pointer) {
    if (pointer == nullptr) return;
    auto found = state().blocks.find(pointer);
    if (found == state().blocks.end()) {
        mexhost::detail::raise_error("mxFree: the pointer was not allocated by mxMalloc or "
                                     "mxCalloc, or was already freed.");
    }
    mexhost::detail::release_block(found);
}
