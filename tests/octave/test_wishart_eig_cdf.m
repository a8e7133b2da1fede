## Octave tests of wishart_eig_cdf: every check with its message, shapes,
## and values from the chi-square and gamma distributions (m = 1), a
## two-by-two determinant by hand, and identities between the tails.

## ---- Argument checks.
%!error <^wishart_eig_cdf: wishart_eig_cdf takes x, m and n, then name/value options\.$> wishart_eig_cdf (1, 2)
%!error <^wishart_eig_cdf: Too many output arguments\.$> [a, b, c] = wishart_eig_cdf (1, 2, 3)
%!error <^wishart_eig_cdf: First input must be a real double array of points x\.$> wishart_eig_cdf (1i, 2, 3)
%!error <^wishart_eig_cdf: First input must hold finite points x\.$> wishart_eig_cdf ([1 NaN], 2, 3)
%!error <^wishart_eig_cdf: First input must hold finite points x\.$> wishart_eig_cdf (Inf, 2, 3)
%!error <^wishart_eig_cdf: Second input must be a whole number m from 1 to 1000\.$> wishart_eig_cdf (1, 0, 3)
%!error <^wishart_eig_cdf: Second input must be a whole number m from 1 to 1000\.$> wishart_eig_cdf (1, 2.5, 3)
%!error <^wishart_eig_cdf: Third input must be a positive number n, at most 100000\.$> wishart_eig_cdf (1, 3, 0)
%!error <^wishart_eig_cdf: Third input must be a positive number n, at most 100000\.$> wishart_eig_cdf (1, 3, NaN)
%!error <^wishart_eig_cdf: A non-integer n must exceed m - 1: below it only a whole number of samples n gives a \(singular\) Wishart matrix\.$> wishart_eig_cdf (1, 4, 1.5)
%!error <^wishart_eig_cdf: With n samples fewer than m dimensions Sigma must be a multiple of I: the series route for a general Sigma assumes n . m - 1\.$> wishart_eig_cdf (1, 3, 2, "sigma", [1 2 3])
%!error <^wishart_eig_cdf: Option 'tol' must be a number in \(0, 1\)\.$> wishart_eig_cdf (1, 2, 3, "tol", 1)
%!error <^wishart_eig_cdf: Option 'tol' must be a number in \(0, 1\)\.$> wishart_eig_cdf (1, 2, 3, "tol", [1e-3 1e-4])
%!error <^wishart_eig_cdf: Option 'sigma' must be a positive scalar c \(Sigma = c I\), the m positive eigenvalues of Sigma, or Sigma itself\.$> wishart_eig_cdf (1, 2, 3, "sigma", -2)
%!error <^wishart_eig_cdf: Options must come in name/value pairs\.$> wishart_eig_cdf (1, 2, 3, "tail")
%!error <^wishart_eig_cdf: Option names must be text: 'field', 'which', 'tail', 'sigma', 'log' or 'tol'\.$> wishart_eig_cdf (1, 2, 3, 4, 5)
%!error <^wishart_eig_cdf: Unknown option 'side': the options are 'field', 'which', 'tail', 'sigma', 'log' and 'tol'\.$> wishart_eig_cdf (1, 2, 3, "side", "upper")
%!error <^wishart_eig_cdf: Option 'field' must be 'real' or 'complex'\.$> wishart_eig_cdf (1, 2, 3, "field", "quaternion")
%!error <^wishart_eig_cdf: Option 'which' must be 'largest' or 'smallest'\.$> wishart_eig_cdf (1, 2, 3, "which", 1)
%!error <^wishart_eig_cdf: Option 'tail' must be 'lower' or 'upper'\.$> wishart_eig_cdf (1, 2, 3, "tail", "both")
%!error <^wishart_eig_cdf: Option 'sigma' must be a positive scalar c \(Sigma = c I\), the m positive eigenvalues of Sigma, or Sigma itself\.$> wishart_eig_cdf (1, 2, 3, "sigma", [1 2 3])
%!error <^wishart_eig_cdf: Option 'sigma' must be a positive scalar c \(Sigma = c I\), the m positive eigenvalues of Sigma, or Sigma itself\.$> wishart_eig_cdf (1, 2, 3, "sigma", [1 -2])
%!error <^wishart_eig_cdf: The smallest eigenvalue needs an integer n: it has no series route\.$> wishart_eig_cdf (1, 2, 3.5, "which", "smallest", "field", "complex", "sigma", [1 2])
%!error id=wishart_eig_cdf:invalidInput wishart_eig_cdf (1, -1, 3)
%!error <^wishart_eig_cdf: Option 'log' must be true or false\.$> wishart_eig_cdf (1, 2, 3, "log", "yes")

