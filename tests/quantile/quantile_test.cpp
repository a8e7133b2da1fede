// The generic solver on distributions with closed-form quantiles: a power
// law on [0, 1] (the shape of the matrix Beta laws), the exponential law;
// and its refusals: a CDF whose err swamps the target, a CDF that fails or
// is interrupted, P outside [0, 1], the ends of the support. Many quantiles
// solved side by side against the same solved one at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "matrixhyper/quantile.h"
#include "quantile_batch.h"

using namespace matrixhyper;

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
// A quantile in at most this many evaluations of the CDF (the cost target
// of the plug-ins is 20 CDF points).
constexpr int evaluation_budget = 20;

// X = U^(1/a) on [0, 1]: F(x) = x^a, S(x) = 1 - x^a formed without
// cancellation; both with a relative err of a few units.
cdf_evaluator power_law(double a)
{
    return [a](double x, probability_tail tail) {
        cdf_point point;
        point.P = tail == probability_tail::lower ? std::pow(x, a) : -std::expm1(a * std::log(x));
        point.err = 4e-16 * point.P;
        return point;
    };
}

// Exponential with rate r, with a relative err `relative_err` and an
// absolute floor `absolute_err` (a series route's 1 - P has one).
cdf_evaluator exponential(double rate, double relative_err, double absolute_err)
{
    return [=](double x, probability_tail tail) {
        cdf_point point;
        point.P = tail == probability_tail::lower ? -std::expm1(-rate * x) : std::exp(-rate * x);
        point.err = relative_err * point.P + absolute_err;
        return point;
    };
}

void expect_quantile(const quantile_result &result, double expected, const char *what)
{
    ASSERT_EQ(result.status, quantile_status::ok) << what << ": " << result.message;
    EXPECT_LE(std::fabs(result.x - expected), quantile_rel_tol * expected)
        << what << ": got " << result.x << ", expected " << expected;
    EXPECT_LE(std::fabs(result.x - expected), result.err * (1 + 1e-6))
        << what << ": err " << result.err << " does not cover the error";
    EXPECT_LE(result.evaluations, evaluation_budget) << what;
}

} // namespace

TEST(QuantileSolver, PowerLawOnTheUnitInterval)
{
    // F(x) = x^a: the lower quantile is P^(1/a), the upper one (1 - P)^(1/a)
    // = exp(log1p(-P) / a), exact in the far upper tail where 1 - x is tiny.
    quantile_problem problem;
    problem.upper_end = 1;
    problem.typical_x = 0.5;
    for (double a : {0.5, 3.0, 40.0}) {
        problem.cdf = power_law(a);
        for (double P : {1e-100, 1e-12, 0.05, 0.5, 0.95, 1 - 1e-12}) {
            expect_quantile(solve_quantile(problem, P, probability_tail::lower), std::pow(P, 1 / a), "lower");
            expect_quantile(solve_quantile(problem, P, probability_tail::upper), std::exp(std::log1p(-P) / a),
                            "upper");
        }
    }
}

TEST(QuantileSolver, ExponentialFromAFarTypicalValue)
{
    // The bracket search from a typical value 1e3 away on either side.
    quantile_problem problem;
    problem.cdf = exponential(3, 1e-15, 0);
    for (double typical : {1e-3, 1e3}) {
        problem.typical_x = typical;
        for (double P : {1e-200, 1e-9, 0.3, 1 - 1e-9}) {
            expect_quantile(solve_quantile(problem, P, probability_tail::upper), -std::log(P) / 3, "upper");
            expect_quantile(solve_quantile(problem, P, probability_tail::lower), -std::log1p(-P) / 3, "lower");
        }
    }
}

TEST(QuantileSolver, EndsOfTheSupportAndNaN)
{
    quantile_problem problem;
    problem.cdf = exponential(1, 1e-15, 0);
    EXPECT_EQ(solve_quantile(problem, 0, probability_tail::lower).x, 0);
    EXPECT_EQ(solve_quantile(problem, 1, probability_tail::lower).x, infinity);
    EXPECT_EQ(solve_quantile(problem, 0, probability_tail::upper).x, infinity);
    EXPECT_EQ(solve_quantile(problem, 1, probability_tail::upper).x, 0);
    problem.upper_end = 1;
    EXPECT_EQ(solve_quantile(problem, 1, probability_tail::lower).x, 1);
    const quantile_result of_nan = solve_quantile(problem, not_a_number, probability_tail::lower);
    EXPECT_EQ(of_nan.status, quantile_status::ok);
    EXPECT_TRUE(std::isnan(of_nan.x));
    for (double P : {-1e-300, 1 + 1e-15, -infinity, infinity}) {
        const quantile_result refused = solve_quantile(problem, P, probability_tail::lower);
        EXPECT_EQ(refused.status, quantile_status::out_of_range) << P;
        EXPECT_TRUE(std::isnan(refused.x));
    }
}

