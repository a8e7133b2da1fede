function varargout = jacobi_eig_cdf (varargin)
% JACOBI_EIG_CDF  Roy's largest root: extreme eigenvalues of the matrix Beta (MANOVA) ensemble.
%
%   P = jacobi_eig_cdf(x, p, m, n)
%   [P, err] = jacobi_eig_cdf(x, p, m, n, name, value, ...)
%
%   P(i) = P(theta <= x(i)) for the largest (or smallest) eigenvalue theta of
%   (A + B)^-1 A, with A ~ W_p(m, I) (hypothesis, m degrees of freedom) and
%   B ~ W_p(n, I) (error, n >= p) independent Wishart matrices:
%     real    A = Z'*Z with N(0,1) entries;
%     complex E|z|^2 = 1 per entry.
%   The largest eigenvalue is Roy's largest-root statistic of MANOVA and of
%   tests of equal covariance matrices; its square roots are the canonical
%   correlations of two sets of p and m variables (n + m observations). When
%   m < p, p - m eigenvalues are exactly 0 and 'smallest' means the smallest
%   of the min(p, m) nonzero ones.
%
%   Inputs:
%     x   points: a real array of any shape, every entry in [0, 1]. P has
%         its shape. x = 0 gives 0 and x = 1 gives 1 (the reverse for the
%         upper tail).
%     p   the dimension, a whole number from 1 to 1000.
%     m   the hypothesis degrees of freedom, from 1 to 1000.
%     n   the error degrees of freedom, from p to 1000.
%
%   Options (name/value pairs, names and values in any case):
%     'field'  'real' (default) or 'complex'.
%     'which'  'largest' (default) or 'smallest'.
%     'tail'   'lower' (default), P(theta <= x); or 'upper', P(theta > x),
%              computed directly (never as 1 - lower), so that p-values down
%              to 1e-300 keep their relative accuracy.
%     'log'    false (default) or true: P holds log P and err the absolute
%              error of log P, for tails far below 1e-300.
%
%   Outputs:
%     P    the probabilities (or their logarithms), the shape of x.
%     err  a bound on |P - true P| at every point (of log P with 'log'),
%          the shape of x. Asking for it runs a second evaluation on other
%          quadrature rules, so one output is about twice as fast.
%
%   Method: the min(p, m) nonzero eigenvalues have a Jacobi joint density
%   prop. to |V(theta)|^beta prod theta^a (1 - theta)^b, with
%   a = (|m - p| - 1)/2, b = (n - p - 1)/2 (real, beta = 1) or a = |m - p|,
%   b = n - p (complex, beta = 2). Exact finite formulas: a de Bruijn Pfaffian
%   (real) or Andreief determinant (complex) of incomplete beta integrals, in
%   an orthonormal basis and extended precision. Relative error at most 1e-12
%   for both tails against 250-650 digit references at min(p, m) <= 50, m and
%   n <= 1000 (notes: doc/jacobi_extreme_eigenvalues.md in the package's
%   folder, see pkg list). Whole m and n only.
%
%   Errors (identifier jacobi_eig_cdf:invalidInput):
%     jacobi_eig_cdf takes x, p, m and n, then name/value options.
%     Too many output arguments.
%     First input must be a real double array of points x.
%     First input must hold finite points x.
%     First input must hold points x in [0, 1].
%     Second input must be a whole number p from 1 to 1000.
%     Third input must be a number m from 1 to 1000.
%     Fourth input must be a number n from p to 1000.
%     Options must come in name/value pairs.
%     Option names must be text: 'field', 'which', 'tail' or 'log'.
%     Unknown option 'NAME': the options are 'field', 'which', 'tail' and 'log'.
%     Option 'field' must be 'real' or 'complex'.
%     Option 'which' must be 'largest' or 'smallest'.
%     Option 'tail' must be 'lower' or 'upper'.
%     Option 'log' must be true or false.
%   (identifier jacobi_eig_cdf:outOfReach):
%     jacobi_eig_cdf: the finite formulas need whole degrees of freedom m and n
%     jacobi_eig_cdf: min(p, m) above 50 is beyond the verified range
%   (identifiers jacobi_eig_cdf:outOfMemory, jacobi_eig_cdf:numericalFailure
%   when memory runs out or the quadrature breaks down; never observed.)
%
%   Examples:
%     P = jacobi_eig_cdf([0.5 0.7 0.9], 3, 5, 20)              % Roy's largest root
%     p = jacobi_eig_cdf(0.95, 10, 12, 60, 'tail', 'upper')     % a MANOVA p-value
%     r = jacobi_eig_cdf(0.99, 20, 20, 400, 'tail', 'upper', 'log', true)
%
%   See also wishart_eig_cdf, matrix_pfq.

  error('jacobi_eig_cdf: the compiled jacobi_eig_cdf plug-in was not found; build it first.');
end
