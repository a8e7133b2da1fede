## Octave tests of wishart_eig_inv: every check with its message, shapes,
## values from the chi-square and gamma quantiles (m = 1) and the
## exponential law of the smallest eigenvalue, and the NaN-with-warning
## answer for a point out of reach.

## ---- Argument checks.
%!error <^wishart_eig_inv: wishart_eig_inv takes P, m and n, then name/value options\.$> wishart_eig_inv (0.5, 2)
%!error <^wishart_eig_inv: Too many output arguments\.$> [a, b, c] = wishart_eig_inv (0.5, 2, 3)
%!error <^wishart_eig_inv: First input must be a real double array of probabilities P\.$> wishart_eig_inv (0.5i, 2, 3)
%!error <^wishart_eig_inv: First input must be a real double array of probabilities P\.$> wishart_eig_inv (single (0.5), 2, 3)
%!error <^wishart_eig_inv: First input must hold probabilities P in \[0, 1\] \(or NaN\)\.$> wishart_eig_inv ([0.5 1.5], 2, 3)
%!error <^wishart_eig_inv: First input must hold probabilities P in \[0, 1\] \(or NaN\)\.$> wishart_eig_inv (-Inf, 2, 3)
%!error <^wishart_eig_inv: Second input must be a whole number m from 1 to 1000\.$> wishart_eig_inv (0.5, 2.5, 3)
%!error <^wishart_eig_inv: Third input must be a number n greater than m - 1, at most 100000\.$> wishart_eig_inv (0.5, 3, 2)
%!error <^wishart_eig_inv: Options must come in name/value pairs\.$> wishart_eig_inv (0.5, 2, 3, "tail")
%!error <^wishart_eig_inv: Unknown option 'side': the options are 'field', 'which', 'tail' and 'sigma'\.$> wishart_eig_inv (0.5, 2, 3, "side", "upper")
%!error <^wishart_eig_inv: Option 'tail' must be 'lower' or 'upper'\.$> wishart_eig_inv (0.5, 2, 3, "tail", "both")
%!error <^wishart_eig_inv: Option 'sigma' must be a positive scalar c \(Sigma = c I\), the m positive eigenvalues of Sigma, or Sigma itself\.$> wishart_eig_inv (0.5, 2, 3, "sigma", [1 -2])
%!error <^wishart_eig_inv: The smallest eigenvalue needs an integer n: it has no series route\.$> wishart_eig_inv (0.5, 2, 3.5, "which", "smallest", "field", "complex", "sigma", [1 2])
%!error id=wishart_eig_inv:invalidInput wishart_eig_inv (2, 2, 3)

## ---- Values.
%!test  # m = 1: the chi-square quantile 2 gammaincinv (P, n/2), Gamma(n, 1) for complex
%! P = [1e-10 0.05 0.5 0.95];
%! assert (wishart_eig_inv (P, 1, 4), 2 * gammaincinv (P, 2), -1e-10);
%! assert (wishart_eig_inv (P, 1, 3, "field", "complex", "tail", "upper"),
%!         gammaincinv (P, 3, "upper"), -1e-10);
%!test  # complex n = m: P(lambda_min > x) = exp(-m x) (Edelman 1988)
%! P = [1e-12 1e-3 0.5 0.999];
%! [x, err] = wishart_eig_inv (P, 4, 4, "field", "complex", "which", "smallest", "tail", "upper");
%! assert (x, -log (P) / 4, -1e-10);
%! assert (all (err <= 1e-10 * x));
%!test  # x has the shape of P; 0 and 1 are the ends of the support; NaN stays NaN
%! P = [0 0.5; 1 NaN];
%! [x, err] = wishart_eig_inv (P, 3, 6);
%! assert (size (x), [2 2]);
%! assert (size (err), [2 2]);
%! assert ([x(1, 1) x(2, 1)], [0 Inf]);
%! assert (isnan (x(2, 2)) && isnan (err(2, 2)));
%! assert (wishart_eig_cdf (x(1, 2), 3, 6), 0.5, 1e-12);
%!test  # the critical value at level alpha is where the upper tail is alpha
%! c = wishart_eig_inv (0.05, 5, 10, "tail", "upper", "sigma", [2 2 2 2 2]);
%! assert (wishart_eig_cdf (c, 5, 10, "tail", "upper", "sigma", [2 2 2 2 2]), 0.05, -1e-9);
%!test  # a p-value out of reach (1e-300, Sigma spread over 5e5: the tail's run beyond the work budget): NaN and one warning naming it
%! warning ("off", "wishart_eig_inv:notConverged", "local");
%! x = wishart_eig_inv ([0.05 1e-300], 2, 2.5, "tail", "upper", "sigma", [1 2e-6]);
%! assert (isnan (x(2)) && x(1) > 0);
%!warning <1 of 2 quantiles could not be resolved and are NaN \(P\(2\)\)> wishart_eig_inv ([0.05 1e-300], 2, 2.5, "tail", "upper", "sigma", [1 2e-6]);
