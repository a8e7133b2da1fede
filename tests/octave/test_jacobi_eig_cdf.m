## Octave tests of jacobi_eig_cdf: every check with its message, shapes, the
## beta law of a single nonzero root, a closed form worked by hand, the log
## route beyond the double range, and identities between the tails.

## ---- Argument checks.
%!error <^jacobi_eig_cdf: jacobi_eig_cdf takes x, p, m and n, then name/value options\.$> jacobi_eig_cdf (0.5, 2, 3)
%!error <^jacobi_eig_cdf: Too many output arguments\.$> [a, b, c] = jacobi_eig_cdf (0.5, 2, 3, 4)
%!error <^jacobi_eig_cdf: First input must be a real double array of points x\.$> jacobi_eig_cdf (0.5i, 2, 3, 4)
%!error <^jacobi_eig_cdf: First input must hold finite points x\.$> jacobi_eig_cdf ([0.5 NaN], 2, 3, 4)
%!error <^jacobi_eig_cdf: First input must hold points x in \[0, 1\]\.$> jacobi_eig_cdf ([0.5 1.5], 2, 3, 4)
%!error <^jacobi_eig_cdf: First input must hold points x in \[0, 1\]\.$> jacobi_eig_cdf (-0.1, 2, 3, 4)
%!error <^jacobi_eig_cdf: Second input must be a whole number p from 1 to 1000\.$> jacobi_eig_cdf (0.5, 0, 3, 4)
%!error <^jacobi_eig_cdf: Second input must be a whole number p from 1 to 1000\.$> jacobi_eig_cdf (0.5, 2.5, 3, 4)
%!error <^jacobi_eig_cdf: Third input must be a number m from 1 to 1000\.$> jacobi_eig_cdf (0.5, 2, 0, 4)
%!error <^jacobi_eig_cdf: Third input must be a number m from 1 to 1000\.$> jacobi_eig_cdf (0.5, 2, Inf, 4)
%!error <^jacobi_eig_cdf: Fourth input must be a number n from p to 1000\.$> jacobi_eig_cdf (0.5, 3, 3, 2)
%!error <^jacobi_eig_cdf: Fourth input must be a number n from p to 1000\.$> jacobi_eig_cdf (0.5, 3, 3, NaN)
%!error <^jacobi_eig_cdf: Options must come in name/value pairs\.$> jacobi_eig_cdf (0.5, 2, 3, 4, "tail")
%!error <^jacobi_eig_cdf: Option names must be text: 'field', 'which', 'tail' or 'log'\.$> jacobi_eig_cdf (0.5, 2, 3, 4, 4, 5)
%!error <^jacobi_eig_cdf: Unknown option 'side': the options are 'field', 'which', 'tail' and 'log'\.$> jacobi_eig_cdf (0.5, 2, 3, 4, "side", "upper")
%!error <^jacobi_eig_cdf: Option 'field' must be 'real' or 'complex'\.$> jacobi_eig_cdf (0.5, 2, 3, 4, "field", "quaternion")
%!error <^jacobi_eig_cdf: Option 'which' must be 'largest' or 'smallest'\.$> jacobi_eig_cdf (0.5, 2, 3, 4, "which", 1)
%!error <^jacobi_eig_cdf: Option 'tail' must be 'lower' or 'upper'\.$> jacobi_eig_cdf (0.5, 2, 3, 4, "tail", "both")
%!error <^jacobi_eig_cdf: Option 'log' must be true or false\.$> jacobi_eig_cdf (0.5, 2, 3, 4, "log", "yes")
%!error id=jacobi_eig_cdf:outOfReach jacobi_eig_cdf (0.5, 2, 3.5, 4)
%!error id=jacobi_eig_cdf:outOfReach jacobi_eig_cdf (0.5, 60, 60, 70)
%!error id=jacobi_eig_cdf:invalidInput jacobi_eig_cdf (0.5, -1, 3, 4)

## ---- Values.
%!test  # p = 1: theta ~ Beta(m/2, n/2) (real), Beta(m, n) (complex)
%! x = [0.01 0.2 0.5 0.9];
%! assert (jacobi_eig_cdf (x, 1, 4, 7), betainc (x, 2, 3.5), -1e-12);
%! assert (jacobi_eig_cdf (x, 1, 4, 7, "field", "complex"), betainc (x, 4, 7), -1e-12);
%! assert (jacobi_eig_cdf (x, 1, 4, 7, "tail", "upper"), betainc (x, 2, 3.5, "upper"), -1e-12);
%!test  # complex p = m = n = 2: density prop. to (t1 - t2)^2 on [0, 1]^2, so
%! ## P(theta_max <= x) = x^4 and P(theta_min > x) = (1 - x)^4 (worked by hand)
%! x = [0.1 0.4 0.75 0.99];
%! assert (jacobi_eig_cdf (x, 2, 2, 2, "field", "complex"), x .^ 4, -1e-13);
%! assert (jacobi_eig_cdf (x, 2, 2, 2, "field", "complex", "which", "smallest", "tail", "upper"),
%!         (1 - x) .^ 4, -1e-12);
%!test  # the log route beyond the double range: log P = 4 log x
%! [L, err] = jacobi_eig_cdf (1e-100, 2, 2, 2, "field", "complex", "log", true);
%! assert (L, 4 * log (1e-100), -1e-13);
%! assert (err > 0 && err < 1e-10);
%! assert (jacobi_eig_cdf (1e-100, 2, 2, 2, "field", "complex"), 0);
%!test  # P has the shape of x; the ends of [0, 1]; err only with two outputs
%! x = [0 0.3; 1 0.6];
%! [P, err] = jacobi_eig_cdf (x, 3, 5, 9);
%! assert (size (P), [2 2]);
%! assert (size (err), [2 2]);
%! assert (P(:, 1), [0; 1]);
%! assert (jacobi_eig_cdf (x(:, 1), 3, 5, 9, "tail", "upper"), [1; 0]);
%! assert (all (err(:) < 1e-13));
%! assert (jacobi_eig_cdf (x, 3, 5, 9), P);
%!test  # the tails add up to 1; smallest below largest; monotone; m < p
%! x = linspace (0.02, 0.98, 25);
%! for field = {"real", "complex"}
%!   for which = {"largest", "smallest"}
%!     lower = jacobi_eig_cdf (x, 6, 4, 12, "field", field{1}, "which", which{1});
%!     upper = jacobi_eig_cdf (x, 6, 4, 12, "field", field{1}, "which", which{1}, "tail", "upper");
%!     assert (lower + upper, ones (size (x)), 1e-12);
%!     assert (all (diff (lower) >= 0));
%!   endfor
%!   assert (all (jacobi_eig_cdf (x, 6, 4, 12, "field", field{1}) <= ...
%!                jacobi_eig_cdf (x, 6, 4, 12, "field", field{1}, "which", "smallest") + 1e-15));
%! endfor
