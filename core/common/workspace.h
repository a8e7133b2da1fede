// workspace.h: carving the caller's work block into the arrays of a call.
//
// The same carving code both sizes a block and lays the arrays out in it:
// with a null base it only counts, so the size a caller is told and the
// layout the call then uses cannot drift apart.
#ifndef MATRIXHYPER_WORKSPACE_H
#define MATRIXHYPER_WORKSPACE_H

#include <cstddef>
#include <cstdint>

namespace matrixhyper {

// Every array starts on a 64-byte boundary (a cache line), so that rows of
// 4 or 8 doubles never straddle two lines.
constexpr size_t workspace_alignment = 64;

class workspace_cursor {
public:
    // Counts only: take() returns null and bytes() grows.
    workspace_cursor() = default;
    // Lays arrays out in [base, base + capacity).
    workspace_cursor(void *base, size_t capacity) : base_(static_cast<char *>(base)), capacity_(capacity) {}

    // Room for `count` objects of `size` bytes at the next aligned offset.
    // The count saturates at SIZE_MAX instead of wrapping, so an impossible
    // request is reported as one that no allocator can satisfy.
    template <class T> T *take(size_t count)
    {
        size_t bytes;
        if (__builtin_mul_overflow(count, sizeof(T), &bytes) || add(bytes) == SIZE_MAX)
            return nullptr;
        if (base_ && offset_ > capacity_) // a block smaller than the query asked for
            return nullptr;
        return base_ ? reinterpret_cast<T *>(base_ + offset_ - bytes) : nullptr;
    }

    // True when the cursor lays arrays out in a block rather than counting.
    bool lays_out() const { return base_ != nullptr; }

    // Bytes a caller must provide: the arrays, their padding, and the slack
    // that lets the layout start at an aligned address inside any block.
    size_t bytes() const { return saturated(offset_, workspace_alignment); }

private:
    char *base_ = nullptr;
    size_t capacity_ = 0;
    size_t offset_ = 0;
    bool started_ = false;

    static size_t saturated(size_t a, size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; }

    // Appends `bytes` after the current end, aligned; returns the new end.
    size_t add(size_t bytes)
    {
        if (!started_ && base_) { // align the first array within the block
            offset_ = (workspace_alignment - reinterpret_cast<uintptr_t>(base_) % workspace_alignment)
                      % workspace_alignment;
        }
        started_ = true;
        size_t padded = saturated(offset_, workspace_alignment - 1) / workspace_alignment * workspace_alignment;
        offset_ = saturated(padded, bytes);
        return offset_;
    }
};

} // namespace matrixhyper

#endif // MATRIXHYPER_WORKSPACE_H
