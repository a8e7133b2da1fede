function varargout = brint (varargin)
% BRINT  Truncated hypergeometric function of a multiple of the identity matrix.
%
%   v = brint(bounds, alpha, a, b, n, x)
%   [v, degree_sums] = brint(bounds, alpha, a, b, n, x)
%
%   v(i) is pFq(a; b; x(i) * I) for the n-by-n identity matrix I: the sum
%   over the partitions kappa of at most n parts, with |kappa| <= max_size
%   and largest part <= max_part, of
%       (a_1)_kappa ... (a_p)_kappa / ((b_1)_kappa ... (b_q)_kappa)
%         * C_kappa(x(i) * I) / |kappa|!
%   where (c)_kappa is the generalised Pochhammer symbol and C_kappa the Jack
%   function with parameter alpha, normalised so that the C_kappa of all
%   partitions of k add up to trace(X)^k. The series is a polynomial in
%   x(i); its coefficients are computed once and evaluated at every x(i) by
%   Horner's rule.
%
%   Inputs (all real full double arrays):
%     bounds  1-by-1 max_size, or 1-by-2 [max_size, max_part]. Both are
%             truncated toward zero. max_size from 0 to 2147483646;
%             max_part defaults to max_size, and max_part <= 0 leaves only
%             the empty partition (every v(i) = 1).
%     alpha   1-by-1 Jack parameter, positive and finite.
%     a       numerator parameters a_1..a_p: row, column or empty.
%     b       denominator parameters b_1..b_q: row, column or empty.
%     n       1-by-1 number of variables (size of I), truncated toward zero,
%             from 0 to 2147483647. n = 0 is the 0-by-0 argument: v = 1.
%     x       points: 1-by-k or k-by-1; k may be 0.
%
%   Outputs:
%     v            same shape as x: the value at every point. An infinite
%                  point gives NaN.
%     degree_sums  1-by-(max_size+1) row, only when two outputs are asked
%                  for: element k+1 is the coefficient of x^k (the sum of
%                  the terms of all partitions of size k; element 1 is 1).
%
%   Errors (the host puts "brint: " in front), in the order checked:
%     brint takes six input arguments.
%     Too many output arguments.
%     All inputs must be double arrays.
%     First input must be an array of size 1 or 2 = [max size of partition, max size of the largest part].
%     Second input must be a scalar = alpha.
%     Third input must be a vector = (a_1,...,a_p).
%     Forth input must be a vector = (b_1,...,b_q).
%     Fifth input must be a scalar = number of variables.
%     Sixth input must be a vector = x.
%     All inputs must be real full double arrays.
%     First input must hold a max size of partition from 0 to 2147483646.
%     First input must not hold NaN as max size of the largest part.
%     Second input must be a positive finite alpha.
%     Fifth input must be a number of variables from 0 to 2147483647.
%   A term that is exactly 0 ends its branch of the series. A numerator
%   parameter a_i = -k (k = 0, 1, 2, ...) therefore ends the series at
%   degree k*n for every alpha (degree_sums beyond it are exactly 0): the
%   factor of the first row is exactly 0. Other exact zeros are not to be
%   relied on: a factor that is 0 only in exact arithmetic may come out as
%   a rounding error instead.
%   A max_part outside the signed 32-bit range is clamped to it, which
%   leaves the result unchanged.
%
%   Example: the series of exp(2 x) up to degree 4, which brint reaches
%   for every alpha when a and b are empty.
%     [v, degree_sums] = brint([4 4], 2, [], [], 2, [0.5 Inf -1])
%   prints (in Octave)
%     v =
%
%        2.7083      NaN   0.3333
%
%     degree_sums =
%
%        1.0000   2.0000   2.0000   1.3333   0.6667
%
%   See also sorn.

  error('brint: the compiled brint plug-in was not found; build it first.');
end
