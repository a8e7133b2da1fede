function varargout = jacobi_eig_inv (varargin)
% JACOBI_EIG_INV  Critical values of Roy's largest root (MANOVA): quantiles of the largest or smallest eigenvalue of the matrix Beta ensemble.
%
%   x = jacobi_eig_inv(P, p, m, n)
%   [x, err] = jacobi_eig_inv(P, p, m, n, name, value, ...)
%
%   The inverse of jacobi_eig_cdf: x(i) with P(theta <= x(i)) = P(i), or
%   with 'tail', 'upper', P(theta > x(i)) = P(i), for the largest (or
%   smallest) eigenvalue theta of (A + B)^-1 A, where A ~ W_p(m, I) (the
%   hypothesis SSCP matrix, m degrees of freedom) and B ~ W_p(n, I) (the
%   error SSCP matrix, n degrees of freedom), independent. The largest is
%   Roy's largest-root statistic of MANOVA, canonical correlation and
%   tests of equal covariances; its critical value at level alpha is
%   jacobi_eig_inv(alpha, p, m, n, 'tail', 'upper').
%
%   Inputs:
%     P   probabilities: a real array of any shape, each in [0, 1] or NaN.
%         x has its shape. P = 0 and P = 1 give the ends of the support,
%         0 and 1; NaN gives NaN.
%     p   the dimension, a whole number from 1 to 1000.
%     m   the hypothesis degrees of freedom, from 1 to 1000.
%     n   the error degrees of freedom, from p to 1000.
%     m and n must be whole and min(p, m) at most 50 (as for jacobi_eig_cdf).
%
%   Options (name/value pairs, names and values in any case), as for
%   jacobi_eig_cdf:
%     'field'  'real' (default) or 'complex'.
%     'which'  'largest' (default) or 'smallest'.
%     'tail'   'lower' (default): P is P(theta <= x); or 'upper': P is
%              P(theta > x), the level of a test.
%
%   Outputs:
%     x    the quantiles, the shape of P, each within a relative 1e-10 of
%          the exact quantile.
%     err  a bound on |x - exact quantile| at every point: it holds
%          whenever the error estimates of jacobi_eig_cdf hold.
%
%   Method: a safeguarded bracketing solver (TOMS 748) on [0, 1], on the
%   tail whose probability is at most 1/2, over jacobi_eig_cdf. x is
%   returned only when the evaluations' error estimates enclose the
%   quantile within the accuracy; otherwise x is NaN, and the one warning
%   jacobi_eig_inv:notConverged says how many points and which.
%
%   Errors (identifier jacobi_eig_inv:invalidInput):
%     jacobi_eig_inv takes P, p, m and n, then name/value options.
%     Too many output arguments.
%     First input must be a real double array of probabilities P.
%     First input must hold probabilities P in [0, 1] (or NaN).
%     Second input must be a whole number p from 1 to 1000.
%     Third input must be a number m from 1 to 1000.
%     Fourth input must be a number n from p to 1000.
%     Options must come in name/value pairs.
%     Option names must be text: 'field', 'which' or 'tail'.
%     Unknown option 'NAME': the options are 'field', 'which' and 'tail'.
%     Option 'field' must be 'real' or 'complex'.
%     Option 'which' must be 'largest' or 'smallest'.
%     Option 'tail' must be 'lower' or 'upper'.
%   Models beyond the verified range (non-integer m or n, min(p, m) above
%   50) raise jacobi_eig_inv:outOfReach.
%
%   Examples:
%     c = jacobi_eig_inv(0.05, 4, 2, 147, 'tail', 'upper')   % Roy's test at 5%, p = 4, m = 2, n = 147
%     q = jacobi_eig_inv([0.25 0.5 0.75], 3, 5, 20, 'which', 'smallest')   % quartiles
%
%   See also jacobi_eig_cdf, wishart_eig_inv.

  error('jacobi_eig_inv: the compiled jacobi_eig_inv plug-in was not found; build it first.');
end
