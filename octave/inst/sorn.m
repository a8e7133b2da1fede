function varargout = sorn (varargin)
% SORN  Truncated hypergeometric function of one or two matrix arguments.
%
%   s = sorn(bounds, alpha, a, b, x)
%   s = sorn(bounds, alpha, a, b, x, y)
%   [s, degree_sums] = sorn(...)
%
%   With five inputs, s is pFq(a; b; X) for the symmetric matrix X with
%   eigenvalues x: the sum over the partitions kappa of at most n = numel(x)
%   parts, with |kappa| <= max_size and largest part <= max_part, of
%       (a_1)_kappa ... (a_p)_kappa / ((b_1)_kappa ... (b_q)_kappa)
%         * C_kappa(X) / |kappa|!
%   where (c)_kappa is the generalised Pochhammer symbol and C_kappa the Jack
%   function with parameter alpha, normalised so that the C_kappa of all
%   partitions of k add up to trace(X)^k. With six inputs, s is the function
%   of the two matrix arguments X and Y (eigenvalues x and y): each term is
%   multiplied by C_kappa(Y) / C_kappa(I), I the n-by-n identity.
%   alpha = 2 gives the zonal polynomials of real symmetric matrices,
%   alpha = 1 the Schur functions of complex Hermitian matrices.
%
%   Inputs (all real full double arrays):
%     bounds  1-by-1 max_size, or 1-by-2 [max_size, max_part]. Both are
%             truncated toward zero. max_size from 0 to 2147483646;
%             max_part defaults to max_size, and max_part <= 0 leaves only
%             the empty partition (s = 1).
%     alpha   1-by-1 Jack parameter, positive and finite.
%     a       numerator parameters a_1..a_p: row, column or empty.
%     b       denominator parameters b_1..b_q: row, column or empty.
%     x       eigenvalues x_1..x_n of X: 1-by-n or n-by-1. The empty row
%             zeros(1,0) and the empty column zeros(0,1) are accepted and
%             stand for the 0-by-0 X (s = 1); [] (0-by-0) is not a row or a
%             column and is refused with "Fifth input must be a vector = x.".
%     y       (optional) eigenvalues of Y: row or column with at least n
%             elements; its first n elements are used.
%
%   Outputs:
%     s            1-by-1: the sum of degree_sums, added in increasing
%                  order of degree.
%     degree_sums  1-by-(max_size+1) row, only when two outputs are asked
%                  for: element k+1 is the sum of the terms of all
%                  partitions of size k (element 1 is 1).
%
%   Errors (the host puts "sorn: " in front), in the order checked:
%     Must have five or six input arguments.
%     Too many output arguments.
%     All inputs must be double arrays.
%     First input must be a scalar = max size of partition.
%     Second input must be a scalar = alpha.
%     Third input must be a vector = (a_1,...,a_p).
%     Forth input must be a vector = (b_1,...,b_q).
%     Fifth input must be a vector = x.
%     Sixth input must be a vector = y.
%     All inputs must be real full double arrays.
%     First input must hold a max size of partition from 0 to 2147483646.
%     First input must not hold NaN as max size of the largest part.
%     Second input must be a positive finite alpha.
%     Sixth input must have at least as many elements as the fifth input.
%     First and fifth inputs need n = N values of x, more than 2147483646.
%     First and fifth inputs need tables of N partitions, more than 2147483646.
%       (N preceded by "at least " when n > 3)
%     First and fifth inputs need an array of N bytes (max size M, n = K,
%       tables of T partitions), more than L.
%       (with n = 0: "(max size M, n = 0)"; L is 2147483647 with 32-bit
%       sizes)
%   These last three say that the tables for max_size and n = numel(x) are
%   too large, with the sizes counted before anything is allocated.
%   A term that is exactly 0 ends its branch of the series. A numerator
%   parameter a_i = -k (k = 0, 1, 2, ...) therefore ends the series at
%   degree k*n for every alpha: the factor of the first row is exactly 0.
%   Other exact zeros are not to be relied on: a denominator or numerator
%   factor that is 0 only in exact arithmetic may come out as a rounding
%   error instead.
%   The first input accepts [max_size, max_part] although its message
%   speaks of a scalar. A max_part outside the signed 32-bit range is
%   clamped to it, which leaves the result unchanged.
%
%   Example: one matrix argument with eigenvalues 0.3 and 0.2, terms up
%   to degree 2.
%     [s, degree_sums] = sorn(2, 1, 0.5, 1.5, [0.3 0.2])
%   prints (in Octave)
%     s = 1.1757
%     degree_sums =
%
%        1.0000e+00   1.6667e-01   9.0000e-03
%
%   See also brint.

  error('sorn: the compiled sorn plug-in was not found; build it first.');
end