## ---- Values.
%!test  # m = 1: chi-square with n degrees of freedom, and Gamma(n, 1) for complex
%! x = [0.5 3 10 40];
%! assert (wishart_eig_cdf (x, 1, 4), gammainc (x / 2, 2), 1e-13);
%! assert (wishart_eig_cdf (x, 1, 3, "field", "complex"), gammainc (x, 3), 1e-13);
%! assert (wishart_eig_cdf (x, 1, 3, "field", "complex", "tail", "upper"),
%!         gammainc (x, 3, "upper"), -1e-12);
%! ## a non-integer n, the smallest eigenvalue's upper tail alike
%! assert (wishart_eig_cdf (x, 1, 2.5, "which", "smallest", "tail", "upper"),
%!         gammainc (x / 2, 1.25, "upper"), -1e-12);
%!test  # 'log': m = 1 complex is Gamma(n, 1), log P = n log x - log n! + O(x) far down,
%! ## and the upper tail's log beyond the double range: log Q(n, x) ~ (n-1) log x - x - log (n-1)!
%! [L, err] = wishart_eig_cdf (1e-100, 1, 3, "field", "complex", "log", true);
%! assert (L, 3 * log (1e-100) - log (6), -1e-13);
%! assert (err < 1e-10);
%! x = 1e4;
%! L = wishart_eig_cdf (x, 1, 3, "field", "complex", "tail", "upper", "log", true);
%! assert (L, 2 * log (x) - x - log (2) + log1p (2 / x + 2 / x ^ 2), -1e-13);
%! L = wishart_eig_cdf (60, 1, 3, "field", "complex", "sigma", 2, "log", true);
%! assert (L, log (gammainc (30, 3)), 1e-13);
%!test  # P has the shape of x; x <= 0 gives 0, or 1 for the upper tail
%! x = [0 2; -1 5];
%! [P, err] = wishart_eig_cdf (x, 3, 6);
%! assert (size (P), [2 2]);
%! assert (size (err), [2 2]);
%! assert (P(:, 1), [0; 0]);
%! assert (wishart_eig_cdf (x(:, 1), 3, 6, "tail", "upper"), [1; 1]);
%!test  # the tails add up to 1; smallest below largest; monotone
%! x = linspace (0.5, 60, 25);
%! for field = {"real", "complex"}
%!   for which = {"largest", "smallest"}
%!     lower = wishart_eig_cdf (x, 4, 9, "field", field{1}, "which", which{1});
%!     upper = wishart_eig_cdf (x, 4, 9, "field", field{1}, "which", which{1}, "tail", "upper");
%!     assert (lower + upper, ones (size (x)), 1e-12);
%!     assert (all (diff (lower) >= 0));
%!   endfor
%!   assert (all (wishart_eig_cdf (x, 4, 9, "field", field{1}) <= ...
%!                wishart_eig_cdf (x, 4, 9, "field", field{1}, "which", "smallest") + 1e-15));
%! endfor
%!test  # complex m = n = 2: P(lambda_max <= x) = det [g(i+j+1, x)]_{i,j=0,1} / (0! 1! 0! 1!)
%! ## with g(s, x) the lower incomplete gamma function (the determinant of
%! ## incomplete gamma functions for the complex field, worked by hand).
%! x = [0.7 2 5];
%! g = @(s) gammainc (x, s) .* gamma (s);
%! assert (wishart_eig_cdf (x, 2, 2, "field", "complex"), g(1) .* g(3) - g(2).^2, 1e-13);
%!test  # Sigma = 2 I is x / 2 with Sigma = I; a close pair goes through the holonomic split
%! x = [3 8 20];
%! assert (wishart_eig_cdf (x, 3, 5, "sigma", [2 2 2]), wishart_eig_cdf (x / 2, 3, 5), 1e-14);
%! [P, err] = wishart_eig_cdf (x, 3, 5, "sigma", [1 1 1 + 1e-9]);
%! assert (P, wishart_eig_cdf (x, 3, 5), 1e-8);
%! assert (all (err < 1e-10));
%!test  # a Sigma beyond the series' reach: NaN with an infinite bound and the warning
%! warning ("off", "wishart_eig_cdf:notConverged", "local");
%! [P, err] = wishart_eig_cdf (5, 3, 5, "sigma", [1e-300 1 1e300]);
%! assert (isnan (P) && err == Inf);
%!warning id=wishart_eig_cdf:notConverged wishart_eig_cdf (5, 3, 5, "sigma", [1e-300 1 1e300]);
%!test  # the upper tail at x = 2.5 (complex, eigenvalues 0.1, 0.10001, n = 3.5: only
%! ## the series serves) is small: the series' absolute error misses tol relative
%! ## to it, so that point is NaN, with one output too, and the warning counts and
%! ## names it
%! warning ("off", "wishart_eig_cdf:notConverged", "local");
%! s = [0.1 0.10001];
%! c = {"field", "complex", "sigma", s};
%! [P, err] = wishart_eig_cdf ([0.1 2.5], 2, 3.5, c{:}, "tail", "upper");
%! assert (isfinite (P(1)) && isnan (P(2)));
%! assert (err(1) <= 1e-10 * P(1) && err(2) > 1e-10 * (1 - wishart_eig_cdf (2.5, 2, 3.5, c{:})));
%! assert (isnan (wishart_eig_cdf ([0.1 2.5], 2, 3.5, c{:}, "tail", "upper"))(2));
%! ## tol reaches the series (a real m = 11, beyond the holonomic route)
%! [P, err] = wishart_eig_cdf (0.8, 11, 12, "sigma", [ones(1, 10), 1 + 1e-13], "tol", 1e-3);
%! assert (err <= 1e-3 * P && err > 1e-8 * P);
%! warning ("on", "wishart_eig_cdf:notConverged", "local");
%! lastwarn ("");
%! wishart_eig_cdf ([0.1 2.5], 2, 3.5, c{:}, "tail", "upper");
%! assert (! isempty (strfind (lastwarn (), "1 of 2 points are out of reach and NaN (x(2))")));
%!test  # scalar sigma c is Sigma = c I: sigma * ones (1, m), and the white law at x / c
%! x = [0.5 3 8 20];
%! P = wishart_eig_cdf (x, 3, 5, "sigma", 2);
%! assert (P, wishart_eig_cdf (x, 3, 5, "sigma", [2 2 2]));
%! assert (P, wishart_eig_cdf (x / 2, 3, 5), 1e-14);
%!test  # n < m, white: the exchanged law; n = 1 is ||z||^2 ~ chi^2_m (Gamma(m, 1) complex)
%! x = [0.3 2 7 15];
%! assert (wishart_eig_cdf (x, 4, 2, "which", "smallest"), wishart_eig_cdf (x, 2, 4, "which", "smallest"));
%! assert (wishart_eig_cdf (x, 3, 1), gammainc (x / 2, 1.5), 1e-13);
%! assert (wishart_eig_cdf (x, 3, 1, "field", "complex", "sigma", 0.5), gammainc (2 * x, 3), 1e-13);
%!test  # the smallest eigenvalue where (n - m - 1)/2 is not whole: m = 1 is sigma chi^2_n
%! x = [0.3 2 7 15];
%! assert (wishart_eig_cdf (x, 1, 2.5, "which", "smallest", "sigma", 2, "tail", "upper"),
%!         gammainc (x / 4, 1.25, "upper"), 1e-12);
