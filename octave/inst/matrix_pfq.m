function varargout = matrix_pfq (varargin)
% MATRIX_PFQ  Hypergeometric function of matrix argument to a requested accuracy.
%
%   f = matrix_pfq(a, b, x)
%   f = matrix_pfq(a, b, x, y)
%   [f, err, info] = matrix_pfq(..., name, value, ...)
%
%   f is pFq(a; b; X), the sum over all partitions kappa of
%       (a_1)_kappa ... (a_p)_kappa / ((b_1)_kappa ... (b_q)_kappa) * C_kappa(X) / |kappa|!
%   or, with y, pFq(a; b; X, Y), each term multiplied by C_kappa(Y) / C_kappa(I).
%   (c)_kappa is the generalised Pochhammer symbol and C_kappa the Jack
%   polynomial with parameter alpha, normalised so that the C_kappa of all
%   partitions of k add up to trace(X)^k. Unlike sorn and brint, which sum
%   a series cut where the caller says, matrix_pfq chooses the truncation,
%   applies the relations below when they help, and estimates the error.
%
%   Inputs:
%     a, b  parameter vectors (row, column or empty), finite real values.
%     x     the eigenvalues of X (row or column; empty for the 0-by-0 X,
%           f = 1), or X itself: a real symmetric matrix, or a complex
%           Hermitian one when alpha = 1. A matrix whose entries differ from
%           those of its (conjugate) transpose by more than 1e-10 times its
%           largest entry is refused; otherwise the eigenvalues of
%           (X + X')/2 are taken with LAPACK.
%     y     (optional) Y in the same forms, with as many eigenvalues as X.
%
%   Options (name/value pairs, names in any case):
%     'alpha'       Jack parameter, positive and finite. Default 2 (real
%                   symmetric matrices); 1 for complex Hermitian matrices.
%     'tol'         relative accuracy asked for, between 0 and 1. Default 1e-12.
%     'max_degree'  largest partition size summed, a whole number from 1 to
%                   1000000. Default: chosen automatically, within a work
%                   budget of some 20 s on one core (see below).
%     'log'         true to return log(|f|) instead of f (info.sign holds
%                   the sign), so that values beyond the range of doubles,
%                   such as 0F0 at trace 800 or -800, can be used. Default false.
%
%   Outputs:
%     f     the value (or log|f|).
%     err   an estimate of |f - true value| (with 'log', of the error of
%           log|f|), like the error estimate of an adaptive quadrature: the
%           truncation tail estimate below (an extrapolation from the last
%           degrees summed), plus a rounding bound from the sums of |terms|
%           (the terms are formed in extended precision), plus the bounds
%           of any skipped subtrees, plus the condition of the prefactors
%           of the relations used. It can be below the true error when the
%           terms grow again after the degrees the estimate read (several
%           humps in the terms, parameters near negative integers); the
%           rounding of the eigenvalues of a matrix input is not included.
%           A terminating series whose value is exactly 0 returns 0 with
%           err = 0. A value below the normal range of double (|f| <
%           2.2e-308, subnormal or underflowed to 0) carries its absolute
%           rounding, err >= 2^-1074, and is not converged unless tol
%           allows that: ask for 'log' there.
%     info  a struct: degree (the last partition size summed), partitions
%           (terms summed, over every attempt), method (the route: "closed
%           form", "scalar", "equal", "tables", "holonomic" (1F1 at alpha =
%           2 by integrating its differential equations), and the relation used:
%           "kummer", "pfaff", "euler"), converged (true when err <=
%           tol*|f|), time (seconds), sign (the sign of f).
%
%   Truncation: after each degree k, with A_k the sum of |terms| of degree
%   k, the series stops once A_k < A_(k-1) < A_(k-2) < A_(k-3) and, with
%   r = max(A_k/A_(k-1), A_(k-1)/A_(k-2), rho) < 1, the tail estimate
%   2 A_k r / (1 - r) is at most tol*|f|/2. rho is the limit ratio of the
%   terms (0 when p <= q; max|x| max|y| when p = q + 1). A series that
%   terminates (a numerator parameter -k) is summed to its last term, tail
%   0. The method and the error model are described in doc/matrix_pfq.md in
%   the package's folder (see pkg list).
%
%   Relations, used when cancellation would eat the requested digits or
%   when the plain series does not converge (they hold for every alpha):
%     Kummer  1F1(a; c; X) = etr(X) 1F1(c - a; c; -X)
%     Pfaff   2F1(a, b; c; X) = det(I - X)^(-b) 2F1(c - a, b; c; -X (I - X)^(-1))
%     Euler   2F1(a, b; c; X) = det(I - X)^(c - a - b) 2F1(c - a, c - b; c; X)
%   and the closed forms 0F0(X) = etr(X), 1F0(a; X) = det(I - X)^(-a).
%   All eigenvalues equal, one variable, and y all ones take cheaper exact
%   routes. With all eigenvalues equal the walk skips each subtree of
%   partitions whose terms are bounded (every hook factor lies in (0, 1))
%   below tol*1e-10 of the sum of |terms|, and adds those bounds to err.
%   Large calls use the machine's cores (MATRIXHYPER_THREADS sets the
%   count); the result is the same bit for bit for any count. Ctrl-C
%   interrupts a call.
%
%   Without 'max_degree' each call has one work budget, some 20 s on one
%   core whatever the number of eigenvalues, shared by every route and
%   relation it tries; it counts work, not time, so the result does not
%   depend on the machine's load. A call that spends it ends with the
%   warning below ("work limit" in its text): f is the best value found and
%   err covers it, or f is NaN with err Inf when nothing could be summed.
%   'max_degree' lifts the budget and sums to that degree, however long.
%
%   When tol cannot be reached (max_degree, memory, the work budget,
%   cancellation that no relation removes, or a value outside the normal
%   range of double), f is
%   the best value found, err says how far off it may be, info.converged is
%   false, and the warning matrix_pfq:notConverged is issued (its text
%   points to 'log' when the value overflows or underflows). Never a
%   silently wrong value.
%
%   Errors (identifier matrix_pfq:invalidInput unless noted):
%     matrix_pfq takes a, b and x, then optionally y, then name/value options.
%     Too many output arguments.
%     First input must be a real vector = (a_1,...,a_p).
%     First input must hold finite values.
%     Second input must be a real vector = (b_1,...,b_q).
%     Second input must hold finite values.
%     Options must come in name/value pairs.
%     Option names must be text: 'alpha', 'tol', 'max_degree' or 'log'.
%     Unknown option 'NAME': the options are 'alpha', 'tol', 'max_degree' and 'log'.
%     Option 'alpha' must be a positive finite scalar.
%     Option 'tol' must be a scalar between 0 and 1.
%     Option 'max_degree' must be a whole number from 1 to 1000000.
%     Option 'log' must be true or false.
%     Fourth input must have as many eigenvalues as the third.
%     Third (Fourth) input must be a row or column of eigenvalues, or a square matrix.
%     Third (Fourth) input must be real unless it is a Hermitian matrix and alpha is 1.
%     Third (Fourth) input must be symmetric (Hermitian with alpha = 1) to within 1e-10 of its largest entry.
%     Third (Fourth) input must hold finite values.
%     Third (Fourth) input has eigenvalues beyond the double range.
%     and, from the evaluation: a denominator parameter that the series
%     reaches at a pole, or a series that diverges with no convergent
%     relation; matrix_pfq:tooLarge for tables that cannot fit in memory
%     (the message gives the partitions and bytes); matrix_pfq:outOfMemory
%     when the system refuses memory the evaluation needs;
%     matrix_pfq:internalError for a fault of the plug-in itself (please
%     report it).
%
%   Examples:
%     f = matrix_pfq([], [], [1 2 3])             % exp(6)
%     [f, err, info] = matrix_pfq(0.5, 1.5, -30)  % 1F1 at -30: Kummer's relation
%     % P(largest eigenvalue of W_5(10) <= 40), real Wishart, in two lines:
%     m = 5; n = 10; x = 40; lg = @(a) sum(gammaln(a - (0:m-1)/2));
%     P = exp(lg((m+1)/2) - lg((n+m+1)/2) + m*n/2*log(x/2)) * matrix_pfq(n/2, (n+m+1)/2, -x/2*ones(1,m))
%
%   See also sorn, brint, wishart_eig_cdf.

  error('matrix_pfq: the compiled matrix_pfq plug-in was not found; build it first.');
end
