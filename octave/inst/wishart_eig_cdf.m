function varargout = wishart_eig_cdf (varargin)
% WISHART_EIG_CDF  Distribution of the largest or smallest eigenvalue of a Wishart matrix.
%
%   P = wishart_eig_cdf(x, m, n)
%   [P, err] = wishart_eig_cdf(x, m, n, name, value, ...)
%
%   P(i) = P(lambda <= x(i)) for the largest (or smallest) eigenvalue lambda
%   of the m-by-m Wishart matrix with n degrees of freedom:
%     real    W = Z'*Z, Z an n-by-m matrix whose rows are iid N(0, Sigma);
%     complex W = Z'*Z, rows iid circular complex normal with covariance
%             Sigma (E|z|^2 = 1 per entry when Sigma = I).
%
%   Inputs:
%     x   points: a real array of any shape, finite. P has its shape.
%         x <= 0 gives 0 (1 for the upper tail).
%     m   the dimension, a whole number from 1 to 1000.
%     n   the degrees of freedom, a number greater than m - 1 (at most 100000),
%         or a whole number of samples n < m with Sigma a multiple of I:
%         W then has rank n, its m - n smallest eigenvalues are exactly 0,
%         and 'smallest' means the smallest nonzero eigenvalue (the law is
%         that of the n-by-n matrix with m and n exchanged).
%
%   Options (name/value pairs, names and values in any case):
%     'field'  'real' (default) or 'complex'.
%     'which'  'largest' (default) or 'smallest'.
%     'tail'   'lower' (default), P(lambda <= x); or 'upper', P(lambda > x),
%              computed directly, so that p-values down to 1e-300 keep their
%              relative accuracy.
%     'sigma'  a positive scalar c (Sigma = c I), the m eigenvalues of the
%              covariance Sigma, or Sigma itself (symmetric positive
%              definite; Hermitian for 'complex'). Default: the identity.
%     'tol'    the relative accuracy asked of every point, in (0, 1)
%              (default 1e-10): of P for the lower tail, of the upper tail
%              P(lambda > x) for 'upper', of P itself (err of log P,
%              absolute) with 'log'. The series is run to it; a point that
%              misses it is NaN (see below).
%     'log'    false (default) or true: P holds log P and err the absolute
%              error of log P; the exact formulas keep log P accurate for
%              tails far below 1e-300. On the series route: the log of the
%              series value (lower tail) or of 1 - value (upper tail).
%
%   Outputs:
%     P    the probabilities (or their logarithms), the shape of x.
%     err  an estimate of |P - true P| at every point, the shape of x.
%          The exact formulas compute it by a second evaluation, only when
%          err is asked for: one output is about twice as fast.
%
%   Methods (notes in the doc folder of the package, see pkg list):
%   - Sigma a multiple of the identity, a whole n >= m or a non-integer
%     n >= m - 0.9, and m <= 100: exact finite formulas (Pfaffians for
%     the real field, determinants for the complex one, of incomplete gamma
%     integrals), in extended precision: relative error at most 1e-12 for
%     both tails against multiprecision references at m <= 50, n <= 500, at
%     m = 100, and at non-integer n for m <= 8
%     (doc/wishart_extreme_eigenvalues.md).
%   - Complex field, any other Sigma, an integer n >= m, m <= 64: exact
%     determinants of incomplete gamma functions divided by the Vandermonde
%     of the eigenvalues of Sigma, formed from divided differences so that
%     close or repeated eigenvalues are exact too; in multiprecision, err the
%     difference of two precisions; both extremes, both tails and 'log'
%     computed directly (doc/wishart_complex_sigma.md).
%   - Real field, largest eigenvalue, m <= 10, any real n > m - 1, a Sigma
%     whose eigenvalues are at least 0.1% apart and within a ratio of 1e6:
%     the holonomic gradient method, the system of differential equations of
%     the 1F1 below integrated along x from its series at 0; err from two
%     integrations. P has relative error at most 1e-10 over the whole
%     distribution. Where 1 - P misses tol, the upper tail is the integral
%     of the density, carried by the same system with its one solution that
%     does not decay projected out: 1e-10 of itself however small (below
%     1e-308 with 'log'), as far as the work budget reaches (at m = 10 the
%     1 - 1e-12 quantile and beyond); past that reach it is NaN
%     (doc/wishart_holonomic.md).
%     Repeated eigenvalues (a spiked Sigma = I + u u', blocks) take one
%     integration of the system that 1F1 satisfies where they are equal, of
%     prod (m_j + 1) unknowns over the clusters (up to 128;
%     doc/wishart_holonomic_confluent.md): 1e-10 over the whole
%     distribution and the upper tail to the 1 - 1e-12 quantile and beyond,
%     at every m up to 10 (a spike at m = 10: 0.1 s a point; c I at m = 10
%     within 1e-11 of the exact formulas). Close eigenvalues (a nearly white
%     or weakly correlated Sigma) take the same system at each cluster's
%     centre, P read at their own values from its Taylor coefficients in
%     them, err adding that expansion's truncation; clusters of gaps below
%     6%, 1% and 0.1% are tried in turn, then the eigenvalues themselves,
%     each for the points the ones before missed; what they all missed
%     (the far tail of a wide cluster) reads the same system again to a
%     higher degree of that expansion. Structures too large for
%     that system take the distinct eigenvalues' system in long double
%     where no two lie within 1e-5; the points it misses are spread apart
%     by six amounts, integrated at each, and extrapolated back, err adding
%     the extrapolation's own estimate.
%   - Real field, smallest eigenvalue, any other Sigma, r = (n - m - 1)/2 a
%     whole number (n = m + 1, m + 3, ...): the finite zonal series
%       P(lambda_min > x) = etr(-x Sigma^-1/2) sum_{k <= m r}
%                           sum_{kappa |- k, kappa_1 <= r} C_kappa(x Sigma^-1/2) / k!
%     with both tails computed directly as sums of positive terms; its table
%     has C(m+r, m) partitions (m = 8, r = 10: about a second) within a work
%     budget of some 20 s (doc/wishart_real_smallest.md).
%   - Real field, smallest eigenvalue, any other Sigma, (n - m - 1)/2 not
%     whole (n = m, m + 2, ..., or non-integer n), m <= 10: the
%     holonomic route again, P(lambda_min > x) being the solution of the
%     same system that decays fastest as x grows, integrated backwards and
%     scaled to 1 at x = 0 (doc/wishart_holonomic.md). The upper tail keeps
%     its relative accuracy; the lower tail is its complement, carried in
%     more bits where it is small (m <= 4 or so; down to some 1e-6
%     elsewhere). Measured: 1e-10 over the distribution at m <= 8 for a
%     correlated Sigma (m = 4: some 3-14 ms a call, m = 6: 30-200 ms,
%     m = 8: 0.3-2 s), repeated and close eigenvalues through the
%     confluent system above (in more bits beyond m = 8); at m = 10
%     (3-4 s) the upper tail, and the lower tail down to about 0.05 (NaN
%     below).
%   - Otherwise, for the largest eigenvalue, the series
%       real:    P = Gamma_m((m+1)/2) / Gamma_m((n+m+1)/2) det(x Sigma^-1 / 2)^(n/2)
%                    1F1(n/2; (n+m+1)/2; -x Sigma^-1 / 2)
%       complex: P = G_m(m) / G_m(n+m) det(x Sigma^-1)^n 1F1(n; n+m; -x Sigma^-1)
%     through matrix_pfq (with its error bound; the upper tail is then 1 - P
%     with the same absolute error). It reaches the lower half of the
%     distribution at small m; the upper tail is out of reach sooner.
%   The smallest eigenvalue has no other route: it is refused in the
%   complex field for a non-integer n with Sigma not a multiple of I, and
%   in the real field where none of the routes above serves.
%   A point whose err exceeds tol (relative to the tail asked for) is out of
%   reach: P there is NaN, never a best guess, and err says how far the
%   computation got. One warning wishart_eig_cdf:notConverged per call
%   counts and names them, e.g. "3 of 10 points are out of reach and NaN
%   (x(8), x(9), x(10)): the series route did not reach tol = 1e-10: ...".
%
%   Errors (identifier wishart_eig_cdf:invalidInput):
%     wishart_eig_cdf takes x, m and n, then name/value options.
%     Too many output arguments.
%     First input must be a real double array of points x.
%     First input must hold finite points x.
%     Second input must be a whole number m from 1 to 1000.
%     Third input must be a positive number n, at most 100000.
%     Options must come in name/value pairs.
%     Option names must be text: 'field', 'which', 'tail', 'sigma', 'log' or 'tol'.
%     Unknown option 'NAME': the options are 'field', 'which', 'tail', 'sigma', 'log' and 'tol'.
%     Option 'field' must be 'real' or 'complex'.
%     Option 'which' must be 'largest' or 'smallest'.
%     Option 'tail' must be 'lower' or 'upper'.
%     Option 'sigma' must be a positive scalar c (Sigma = c I), the m positive eigenvalues of Sigma, or Sigma itself.
%     Option 'log' must be true or false.
%     Option 'tol' must be a number in (0, 1).
%     A non-integer n must exceed m - 1: below it only a whole number of samples n gives a (singular) Wishart matrix.
%     With n samples fewer than m dimensions Sigma must be a multiple of I: the series route for a general Sigma assumes n > m - 1.
%     The smallest eigenvalue needs an integer n: it has no series route.
%     The smallest eigenvalue of a real Wishart matrix needs (n - m - 1)/2 a whole number (n = m + 1, m + 3, ...), where its finite zonal series exists, or the holonomic route: m at most 10 and Sigma's eigenvalues within a ratio of 1e6.
%     The smallest eigenvalue of a complex Wishart matrix with Sigma not a multiple of I needs m at most 64, the range of its determinant formulas.
%     The smallest eigenvalue needs m at most 100, the verified range of the finite formulas.
%   (identifiers wishart_eig_cdf:outOfMemory when the series' tables do not
%   fit memory, wishart_eig_cdf:numericalFailure when the exact route breaks
%   down; the warning wishart_eig_cdf:notConverged as above.)
%
%   Examples:
%     P = wishart_eig_cdf([20 40 60], 5, 10)              % real, largest eigenvalue
%     p = wishart_eig_cdf(300, 50, 100, 'tail', 'upper')   % a p-value, far in the tail
%     L = wishart_eig_cdf(900, 50, 100, 'tail', 'upper', 'log', true)  % log of a p-value below 1e-300
%     P = wishart_eig_cdf(2, 4, 8, 'which', 'smallest', 'field', 'complex')
%     P = wishart_eig_cdf(10, 4, 2, 'field', 'complex', 'sigma', 0.5) % 2 transmit, 4 receive antennas
%     S = 0.7 .^ abs((1:4)' - (1:4));                      % correlated receive antennas
%     P = wishart_eig_cdf(20, 4, 6, 'field', 'complex', 'sigma', S, 'tail', 'upper')
%     P = wishart_eig_cdf([5 10 20], 4, 4, 'sigma', S)     % real, largest, holonomic
%
%   See also jacobi_eig_cdf, matrix_pfq.

  error('wishart_eig_cdf: the compiled wishart_eig_cdf plug-in was not found; build it first.');
end