TEST(QuantileSolver, AnErrThatSwampsTheTargetLeavesNaN)
{
    // An absolute err of 1e-10 (the series route's 1 - P) leaves an
    // upper-tail P of 1e-11, and even one of 1e-3, unresolved: NaN with
    // the reason, never a plausible number, and soon.
    quantile_problem problem;
    problem.cdf = exponential(1, 1e-15, 1e-10);
    // Where dS/dx = S = 1e-3, an err of 1e-10 moves x by 1e-7 = 1.4e-8 of x:
    // beyond the promised accuracy, so even this one is unresolved.
    const quantile_result blurred = solve_quantile(problem, 1e-3, probability_tail::upper);
    EXPECT_EQ(blurred.status, quantile_status::unresolved);
    EXPECT_TRUE(std::isnan(blurred.x) && std::isnan(blurred.err));
    EXPECT_NE(blurred.message.find("err"), std::string::npos) << blurred.message;
    const quantile_result swamped = solve_quantile(problem, 1e-11, probability_tail::upper);
    EXPECT_EQ(swamped.status, quantile_status::unresolved);
    EXPECT_TRUE(std::isnan(swamped.x));
    // Each evaluation may cost a route's whole work budget: once the root
    // is bracketed, an err that cannot certify it ends the search (5 and 3
    // evaluations here; 15 and 17 when the search narrowed on to the end).
    EXPECT_LE(blurred.evaluations, 8);
    EXPECT_LE(swamped.evaluations, 8);
    // A smaller err, 1e-16 absolute, resolves the first one.
    problem.cdf = exponential(1, 1e-15, 1e-16);
    expect_quantile(solve_quantile(problem, 1e-3, probability_tail::upper), -std::log(1e-3), "small err");
}

TEST(QuantileSolver, FailuresOfTheEvaluatorEndTheSearch)
{
    quantile_problem problem;
    int calls = 0;
    problem.cdf = [&calls](double x, probability_tail) {
        cdf_point point;
        point.P = std::exp(-x);
        point.err = 1e-16 * point.P;
        if (++calls == 3) point.status = cdf_point_status::interrupted;
        return point;
    };
    const quantile_result interrupted = solve_quantile(problem, 1e-5, probability_tail::upper);
    EXPECT_EQ(interrupted.status, quantile_status::interrupted);
    EXPECT_TRUE(std::isnan(interrupted.x));
    EXPECT_EQ(calls, 3);

    problem.cdf = [](double, probability_tail) {
        cdf_point point;
        point.status = cdf_point_status::failed;
        return point;
    };
    EXPECT_EQ(solve_quantile(problem, 0.5, probability_tail::lower).status, quantile_status::failed);
    problem.cdf = [](double, probability_tail) {
        cdf_point point;
        point.P = not_a_number;
        point.err = not_a_number;
        return point;
    };
    EXPECT_EQ(solve_quantile(problem, 0.5, probability_tail::lower).status, quantile_status::unresolved);
}

TEST(QuantileSolver, QuantileBeyondTheDoublesIsRefused)
{
    // F(x) = x^1e-3 on [0, 1]: P = 1e-12 has quantile 1e-12000, far below
    // the least double.
    quantile_problem problem;
    problem.upper_end = 1;
    problem.cdf = power_law(1e-3);
    const quantile_result result = solve_quantile(problem, 1e-12, probability_tail::lower);
    EXPECT_EQ(result.status, quantile_status::not_bracketed) << result.message;
    EXPECT_TRUE(std::isnan(result.x));
}

namespace {

// The exponential law of rate 1 as a batch evaluator that logs its calls:
// each call's tail and points.
struct logged_batch {
    std::vector<std::pair<probability_tail, std::vector<double>>> calls;
    cdf_evaluator point = exponential(1, 1e-15, 0);

