function varargout = wishart_eig_inv (varargin)
% WISHART_EIG_INV  Quantiles (critical values, detection thresholds) of the largest or smallest eigenvalue of a Wishart matrix.
%
%   x = wishart_eig_inv(P, m, n)
%   [x, err] = wishart_eig_inv(P, m, n, name, value, ...)
%
%   The inverse of wishart_eig_cdf: x(i) with P(lambda <= x(i)) = P(i), or
%   with 'tail', 'upper', P(lambda > x(i)) = P(i), for the largest (or
%   smallest) eigenvalue lambda of the m-by-m Wishart matrix with n
%   degrees of freedom:
%     real    W = Z'*Z, Z an n-by-m matrix whose rows are iid N(0, Sigma);
%     complex W = Z'*Z, rows iid circular complex normal with covariance
%             Sigma (E|z|^2 = 1 per entry when Sigma = I).
%   The critical value of a test at level alpha, or the detection
%   threshold of a spectrum sensor for a false-alarm rate alpha, is
%   wishart_eig_inv(alpha, m, n, 'tail', 'upper').
%
%   Inputs:
%     P   probabilities: a real array of any shape, each in [0, 1] or NaN.
%         x has its shape. P = 0 and P = 1 give the ends of the support,
%         0 and Inf; NaN gives NaN.
%     m   the dimension, a whole number from 1 to 1000.
%     n   the degrees of freedom, a number greater than m - 1 (at most 100000).
%
%   Options (name/value pairs, names and values in any case), as for
%   wishart_eig_cdf:
%     'field'  'real' (default) or 'complex'.
%     'which'  'largest' (default) or 'smallest'.
%     'tail'   'lower' (default): P is P(lambda <= x); or 'upper': P is
%              P(lambda > x), the level of a test, down to 1e-300.
%     'sigma'  a positive scalar c (Sigma = c I), the m eigenvalues of the
%              covariance Sigma, or Sigma itself
%              (symmetric positive definite; Hermitian for 'complex').
%              Default: the identity.
%
%   Outputs:
%     x    the quantiles, the shape of P, each within a relative 1e-10 of
%          the exact quantile.
%     err  a bound on |x - exact quantile| at every point: it holds
%          whenever the error estimates of wishart_eig_cdf hold.
%
%   Method: a safeguarded bracketing solver (TOMS 748) in log x on the
%   tail whose probability is at most 1/2 (1 - P is exact there, so P
%   near 1 loses nothing), over wishart_eig_cdf. Every evaluation's error
%   estimate marks points that lie certainly below or above the quantile,
%   and x is returned only when these enclose it within the accuracy.
%   Otherwise, for instance when the absolute error of 1 - P (the
%   holonomic and series routes) swamps a small upper-tail P, x is NaN, and the one warning
%   wishart_eig_inv:notConverged says how many points and which. Several
%   P in one call are solved side by side, each round of their points in
%   one wishart_eig_cdf call a tail: on the holonomic routes (Sigma not a
%   multiple of I) a call of several quantiles costs about as much as its
%   slowest one.
%
%   Errors (identifier wishart_eig_inv:invalidInput):
%     wishart_eig_inv takes P, m and n, then name/value options.
%     Too many output arguments.
%     First input must be a real double array of probabilities P.
%     First input must hold probabilities P in [0, 1] (or NaN).
%     Second input must be a whole number m from 1 to 1000.
%     Third input must be a number n greater than m - 1, at most 100000.
%     Options must come in name/value pairs.
%     Option names must be text: 'field', 'which', 'tail' or 'sigma'.
%     Unknown option 'NAME': the options are 'field', 'which', 'tail' and 'sigma'.
%     Option 'field' must be 'real' or 'complex'.
%     Option 'which' must be 'largest' or 'smallest'.
%     Option 'tail' must be 'lower' or 'upper'.
%     Option 'sigma' must be a positive scalar c (Sigma = c I), the m positive eigenvalues of
%     Sigma, or Sigma itself.
%     The smallest eigenvalue needs an integer n: it has no series route.
%     The smallest eigenvalue of a real Wishart matrix needs (n - m - 1)/2 a whole number (n = m + 1, m + 3, ...), where its finite zonal series exists, or the holonomic route: m at most 10 and Sigma's eigenvalues within a ratio of 1e6.
%
%   Examples:
%     c = wishart_eig_inv(0.05, 5, 10, 'tail', 'upper')    % critical value at level 5%
%     t = wishart_eig_inv(1e-6, 4, 100, 'field', 'complex', 'tail', 'upper')  % detection threshold
%     q = wishart_eig_inv([0.25 0.5 0.75], 3, 6, 'which', 'smallest')         % quartiles
%
%   See also wishart_eig_cdf.

  error('wishart_eig_inv: the compiled wishart_eig_inv plug-in was not found; build it first.');
end
