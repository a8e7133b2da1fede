## Octave tests of matrix_pfq: every option and argument check with its
## message, matrix arguments against their eigenvalues, the outputs, and
## the warning when the accuracy is out of reach.

## ---- Argument checks.
%!error <^matrix_pfq: matrix_pfq takes a, b and x, then optionally y, then name/value options\.$> matrix_pfq (1, 2)
%!error <^matrix_pfq: matrix_pfq takes a, b and x, then optionally y, then name/value options\.$> matrix_pfq (1, 2, 3, 4, 5)
%!error <^matrix_pfq: Too many output arguments\.$> [a, b, c, d] = matrix_pfq (1, 2, 3)
%!error <^matrix_pfq: First input must be a real vector = \(a_1,...,a_p\)\.$> matrix_pfq (ones (2), 2, 3)
%!error <^matrix_pfq: First input must be a real vector = \(a_1,...,a_p\)\.$> matrix_pfq (1i, 2, 3)
%!error <^matrix_pfq: First input must hold finite values\.$> matrix_pfq (NaN, 2, 3)
%!error <^matrix_pfq: Second input must be a real vector = \(b_1,...,b_q\)\.$> matrix_pfq (1, single (2), 3)
%!error <^matrix_pfq: Second input must hold finite values\.$> matrix_pfq (1, Inf, 3)
%!error <^matrix_pfq: Options must come in name/value pairs\.$> matrix_pfq (1, 2, 3, "tol")
%!error <^matrix_pfq: Option names must be text: 'alpha', 'tol', 'max_degree' or 'log'\.$> matrix_pfq (1, 2, 3, "tol", 1e-8, 5, 6)
%!error <^matrix_pfq: Unknown option 'degree': the options are 'alpha', 'tol', 'max_degree' and 'log'\.$> matrix_pfq (1, 2, 3, "degree", 5)
%!error <^matrix_pfq: Option 'alpha' must be a positive finite scalar\.$> matrix_pfq (1, 2, 3, "alpha", 0)
%!error <^matrix_pfq: Option 'alpha' must be a positive finite scalar\.$> matrix_pfq (1, 2, 3, "Alpha", [1 2])
%!error <^matrix_pfq: Option 'tol' must be a scalar between 0 and 1\.$> matrix_pfq (1, 2, 3, "tol", 1)
%!error <^matrix_pfq: Option 'max_degree' must be a whole number from 1 to 1000000\.$> matrix_pfq (1, 2, 3, "max_degree", 2.5)
%!error <^matrix_pfq: Option 'log' must be true or false\.$> matrix_pfq (1, 2, 3, "log", 2)
%!error <^matrix_pfq: Fourth input must have as many eigenvalues as the third\.$> matrix_pfq (1, 2, [1 2], [1 2 3])
%!error <^matrix_pfq: Third input must be a row or column of eigenvalues, or a square matrix\.$> matrix_pfq (1, 2, ones (2, 3))
%!error <^matrix_pfq: Third input must be real unless it is a Hermitian matrix and alpha is 1\.$> matrix_pfq (1, 2, [1 1i; -1i 1])
%!error <^matrix_pfq: Third input must be symmetric \(Hermitian with alpha = 1\) to within 1e-10 of its largest entry\.$> matrix_pfq (1, 2, [1 2; 3 4])
%!error <^matrix_pfq: Third input must hold finite values\.$> matrix_pfq (1, 2, [1 NaN])
%!error <^matrix_pfq: Fourth input must hold finite values\.$> matrix_pfq (1, 2, [1 2], [Inf 1])
%!error id=matrix_pfq:invalidInput matrix_pfq (1, 2, 3, "tol", -1)

## ---- Values. Truth from closed forms: 0F0(X) = etr(X), 1F0(a; X) =
## det(I - X)^(-a), the scalar 1F1 by mpmath (hyp1f1(0.5, 1.5, -30) =
## 0.16180215937961842..., mpmath 1.3.0 at 50 digits).
%!test  # a symmetric matrix is its eigenvalues: [2 1; 1 2] has 1 and 3
%! [f, err, info] = matrix_pfq ([], [], [2 1; 1 2]);
%! assert (f, exp (4), 4 * eps (exp (4)));
%! assert (err <= 1e-12 * f && info.converged);
%!test  # a Hermitian matrix with alpha = 1: eigenvalues 1 and 3 again
%! f = matrix_pfq (-2, [], [2 1i; -1i 2] / 4, "alpha", 1);
%! assert (f, (1 - 1/4)^2 * (1 - 3/4)^2, 1e-14);
%!test  # the error bound holds, and Kummer's relation is named
%! [f, err, info] = matrix_pfq (0.5, 1.5, -30);
%! assert (abs (f - 0.16180215937961842) <= err + eps (f));
%! assert (err <= 1e-12 * f);
%! assert (! isempty (strfind (info.method, "kummer")));
%! assert (isfield (info, {"degree", "partitions", "method", "converged", "time", "sign"}));
%!test  # log: 0F0 at trace 2400 is beyond the range of doubles
%! [f, err, info] = matrix_pfq ([], [], [800 800 800], "log", true);
%! assert (f, 2400, 1e-12 * 2400);
%! assert (info.sign, 1);
%!test  # an empty x is the 0-by-0 argument
%! assert (matrix_pfq (1, 2, []), 1);
%! assert (matrix_pfq (1, 2, zeros (1, 0)), 1);

## ---- Out of reach: the value comes back with the warning and an err that says so.
%!warning id=matrix_pfq:notConverged matrix_pfq ([], [], [-40 3], [1 -2], "max_degree", 20);
%!test
%! warning ("off", "matrix_pfq:notConverged", "local");
%! [f, err, info] = matrix_pfq ([], [], [-40 3], [1 -2], "max_degree", 20);
%! assert (! info.converged);
%! assert (err > 1e-12 * abs (f));
%!test  # terms beyond the double range: no value, an infinite bound, the warning
%! warning ("off", "matrix_pfq:notConverged", "local");
%! [f, err, info] = matrix_pfq (1, 2, [1e300 -1e300]);
%! assert (isnan (f) && err == Inf && ! info.converged);