    void operator()(const double *x, std::size_t count, probability_tail tail, cdf_point *points)
    {
        calls.emplace_back(tail, std::vector<double>(x, x + count));
        for (std::size_t k = 0; k < count; k++) points[k] = point(x[k], tail);
    }
};

} // namespace

TEST(QuantileBatch, QuantilesSideBySideShareEachRoundsCall)
{
    // 40 quantiles of the exponential law, -log(1 - P) (lower tail): more
    // than run at once, both working tails (P above 1/2 is solved on the
    // upper one), NaN and the ends of the support among them.
    std::vector<double> P = {not_a_number, 0, 1};
    for (int k = 0; k < 18; k++) P.push_back(std::pow(10.0, -12 + 0.6 * k));
    for (int k = 0; k < 19; k++) P.push_back(1 - std::pow(10.0, -1 - 0.6 * k));
    const std::size_t count = P.size();
    quantile_problem problem;
    int one_by_one = 0;   // the evaluations of the quantiles solved one at a time
    problem.cdf = [&one_by_one](double x, probability_tail tail) {
        one_by_one++;
        return exponential(1, 1e-15, 0)(x, tail);
    };
    std::vector<double> alone(count), alone_err(count);
    ASSERT_EQ(solve_quantiles(problem, P.data(), count, probability_tail::lower, alone.data(), alone_err.data())
                  .status,
              quantile_status::ok);

    std::vector<double> runs[2];
    std::vector<std::pair<probability_tail, std::vector<double>>> logs[2];
    for (int run = 0; run < 2; run++) {
        logged_batch batch;
        std::vector<double> x(count), err(count);
        const quantile_batch_outcome outcome =
            solve_quantiles(problem, P.data(), count, probability_tail::lower, x.data(), err.data(), {},
                            std::ref(batch));
        ASSERT_EQ(outcome.status, quantile_status::ok) << outcome.message;
        EXPECT_TRUE(std::isnan(x[0]));
        EXPECT_EQ(x[1], 0);
        EXPECT_EQ(x[2], infinity);
        for (std::size_t i = 3; i < count; i++) {
            const double exact = -std::log1p(-P[i]);
            EXPECT_LE(std::fabs(x[i] - exact), quantile_rel_tol * exact) << "P = " << P[i];
            EXPECT_LE(std::fabs(x[i] - exact), err[i] * (1 + 1e-6)) << "P = " << P[i];
        }
        runs[run] = x;
        logs[run] = batch.calls;
    }
    // The same rounds and answers whatever the threads' timing.
    EXPECT_EQ(logs[0], logs[1]);
    for (std::size_t i = 0; i < count; i++)
        EXPECT_TRUE(runs[0][i] == runs[1][i] || (std::isnan(runs[0][i]) && std::isnan(runs[1][i])));
    // Rounds shared: at most a call a tail a round, against a call a point
    // one by one.
    EXPECT_LT(logs[0].size(), (std::size_t)one_by_one / 5)
        << logs[0].size() << " calls against " << one_by_one << " evaluations one by one";
}

TEST(QuantileBatch, AStoppedOrThrowingEvaluatorEndsEverySolver)
{
    const std::vector<double> P(30, 0.3);
    std::vector<double> x(P.size()), err(P.size());
    quantile_problem problem;
    int calls = 0;
    const auto interrupted_third = [&calls](const double *at, std::size_t count, probability_tail tail,
                                            cdf_point *points) {
        for (std::size_t k = 0; k < count; k++) points[k] = exponential(1, 1e-15, 0)(at[k], tail);
        if (++calls >= 3)
            for (std::size_t k = 0; k < count; k++) points[k].status = cdf_point_status::interrupted;
    };
    const quantile_batch_outcome outcome = solve_quantiles(problem, P.data(), P.size(), probability_tail::lower,
                                                           x.data(), err.data(), {}, interrupted_third);
    EXPECT_EQ(outcome.status, quantile_status::interrupted);
    EXPECT_EQ(calls, 3);   // the solvers the call stopped asked nothing more
    const auto throwing = [](const double *, std::size_t, probability_tail, cdf_point *) {
        throw std::bad_alloc();
    };
    EXPECT_THROW(solve_quantiles(problem, P.data(), P.size(), probability_tail::lower, x.data(), err.data(), {},
                                 throwing),
                 std::bad_alloc);
}
