// box_factor.h: the factors by which one box (row, col) changes a term of a
// series over partitions, the term of kappa from that of kappa without the
// box. Rows and columns count from 1. The arithmetic type is a parameter:
// double for sorn and brint, long double for matrix_pfq.
//
// The box's factor of the generalised Pochhammer symbol (c)_kappa is
// c + shift, shift = (col - 1) - (row - 1) / alpha; the change of the hook
// products of an earlier row i is a function of
// d = alpha (kappa_i - col) + (row - i), which is >= 1 for every earlier row.
// The walks carry alpha kappa_i - i per row and form d as a difference.
#ifndef MATRIXHYPER_BOX_FACTOR_H
#define MATRIXHYPER_BOX_FACTOR_H

#include <cstddef>
#include <vector>

namespace matrixhyper {
namespace box_factor {

// (col - 1) - (row - 1) / alpha, exact in row 1 and in column 1: a numerator
// parameter equal to a (rounded) shift meets an exact 0 there, and the
// series ends where the mathematics ends it.
template <class Real>
inline Real shift(int row, int col, Real alpha)
{
    return Real(col - 1) - Real(row - 1) / alpha;
}

// The same shift as ((1 - row) / alpha + col) - 1, exact in row 1 only: the
// order of operations of sorn and brint, whose results are frozen bit for
// bit. Everything new uses shift().
template <class Real>
inline Real shift_frozen_order(int row, int col, Real alpha)
{
    return ((1 - row) / alpha + col) - 1;
}

// acc times (parameter + shift) for each parameter in turn: one box's
// factor of (a)_kappa or (b)_kappa, started from whatever else the caller
// multiplies in first.
template <class Real>
inline Real times_rising(Real acc, const Real *parameters, std::size_t count, Real box_shift)
{
    for (std::size_t k = 0; k < count; k++) acc = acc * (parameters[k] + box_shift);
    return acc;
}

// Numerator and denominator of a box's quotient, each a running product.
template <class Real>
struct quotient_parts {
    Real num;
    Real den;
};

// The change of an earlier row's lower hook product alone (the Jack
// normalisation with alpha^|kappa| over prod (alpha arm + leg + 1)): d / (d + 1).
template <class Real>
inline void times_lower_hook_change(Real d, quotient_parts<Real> &q)
{
    q.num = q.num * d;
    q.den = q.den * (d + 1);
}

// The change of an earlier row's upper and lower hook products together
// (the normalisation J_kappa over prod of both hooks):
// ((alpha + d - 1) d) / ((d + 1)(alpha + d)).
template <class Real>
inline void times_hook_change(Real d, Real alpha, quotient_parts<Real> &q)
{
    q.num = q.num * (((alpha + d) - 1) * d);
    q.den = q.den * ((d + 1) * (alpha + d));
}

// The same change as one factor.
template <class Real>
inline Real hook_change(Real d, Real alpha)
{
    quotient_parts<Real> q{1, 1};
    times_hook_change(d, alpha, q);
    return q.num / q.den;
}

// Hook lengths of a box with `arm` boxes right of it and `leg` below it:
// the upper hook leg + alpha (arm + 1) and the lower hook leg + 1 + alpha arm.
// Arms and legs are whole numbers, exact in Real.
template <class Real>
inline Real upper_hook(Real arm, Real leg, Real alpha)
{
    return leg + alpha * (arm + 1);
}

template <class Real>
inline Real lower_hook(Real arm, Real leg, Real alpha)
{
    return leg + 1 + alpha * arm;
}

// Column lengths of the partition parts[0..rows-1] (non-increasing, 0 past
// its length): conj[c] for c = 1..parts[0]; conj[0] is unused. The leg of
// box (i, c) is conj[c] - i.
template <class Part>
inline void column_lengths(const Part *parts, int rows, std::vector<int> &conj)
{
    conj.assign(rows > 0 ? (std::size_t)parts[0] + 1 : 1, 0);
    for (int i = 0; i < rows; i++)
        for (int c = 1; c <= (int)parts[i]; c++) conj[c] = i + 1;
}

} // namespace box_factor
} // namespace matrixhyper

#endif // MATRIXHYPER_BOX_FACTOR_H
