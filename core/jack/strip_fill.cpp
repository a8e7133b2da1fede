// strip_fill.cpp: filling the Jack function table row of a new partition
// from the rows of the partitions it contains.
//
// Q_kappa(x_1..x_i) is built from smaller partitions by the branching rule
// over horizontal strips: Q_kappa(x_1..x_i) = sum over mu with kappa/mu a
// horizontal strip of (strip coefficient) * Q_mu(x_1..x_(i-1)) * x_i^|kappa/mu|.
// The value with exactly as many variables as rows comes from the partition
// with its first column removed. All arithmetic is in the order written here.
//
// The strips of a fill are counted like an odometer over the rows that end in
// a removable box, the last row fastest, and most of the work of a fill is
// per strip; so each strip does only what its own values need. Its position
// follows from the previous one (a row that loses a box moves to the
// previous child of its block; only the rows below it are looked up again).
// The products A and B of its factor run over the rows above the turning
// row, and those rows change rarely: the partial products are kept per row
// and per box and resumed while they still hold. That computes the same
// values by the same operations in the same order, only once.
#include <cstddef>

#include "jack_tables.h"

namespace matrixhyper {

// The hot loops of a fill are written once and compiled for one and for two
// arguments: the compiler is asked to inline them into each caller. A
// prefetch asks for a table row before it is read, and the unlikely branch
// to an observer is laid out of the way (hints only: no value depends on
// them).
#if defined(__GNUC__)
#define SORN_ALWAYS_INLINE inline __attribute__((always_inline))
#define SORN_PREFETCH(address) __builtin_prefetch(address)
#define SORN_UNLIKELY(condition) __builtin_expect(!!(condition), 0)
#else
#define SORN_ALWAYS_INLINE inline
#define SORN_PREFETCH(address) ((void)0)
#define SORN_UNLIKELY(condition) (condition)
#endif

// Q_kappa(x_1..x_j) / (x_1 * ... * x_j * Q_(kappa minus first column)(x_1..x_j))
// for kappa with exactly j rows.
template <class Real>
static Real column_factor(int j, const Real *z, Real alpha)
{
    Real t = 1;
    Real w = (j + 1) - alpha;
    for (int i = 1; i <= j; ++i)
        t = ((w + z[i]) / (j + z[i])) * t;
    return t;
}

// Position of the child of the partition at `parent` whose new last row has
// `part` boxes; 0 when the parent's block of children was never reserved
// (index_table[0] is 0 too, so 0 stays 0).
static inline int child_position(const int *index_table, int parent, int part)
{
    int block = index_table[parent];
    return block != 0 ? block + part - 1 : 0;
}

// Lists the rows of kappa (rows 1..j) that end in a removable box as the
// levels 1..h of the strip odometer, each at full length with running
// coefficient 1, and starts mu at kappa with the positions of its leading
// rows; returns h. Row j is always listed, last.
template <class Real>
static int start_strips(basic_jack_tables<Real> *tables, int j, const int *kappa, const Real *z)
{
    int *removable = tables->removable;
    if (j >= 2)
        removable[j - 1] = removable[j - 1] - 1;
    removable[j] = kappa[j];

    int h = 0;
    int kept = 0;
    for (int i = 1; i <= j; ++i) {
        tables->sub_parts[i] = kappa[i];
        tables->sub_shifted[i] = z[i];
        if (removable[i] > 0) {
            h = h + 1;
            basic_strip_level<Real> *level = tables->levels + h;
            level->row = i;
            level->full = kappa[i];
            level->lower = kappa[i] - removable[i];
            level->length = kappa[i];
            level->known = 0;
            level->first_kept = kept;
            level->next_kept = kept;
            level->coef = 1;
            kept = kept + removable[i] * (i - 1);
        }
    }
    int *position = tables->sub_position;
    position[0] = 1;
    position[1] = kappa[1] + 1;
    for (int i = 2; i <= j; ++i)
        position[i] = child_position(tables->index_table, position[i - 1], kappa[i]);
    return h;
}

// What the factor of a strip reads: the shifted parts z of kappa and zn of
// mu, and alpha with alpha - 1.
template <class Real>
struct factor_rows {
    const Real *z;
    const Real *zn;
    Real alpha;
    Real alpha_less_one;
};

// The products A and B of a strip factor kept after each row, from row 1:
// a[i - 1] and b[i - 1] after the factor of row i.
template <class Real>
struct kept_products {
    Real *a;
    Real *b;
};

// Coefficient factor A / B for removing the last box of row r of mu, whose
// shifted part is zr. The first `known` kept products are those of the
// current mu and are taken up, the others are computed and kept.
template <class Real>
static inline Real strip_factor(const factor_rows<Real> &rows, int r, Real zr, int known,
                                  kept_products<Real> kept)
{
    const Real *z = rows.z;
    const Real *zn = rows.zn;
    const Real alpha = rows.alpha;
    const Real alpha_less_one = rows.alpha_less_one;
    Real *kept_a = kept.a;
    Real *kept_b = kept.b;
    Real A, B;
    if (known == 0) {
        Real d = z[r] - zr;
        A = d + 1;
        B = alpha + d;
    } else {
        A = kept_a[known - 1];
        B = kept_b[known - 1];
    }
    for (int i = known + 1; i <= r - 1; ++i) {
        Real from_kappa = z[i] - zr; // both factors use the same two differences
        Real from_mu = zn[i] - zr;
        A = A * ((from_kappa + 1) * (alpha_less_one + from_mu));
        B = B * ((alpha + from_kappa) * from_mu);
        kept_a[i - 1] = A;
        kept_b[i - 1] = B;
    }
    return A / B;
}

// target[c] += (coef * source[c]) * power[c] for c = 0..count - 1: one strip's
// share Q_mu(v_1..v_(i-1)) * v_i^removed of the entries i = j + 1..n, with
// target, source and power starting at entry j + 1 of the new row, entry j
// of mu's row and entry j + 1 of the powers.
template <class Real>
static inline void add_strip(Real *target, const Real *source, const Real *power,
                             int count, Real coef)
{
    int c = 0;
    for (; c + 2 <= count; c = c + 2) { // two entries a turn: fewer loop tests
        target[c] = (coef * source[c]) * power[c] + target[c];
        target[c + 1] = (coef * source[c + 1]) * power[c + 1] + target[c + 1];
    }
    if (c < count)
        target[c] = (coef * source[c]) * power[c] + target[c];
}

template <class Real>
struct fill_target;

// The same for the x and the y tables at once (mu's values at offset `row`
// of the value tables, the powers at offset `power`): the two tables share
// nothing, so their entries may be brought up to date side by side.
template <class Real>
static inline void add_strip_pair(const fill_target<Real> *f, ptrdiff_t row, ptrdiff_t power,
                                  int count, Real coef);

// The new partition of a fill (kappa with j rows, its shifted parts z, its
// h listed rows) and where its strips go: the entries j + 1..n of its rows
// and the matching entries of the rows of mu and of the powers.
template <class Real>
struct fill_target {
    const int *kappa;
    const Real *z;
    int j, h;
    int count;                // n - j entries per strip
    Real *target_x;         // the new row of jack_x from entry j + 1
    const Real *source_x;   // jack_x from entry j, row 0
    const Real *powers_x;   // powers_x from entry j + 1, power 0
    Real *target_y;         // the same for y, or null
    const Real *source_y;
    const Real *powers_y;
};

template <class Real>
static inline void add_strip_pair(const fill_target<Real> *f, ptrdiff_t row, ptrdiff_t power,
                                  int count, Real coef)
{
    Real *target_x = f->target_x;
    Real *target_y = f->target_y;
    const Real *source_x = f->source_x + row;
    const Real *source_y = f->source_y + row;
    const Real *power_x = f->powers_x + power;
    const Real *power_y = f->powers_y + power;
    for (int c = 0; c < count; ++c) {
        target_x[c] = (coef * source_x[c]) * power_x[c] + target_x[c];
        target_y[c] = (coef * source_y[c]) * power_y[c] + target_y[c];
    }
}

// The entries j + 1..n of the new rows while a fill adds its strips into
// them. Every strip adds into every entry, one after the other, so in memory
// each addition waits for the store of the previous strip to be read back;
// with a count fixed when compiling (Count > 0) the entries are locals that
// the compiler keeps in registers for the whole enumeration and that are
// stored once at its end. The same additions in the same order: the same
// values. Count 0 adds into the rows in memory, for any count.
template <class Real, int Count> struct strip_sums {
    Real x[Count];
    Real y[Count];

    // Takes up the entries of the new rows (y only for two arguments).
    void load(const fill_target<Real> *f);
    // Writes the entries back into the new rows.
    void store(const fill_target<Real> *f) const;
};

template <class Real> struct strip_sums<Real, 0> {
    void load(const fill_target<Real> *) {}
    void store(const fill_target<Real> *) const {}
};

template <class Real, int Count> void strip_sums<Real, Count>::load(const fill_target<Real> *f)
{
    for (int c = 0; c < Count; ++c)
        x[c] = f->target_x[c];
    if (f->target_y)
        for (int c = 0; c < Count; ++c)
            y[c] = f->target_y[c];
}

template <class Real, int Count> void strip_sums<Real, Count>::store(const fill_target<Real> *f) const
{
    for (int c = 0; c < Count; ++c)
        f->target_x[c] = x[c];
    if (f->target_y)
        for (int c = 0; c < Count; ++c)
            f->target_y[c] = y[c];
}

// Adds a strip into the new rows: mu's values at offset `row` of the value
// tables, the powers at offset `power`. `two_args` is a constant at each call.
template <class Real, int Count>
static SORN_ALWAYS_INLINE void add_strip_values(const fill_target<Real> *f, strip_sums<Real, Count> &sums,
                                                ptrdiff_t row, ptrdiff_t power, int count,
                                                Real coef, int two_args)
{
    if constexpr (Count == 0) {
        if (two_args)
            add_strip_pair(f, row, power, count, coef);
        else
            add_strip(f->target_x, f->source_x + row, f->powers_x + power, count, coef);
    } else {
        const Real *source_x = f->source_x + row;
        const Real *power_x = f->powers_x + power;
        for (int c = 0; c < Count; ++c)
            sums.x[c] = (coef * source_x[c]) * power_x[c] + sums.x[c];
        if (two_args) {
            const Real *source_y = f->source_y + row;
            const Real *power_y = f->powers_y + power;
            for (int c = 0; c < Count; ++c)
                sums.y[c] = (coef * source_y[c]) * power_y[c] + sums.y[c];
        }
    }
}

// A round of the last row j with kappa_j >= 2, the fastest digit of the
// odometer: row j loses one box after another (part = kappa_j - 1 down to
// 0), the rows above staying as they are. The factors of rows
// first_level..j - 1 are computed, those of the rows above resumed from the
// products kept (those of the round's first box). The value rows of mu run
// downwards from `row` by `row_step`, the last (row j empty) at `emptied_row`.
template <class Real>
struct round_start {
    int first_level;       // first row above j whose factor the round computes
    Real *kept_a;        // kept products of row j from that row on
    Real *kept_b;
    ptrdiff_t row;         // value rows of the first mu of the round
    ptrdiff_t row_step;    // and the step down to the next one
    ptrdiff_t emptied_row; // value rows of mu with row j empty
    int removed;           // boxes missing above row j
    Real coef;           // running coefficient handed down
};

template <bool Observed, class Real, int Count>
static SORN_ALWAYS_INLINE void last_row_round(const basic_jack_tables<Real> *tables, const fill_target<Real> *f,
                                              strip_sums<Real, Count> &sums, const Real *zn,
                                              Real alpha, const round_start<Real> &start,
                                              int two_args)
{
    const int first_level = start.first_level;
    Real *kept_a = start.kept_a;
    Real *kept_b = start.kept_b;
    ptrdiff_t row = start.row;
    const ptrdiff_t row_step = start.row_step;
    const ptrdiff_t emptied_row = start.emptied_row;
    const int removed = start.removed;
    Real coef = start.coef;
    const int j = f->j;
    const int count = f->count;
    const int n = count + j;
    const Real alpha_less_one = alpha - 1;
    const Real *z = f->z;
    const Real zj = z[j];
    ptrdiff_t power = (ptrdiff_t)(removed + 1) * n;
    Real zr = zj;
    for (int part = f->kappa[j] - 1; part >= 0; --part) {
        Real A, B;
        if (first_level == 1) {
            Real d = zj - zr;
            A = d + 1;
            B = alpha + d;
        } else {
            A = kept_a[-1];
            B = kept_b[-1];
        }
        for (int i = first_level; i < j; ++i) {
            Real from_kappa = z[i] - zr; // both factors use the same two differences
            Real from_mu = zn[i] - zr;
            A = A * ((from_kappa + 1) * (alpha_less_one + from_mu));
            B = B * ((alpha + from_kappa) * from_mu);
            kept_a[i - first_level] = A;
            kept_b[i - first_level] = B;
        }
        coef = (A / B) * coef;
        zr = zr - alpha;
        if (Observed) {
            int *mu = tables->sub_parts;
            mu[j] = part;
            tables->observer->strip(tables->observer->context, mu, part > 0 ? j : j - 1,
                                    removed + f->kappa[j] - part);
            if (part == 0)
                mu[j] = f->kappa[j];
        }
        add_strip_values(f, sums, part > 0 ? row : emptied_row, power, count, coef, two_args);
        row = row - row_step;
        power = power + n;
        kept_a = kept_a + (j - 1);
        kept_b = kept_b + (j - 1);
    }
}

// The round of row j when kappa_j = 1: the single strip with row j removed,
// mu being the partition (mu_1..mu_(j-1)) at the offset start.emptied_row
// of the value tables. The factors of rows first_level..j - 1 are computed,
// those of the rows above taken up from the products kept for row j.
template <class Real, int Count>
static SORN_ALWAYS_INLINE void single_strip_round(const fill_target<Real> *f, strip_sums<Real, Count> &sums,
                                                  const Real *zn, Real alpha,
                                                  const round_start<Real> &start, int two_args)
{
    const int j = f->j;
    const int n = f->count + j;
    const factor_rows<Real> rows = {f->z, zn, alpha, alpha - 1};
    const int known = start.first_level - 1;
    const kept_products<Real> kept = {start.kept_a - known, start.kept_b - known};
    Real factor = strip_factor(rows, j, f->z[j], known, kept);
    add_strip_values(f, sums, start.emptied_row, (ptrdiff_t)(start.removed + 1) * n, f->count,
                     factor * start.coef, two_args);
}

// Where the enumeration of the strips stands: mu's shifted parts and the
// positions of its leading rows (the tables' work arrays), alpha, and the
// boxes missing in all.
template <class Real>
struct strip_state {
    Real *zn;
    int *position;
    Real alpha;
    int removed;
};

// The strip in which listed row `level` loses a box (the rows listed after
// it at full length, state.removed boxes missing in all): its coefficient
// becomes the running one of this row and the later ones, and the later
// rows start a new round in which only this row has changed above them
// since their products were kept.
template <bool Observed, class Real, int Count>
static SORN_ALWAYS_INLINE void turn_row(const basic_jack_tables<Real> *tables, const fill_target<Real> *f,
                                        strip_sums<Real, Count> &sums, basic_strip_level<Real> *level,
                                        basic_strip_level<Real> *last, const strip_state<Real> &state,
                                        int two_args)
{
    const int n = tables->n;
    const int j = f->j;
    const int r = level->row;
    const Real alpha = state.alpha;
    Real *zn = state.zn;
    int *position = state.position;
    const int removed = state.removed;
    const int *index_table = tables->index_table;
    const factor_rows<Real> rows = {f->z, zn, alpha, alpha - 1};
    const kept_products<Real> kept = {tables->partial_a + level->next_kept,
                                tables->partial_b + level->next_kept};
    const Real coef = strip_factor(rows, r, zn[r], level->known, kept) * level->coef;
    level->coef = coef;
    level->length = level->length - 1;
    level->next_kept = level->next_kept + (r - 1);
    zn[r] = zn[r] - alpha;
    // Row r moves to the previous child of its block; the rows below it
    // hang under the new prefix.
    int prefix = position[r] != 0 ? position[r] - 1 : 0;
    position[r] = prefix;
    for (int s = r + 1; s <= j; ++s) { // r < j: at least one row below
        prefix = child_position(index_table, prefix, f->kappa[s]);
        position[s] = prefix;
    }
    if (two_args && level->length > level->lower) {
        // Row r loses its next box after the coming round: the value rows
        // of that strip and of its round are asked for now, as in large
        // tables they come from main memory. Only with two arguments, whose
        // two tables make twice the traffic: with one, finding the rows
        // ahead cost more than the wait it saved (sorn_bench vs_plain_c).
        int ahead = position[r] != 0 ? position[r] - 1 : 0;
        for (int s = r + 1; s < j; ++s)
            ahead = child_position(index_table, ahead, f->kappa[s]);
        const int next_parent = ahead;
        const int next_strip = child_position(index_table, ahead, f->kappa[j]);
        // The round reads the rows just before the strip's own, or its
        // parent's when it is a single strip.
        const int next_round =
            f->kappa[j] > 1 ? (next_strip > 0 ? next_strip - 1 : 0) : next_parent;
        SORN_PREFETCH(f->source_x + (ptrdiff_t)next_round * n);
        SORN_PREFETCH(f->source_x + (ptrdiff_t)next_strip * n);
        SORN_PREFETCH(f->source_y + (ptrdiff_t)next_round * n);
        SORN_PREFETCH(f->source_y + (ptrdiff_t)next_strip * n);
    }
    for (basic_strip_level<Real> *later = level + 1; later <= last; ++later) {
        later->coef = coef;
        later->known = r - 1;
    }
    if (Observed) {
        tables->sub_parts[r] = level->length;
        tables->observer->strip(tables->observer->context, tables->sub_parts, j, removed);
    }
    add_strip_values(f, sums, (ptrdiff_t)prefix * n, (ptrdiff_t)removed * n, f->count, coef,
                     two_args);
}

// Enumerates the strips kappa/mu, mu != kappa, in odometer order and adds
// each into the new row: the listed rows count down from their lengths in
// kappa to their lower bounds, the last listed (row j) fastest; a row at its
// lower bound goes back to full length and the listed row before it loses a
// box. `two_args` is a constant at each call; `Observed` fills in the
// current mu for the tables' observer and shows it each strip (tests only:
// the fills of a call compile without it).
template <bool Observed, class Real, int Count>
static SORN_ALWAYS_INLINE void enumerate_strips_for(basic_jack_tables<Real> *tables, const fill_target<Real> *f,
                                                    strip_sums<Real, Count> &sums, int two_args)
{
    const int n = tables->n;
    const int j = f->j;
    const int last_part = f->kappa[j];
    const Real alpha = tables->alpha;
    const Real *z = f->z;
    Real *zn = tables->sub_shifted;
    int *position = tables->sub_position;
    basic_strip_level<Real> *levels = tables->levels;
    basic_strip_level<Real> *last = levels + f->h;
    Real *last_a = tables->partial_a + last->first_kept;
    Real *last_b = tables->partial_b + last->first_kept;
    const strip_observer *observer = tables->observer;    // not null when Observed
    int removed = 0;
    for (;;) {
        // A round of row j under the current rows above it. With row j empty
        // mu is the partition at position[j - 1]. (mu_1..mu_(j-1), m) sits
        // at first_child + m - 1 (the one-row partition (m) at m + 1), so
        // the value rows of mu for m = kappa_j - 1 down to 1 follow one
        // another downwards; a block never reserved leaves them all at row
        // 0, whose values are 0.
        const int first_level = last->known + 1;
        const ptrdiff_t emptied_row = (ptrdiff_t)position[j - 1] * n;
        if (last_part == 1) {
            if (Observed) {
                tables->sub_parts[j] = 0;
                observer->strip(observer->context, tables->sub_parts, j - 1, removed + 1);
                tables->sub_parts[j] = 1;
            }
            const round_start<Real> start = {first_level, last_a + (first_level - 1),
                                       last_b + (first_level - 1), 0, 0,
                                       emptied_row, removed, last->coef};
            single_strip_round(f, sums, zn, alpha, start, two_args);
        } else {
            const int first_child = j == 1 ? 2 : tables->index_table[position[j - 1]];
            const ptrdiff_t row_step = first_child != 0 ? n : 0;
            const ptrdiff_t row =
                first_child != 0 ? (ptrdiff_t)(first_child + last_part - 2) * n : 0;
            const round_start<Real> start = {first_level, last_a + (first_level - 1),
                                       last_b + (first_level - 1), row, row_step,
                                       emptied_row, removed, last->coef};
            last_row_round<Observed>(tables, f, sums, zn, alpha, start, two_args);
        }

        // The last listed row above row j that is not at its lower bound
        // loses a box; the listed rows after it go back to full length.
        basic_strip_level<Real> *level = last - 1;
        if (level == levels) // row j is the only listed row
            return;
        if (level->length == level->lower) { // a carry: rarer than a turn of this row
            do {
                const int row = level->row;
                level->length = level->full;
                level->next_kept = level->first_kept;
                zn[row] = z[row];
                removed = removed - (level->full - level->lower);
                if (Observed)
                    tables->sub_parts[row] = level->full;
                level = level - 1;
            } while (level != levels && level->length == level->lower);
            if (level == levels)
                return;
        }
        removed = removed + 1;
        const strip_state<Real> state = {zn, position, alpha, removed};
        turn_row<Observed>(tables, f, sums, level, last, state, two_args);
    }
}

// The fills the tests observe, out of line and unlikely: the fills of a
// call then compile much as if there were no observer.
template <class Real>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
static void enumerate_observed_strips(basic_jack_tables<Real> *tables, const fill_target<Real> *f)
{
    strip_sums<Real, 0> in_rows;
    if (f->target_y)
        enumerate_strips_for<true>(tables, f, in_rows, 1);
    else
        enumerate_strips_for<true>(tables, f, in_rows, 0);
}

// The enumeration with Count entries a row kept in registers (0: in the
// rows), for one or for two arguments.
template <int Count, class Real> static void enumerate_strips_summing(basic_jack_tables<Real> *tables, const fill_target<Real> *f)
{
    strip_sums<Real, Count> sums;
    sums.load(f);
    if (f->target_y)
        enumerate_strips_for<false>(tables, f, sums, 1);
    else
        enumerate_strips_for<false>(tables, f, sums, 0);
    sums.store(f);
}

// Most entries a row (n - j) whose sums a fill keeps in registers: every
// count up to it is compiled apart, which covers all fills up to ten
// variables. Beyond, the rows in memory.
const int most_registered_entries = 9;

template <int Count, class Real> static void enumerate_strips_by_count(basic_jack_tables<Real> *tables, const fill_target<Real> *f)
{
    if constexpr (Count > most_registered_entries)
        enumerate_strips_summing<0>(tables, f);
    else if (f->count == Count)
        enumerate_strips_summing<Count>(tables, f);
    else
        enumerate_strips_by_count<Count + 1>(tables, f);
}

template <class Real>
static SORN_ALWAYS_INLINE void enumerate_strips(basic_jack_tables<Real> *tables, const fill_target<Real> *f)
{
    if (SORN_UNLIKELY(tables->observer != nullptr))
        enumerate_observed_strips(tables, f);
    else
        enumerate_strips_by_count<1>(tables, f);
}

// Adds the trivial strip mu = kappa: each entry gains the finished value with
// one variable less, so the entries are completed in ascending order.
template <class Real>
static void add_trivial_strip(Real *table, int n, int j, int position)
{
    Real *target = jack_row(table, position, n);
    for (int i = j + 1; i <= n; ++i)
        target[i - 1] = target[i - 1] + target[i - 2];
}

template <class Real>
static void fill_entries(basic_jack_tables<Real> *tables, int j, const int *kappa,
                         const Real *shifted_parts, int position)
{
    const int n = tables->n;
    const Real alpha = tables->alpha;
    const Real *z = shifted_parts;

    // Exactly j variables: Q_kappa = t * x_1...x_j * Q_(kappa minus first column).
    Real t = column_factor(j, z, alpha);
    int reduced = lookup_position(tables, kappa, j, 1);
    jack_row(tables->jack_x, position, n)[j - 1] =
        (t * tables->prefix_x[j]) * jack_row(tables->jack_x, reduced, n)[j - 1];
    if (tables->two_args)
        jack_row(tables->jack_y, position, n)[j - 1] =
            (t * tables->prefix_y[j]) * jack_row(tables->jack_y, reduced, n)[j - 1];

    // More variables: branch over the horizontal strips kappa/mu, mu != kappa.
    fill_target<Real> f;
    f.kappa = kappa;
    f.z = z;
    f.j = j;
    f.h = start_strips(tables, j, kappa, z);
    f.count = n - j;
    f.target_x = jack_row(tables->jack_x, position, n) + j;
    f.source_x = tables->jack_x + (j - 1);
    f.powers_x = tables->powers_x + j;
    f.target_y = 0;
    f.source_y = 0;
    f.powers_y = 0;
    if (tables->two_args) {
        f.target_y = jack_row(tables->jack_y, position, n) + j;
        f.source_y = tables->jack_y + (j - 1);
        f.powers_y = tables->powers_y + j;
    }
    enumerate_strips(tables, &f);
    add_trivial_strip(tables->jack_x, n, j, position);
    if (tables->two_args)
        add_trivial_strip(tables->jack_y, n, j, position);
}

void fill_jack_entries(jack_tables *tables, int j, const int *kappa,
                       const double *shifted_parts, int position)
{
    fill_entries(tables, j, kappa, shifted_parts, position);
}

void fill_jack_entries(wide_jack_tables *tables, int j, const int *kappa,
                       const long double *shifted_parts, int position)
{
    fill_entries(tables, j, kappa, shifted_parts, position);
}

} // namespace matrixhyper
