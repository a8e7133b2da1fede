// pfq_holonomic_test.cpp: matrix_pfq's 1F1 at alpha = 2 by integrating its
// Pfaffian system, against the zonal series in exact rationals, the closed
// form 1F1(a; a; X) = etr(X), and its own two directions (Kummer's).
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "matrixhyper/matrix_pfq.h"
#include "pfq_series.h"

using namespace matrixhyper;
using pfq_detail::relation_choice;
using pfq_detail::route_choice;

namespace {

pfq_result holonomic(const pfq_problem &p, relation_choice relation)
{
    pfq_options o;
    o.alpha = 2;
    return pfq_detail::matrix_pfq_forced(p, o, route_choice::holonomic, relation);
}

// Converged at the default tol, and err covers the true error.
void expect_honest(const pfq_result &r, long double truth)
{
    const long double error = std::fabs((long double)r.value - truth);
    SCOPED_TRACE("expected " + std::to_string((double)truth) + ", got " + std::to_string(r.value) +
                 ", error " + std::to_string((double)error) + ", err " + std::to_string(r.err) + ", " +
                 r.info.method + " " + r.message);
    EXPECT_EQ(r.status, pfq_status::converged);
    EXPECT_LE(r.err, 1e-12 * std::fabs((double)truth));
    EXPECT_LE(error, r.err);
}

} // namespace

// 3 x 3 arguments of both signs: the zonal series in exact rationals, summed
// to degree 40 in 40 digits (tools/pfq_holonomic_reference.py), negative X
// through Kummer's relation there. Integrated along t X directly, no relation.
TEST(PfqHolonomic, MatchesZonalSeries)
{
    struct reference { double a, c; std::vector<double> x; double value; };
    const reference rows[] = {
        {2.0, 5.0, {-0.5, -1.5, -2.5}, 0.19082942596368986317},
        {0.75, 2.25, {-0.5, -1.25, -2.5}, 0.28628874728435367575},
        {1.5, 4.0, {0.5, 1.0, 1.5}, 3.2865483566014890388},
        {1.25, 3.1, {0.25, 1.0, 2.5}, 5.4368769215504612807},
    };
    for (const reference &row : rows) {
        const pfq_result r = holonomic({{row.a}, {row.c}, row.x, {}}, relation_choice::none);
        EXPECT_EQ(r.info.method, "holonomic");
        expect_honest(r, row.value);
    }
}

// 1F1(a; a; X) = etr(X) at n = 8. Growing (e^18), F is the dominant
// solution along t X and meets tol. Decaying (e^-36), it is the recessive
// one: the algebraically decaying solutions swamp it (their weight
// 1 / Gamma_m(c - a) vanishes only in F), the rounding grows by e^36 over
// the ray and the value misses tol; err must say by how much.
TEST(PfqHolonomic, EqualParametersGiveTheExponentialAtEight)
{
    for (double sign : {0.5, -1.0}) {
        std::vector<double> x;
        long double trace = 0;
        for (int i = 1; i <= 8; i++) {
            x.push_back(sign * i);
            trace += sign * i;
        }
        const pfq_result r = holonomic({{5.5}, {5.5}, x, {}}, relation_choice::none);
        const long double truth = std::exp(trace);
        if (sign > 0) {
            expect_honest(r, truth);
        } else {
            EXPECT_EQ(r.status, pfq_status::not_converged);
            EXPECT_LE(std::fabs((long double)r.value - truth), r.err) << r.value << " err " << r.err;
        }
    }
}

// matrix_pfq(2, 5, -(1:8)): beyond the tables' work limit (degree 57 of the
// 70-80 1e-12 needs), the automatic choice integrates Kummer's 1F1(3; 5; X)
// along t X; the plain 1F1 along t (-X) is another integration on another
// ray, and the two agree within their errs. Eigenvalues closer than the
// integration's least gap go to the tables.
TEST(PfqHolonomic, ChosenWhereTheTablesStopAndRefusedForCloseEigenvalues)
{
    const pfq_problem problem{{2}, {5}, {-1, -2, -3, -4, -5, -6, -7, -8}, {}};
    pfq_options o;
    o.alpha = 2;
    const pfq_result automatic = matrix_pfq(problem, o);
    ASSERT_EQ(automatic.status, pfq_status::converged) << automatic.message;
    EXPECT_EQ(automatic.info.method, "holonomic, kummer");
    const pfq_result plain = holonomic(problem, relation_choice::none);
    ASSERT_EQ(plain.status, pfq_status::converged) << plain.message;
    EXPECT_LE(std::fabs(plain.value - automatic.value), plain.err + automatic.err)
        << plain.value << " " << automatic.value;

    const pfq_problem close{{1.5}, {4}, {0.5, 0.5001, 1}, {}};
    EXPECT_EQ(holonomic(close, relation_choice::none).status, pfq_status::not_converged);
    EXPECT_EQ(matrix_pfq(close, o).info.method, "tables");
}
