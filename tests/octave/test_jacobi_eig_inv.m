## Octave tests of jacobi_eig_inv: the checks with their messages, shapes
## and ends, the Beta quantiles at min(p, m) = 1 (betaincinv), and the
## critical value round trip through jacobi_eig_cdf.

## ---- Argument checks.
%!error <^jacobi_eig_inv: jacobi_eig_inv takes P, p, m and n, then name/value options\.$> jacobi_eig_inv (0.5, 2, 3)
%!error <^jacobi_eig_inv: Too many output arguments\.$> [a, b, c] = jacobi_eig_inv (0.5, 2, 3, 5)
%!error <^jacobi_eig_inv: First input must hold probabilities P in \[0, 1\] \(or NaN\)\.$> jacobi_eig_inv ([0.5 1.5], 2, 3, 5)
%!error <^jacobi_eig_inv: Fourth input must be a number n from p to 1000\.$> jacobi_eig_inv (0.5, 3, 2, 2)
%!error <^jacobi_eig_inv: Unknown option 'log': the options are 'field', 'which' and 'tail'\.$> jacobi_eig_inv (0.5, 2, 3, 5, "log", true)
%!error <^jacobi_eig_inv: Option 'which' must be 'largest' or 'smallest'\.$> jacobi_eig_inv (0.5, 2, 3, 5, "which", "middle")
%!error id=jacobi_eig_inv:outOfReach jacobi_eig_inv (0.5, 2, 3.5, 5)

## ---- Values.
%!test  # p = 1: theta ~ Beta(m/2, n/2) real, Beta(m, n) complex
%! P = [1e-10 0.05 0.5 0.95];
%! assert (jacobi_eig_inv (P, 1, 3, 10), betaincinv (P, 1.5, 5), -1e-9);
%! assert (jacobi_eig_inv (P, 1, 2, 7, "field", "complex", "tail", "upper"),
%!         betaincinv (P, 2, 7, "upper"), -1e-9);
%!test  # x has the shape of P; 0 and 1 are the ends of the support; NaN stays NaN
%! [x, err] = jacobi_eig_inv ([0 0.5; 1 NaN], 3, 4, 9, "tail", "upper");
%! assert (size (x), [2 2]);
%! assert (size (err), [2 2]);
%! assert ([x(1, 1) x(2, 1)], [1 0]);
%! assert (isnan (x(2, 2)) && isnan (err(2, 2)));
%!test  # Roy's critical value at level alpha is where the upper tail is alpha
%! c = jacobi_eig_inv (0.01, 4, 2, 147, "tail", "upper");
%! assert (jacobi_eig_cdf (c, 4, 2, 147, "tail", "upper"), 0.01, -1e-9);
%! s = jacobi_eig_inv (0.05, 3, 5, 12, "which", "smallest", "field", "complex");
%! assert (jacobi_eig_cdf (s, 3, 5, 12, "which", "smallest", "field", "complex"), 0.05, -1e-9);
