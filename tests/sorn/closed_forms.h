// closed_forms.h: partitions and the closed-form box products that the sorn
// tests compare with, all evaluated in long double and independently of the
// recurrences of the plug-in.
#ifndef SORN_TEST_CLOSED_FORMS_H
#define SORN_TEST_CLOSED_FORMS_H

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace sorn_test {

using Partition = std::vector<int>; // positive parts, non-increasing
using Real = long double;

// Every partition of size 1..max_size with at most max_rows rows and parts
// at most max_part, in increasing lexicographic order (the walk's order).
std::vector<Partition> partitions_up_to(int max_size, int max_rows, int max_part);

int size_of(const Partition &kappa);
// Number of rows of length at least k.
int column_length(const Partition &kappa, int k);
std::string to_string(const Partition &kappa);

// Generalised Pochhammer symbol (c)_kappa = prod over boxes (c - (s-1)/alpha + k - 1).
Real pochhammer(Real c, const Partition &kappa, Real alpha);
// Q_kappa(1,...,1) with i ones: prod over boxes of
// (i - s + 1 + alpha (k-1)) / (alpha arm + leg + alpha), 0 when kappa has more than i rows.
Real jack_at_ones(const Partition &kappa, int i, Real alpha);
// The series coefficient alpha^|kappa| (a)_kappa / (b)_kappa / prod (alpha arm + leg + 1).
Real series_coefficient(const Partition &kappa, Real alpha, const std::vector<double> &a,
                        const std::vector<double> &b);

// Relative error in units of double epsilon, with denominator max(|expected|, 1);
// matching infinities or NaNs count as agreement.
double error_in_eps(double got, Real expected);
// The same with the denominator |scale| chosen by the caller (1 when scale is 0).
double error_in_eps(double got, Real expected, Real scale);

} // namespace sorn_test

#endif // SORN_TEST_CLOSED_FORMS_H
