## Octave tests of brint: every argument check with its message, the shapes
## of the outputs, and values from closed forms of the series.

## Relative error in units of eps, scaled by max(|expected|, 1); matching
## Inf and NaN count as agreement.
%!function assert_ulps (got, expected, ulps)
%!  assert (size (got), size (expected));
%!  err = abs (got - expected) ./ max (abs (expected), 1) / eps;
%!  same = (got == expected) | (isnan (got) & isnan (expected));
%!  bad = find (! (same | err <= ulps));
%!  if (! isempty (bad))
%!    error ("element %d: expected %.17g, got %.17g (%.3g eps)",
%!           bad(1), expected(bad(1)), got(bad(1)), err(bad(1)));
%!  endif
%!endfunction

## Output 2 alone, for the bounds and parameters given.
%!function d = brint_coefficients (varargin)
%!  [~, d] = brint (varargin{:}, 0);
%!endfunction

%!shared ok
%! ok = {[4 4], 2, [], [], 2, [0.5 Inf -1]};

## ---- Argument checks, in the order brint makes them. Each call breaks one
## rule, or two where the order decides which message is reported.
%!error <^brint: brint takes six input arguments\.$> brint ()
%!error <^brint: brint takes six input arguments\.$> brint (ok{1:5})
%!error <^brint: brint takes six input arguments\.$> brint (ok{:}, 1)
%!error <^brint: brint takes six input arguments\.$> [p, q, r] = brint (ok{1:5})
%!error <^brint: Too many output arguments\.$> [p, q, r] = brint (ok{:})
%!error <^brint: All inputs must be double arrays\.$> brint (int32 (4), ok{2:6})
%!error <^brint: All inputs must be double arrays\.$> brint (ok{1}, single (2), ok{3:6})
%!error <^brint: All inputs must be double arrays\.$> brint (ok{1:2}, true, ok{4:6})
%!error <^brint: All inputs must be double arrays\.$> brint (ok{1:3}, {1}, ok{5:6})
%!error <^brint: All inputs must be double arrays\.$> brint (ok{1:4}, uint8 (2), ok{6})
%!error <^brint: All inputs must be double arrays\.$> brint (ok{1:5}, "x")
%!error <^brint: All inputs must be double arrays\.$> brint ("ab", 2, ones (2), ok{4:6})
%!error <^brint: First input must be an array of size 1 or 2 = \[max size of partition, max size of the largest part\]\.$> brint ([4; 4], ok{2:6})
%!error <^brint: First input must be an array of size 1 or 2 = \[max size of partition, max size of the largest part\]\.$> brint (zeros (1, 0), ok{2:6})
%!error <^brint: First input must be an array of size 1 or 2 = \[max size of partition, max size of the largest part\]\.$> brint ([4 4 4], ok{2:6})
%!error <^brint: First input must be an array of size 1 or 2 = \[max size of partition, max size of the largest part\]\.$> brint (ones (2), ok{2:6})
%!error <^brint: Second input must be a scalar = alpha\.$> brint (ok{1}, [2 2], ok{3:6})
%!error <^brint: Second input must be a scalar = alpha\.$> brint (ok{1}, [], ok{3:6})
%!error <^brint: Third input must be a vector = \(a_1,\.\.\.,a_p\)\.$> brint (ok{1:2}, ones (2), ok{4:6})
%!error <^brint: Forth input must be a vector = \(b_1,\.\.\.,b_q\)\.$> brint (ok{1:3}, ones (2), ok{5:6})
%!error <^brint: Fifth input must be a scalar = number of variables\.$> brint (ok{1:4}, [2 2], ok{6})
%!error <^brint: Fifth input must be a scalar = number of variables\.$> brint (ok{1:4}, zeros (1, 0), ok{6})
%!error <^brint: Sixth input must be a vector = x\.$> brint (ok{1:5}, [])
%!error <^brint: Sixth input must be a vector = x\.$> brint (ok{1:5}, ones (2))
## Complex (even with zero imaginary parts) and sparse inputs.
%!error <^brint: All inputs must be real full double arrays\.$> brint (ok{1}, complex (2, 0), ok{3:6})
%!error <^brint: All inputs must be real full double arrays\.$> brint (ok{1:5}, [1 2i])
%!error <^brint: All inputs must be real full double arrays\.$> brint (ok{1:2}, sparse (1), ok{4:6})
%!error <^brint: All inputs must be real full double arrays\.$> brint (ok{1:5}, sparse ([1 0 2]))
%!error <^brint: Third input must be a vector> brint (ok{1:2}, complex (ones (2)), ok{4:6})
%!error <^brint: All inputs must be real full double arrays\.$> brint (NaN, ok{2:4}, NaN, [1 2i])
## Bounds and the number of variables.
%!error <^brint: First input must hold a max size of partition from 0 to 2147483646\.$> brint (NaN, ok{2:6})
%!error <^brint: First input must hold a max size of partition from 0 to 2147483646\.$> brint (Inf, ok{2:6})
%!error <^brint: First input must hold a max size of partition from 0 to 2147483646\.$> brint ([-Inf 2], ok{2:6})
%!error <^brint: First input must hold a max size of partition from 0 to 2147483646\.$> brint (-1, ok{2:6})
%!error <^brint: First input must hold a max size of partition from 0 to 2147483646\.$> brint (2147483647, ok{2:6})
%!error <^brint: First input must hold a max size of partition from 0 to 2147483646\.$> brint ([NaN NaN], ok{2:4}, NaN, ok{6})
%!error <^brint: First input must not hold NaN as max size of the largest part\.$> brint ([4 NaN], ok{2:6})
%!error <^brint: First input must not hold NaN as max size of the largest part\.$> brint ([4 NaN], ok{2:4}, NaN, ok{6})
%!error <^brint: Second input must be a positive finite alpha\.$> brint (ok{1}, 0, ok{3:6})
%!error <^brint: Second input must be a positive finite alpha\.$> brint (ok{1}, -2, ok{3:6})
%!error <^brint: Second input must be a positive finite alpha\.$> brint (ok{1}, NaN, ok{3:4}, NaN, ok{6})
%!error <^brint: Second input must be a positive finite alpha\.$> brint (ok{1}, Inf, ok{3:6})
%!error <^brint: Fifth input must be a number of variables from 0 to 2147483647\.$> brint (ok{1:4}, NaN, ok{6})
%!error <^brint: Fifth input must be a number of variables from 0 to 2147483647\.$> brint (ok{1:4}, Inf, ok{6})
%!error <^brint: Fifth input must be a number of variables from 0 to 2147483647\.$> brint (ok{1:4}, -1, ok{6})
%!error <^brint: Fifth input must be a number of variables from 0 to 2147483647\.$> brint (ok{1:4}, 2147483648, ok{6})

## ---- Outputs and their shapes.
%!test  # a statement call sets ans to output 1
%! brint (ok{:});
%! assert (size (ans), [1 3]);
%! assert (ans(1), 65/24, 4*eps);  # exp(2 x) cut at degree 4, at x = 0.5: 1 + 1 + 1/2 + 1/6 + 1/24
%!test  # one output, or two: the second holds the coefficients
%! v1 = brint (ok{:});
%! [v, d] = brint (ok{:});
%! assert (isequaln (v, v1));
%! assert (size (d), [1 5]);
%!test  # output 1 has the shape of x
%! [v, d] = brint (ok{1:5}, [0.5; -1]);
%! assert (size (v), [2 1]);
%! assert (v, brint (ok{1:5}, [0.5 -1]).');
%! [v, d0] = brint (ok{1:5}, zeros (1, 0));
%! assert (size (v), [1 0]);
%! assert (d0, d);
%! assert (size (brint (ok{1:5}, zeros (0, 1))), [0 1]);
%!test  # empty parameter lists of any shape
%! v = brint (4, 2, [], [], 2, 0.5);
%! assert (brint (4, 2, zeros (1, 0), zeros (0, 1), 2, 0.5), v);
%! assert (brint (4, 2, zeros (0, 1), zeros (1, 0), 2, 0.5), v);
%!test  # the bounds and n are truncated toward zero
%! [~, d] = brint (2.9, 1, [], [], 2.7, 1);
%! assert (d, brint_coefficients (2, 1, [], [], 2));
%! [v, d] = brint (-0.5, 1, [], [], 2, [3 4]);
%! assert (v, [1 1]);
%! assert (d, 1);
%! [~, d] = brint ([10 3], 1, [], [], 2, 1);
%! assert (size (d), [1 11]);
%!test  # n = 0 is the 0-by-0 argument
%! [v, d] = brint (3, 2, 1.5, [], -0.5, [2 -7]);
%! assert (v, [1 1]);
%! assert (d, [1 0 0 0]);
%!test  # max_part <= 0 admits only the empty partition; beyond max_size no bound
%! [v, d] = brint ([4.7 -1], 2, [], [], 2, [0.5 3]);
%! assert (v, [1 1]);
%! assert (d, [1 0 0 0 0]);
%! [~, d] = brint ([4 -Inf], 2, [], [], 2, 1);
%! assert (d, [1 0 0 0 0]);
%! [~, d] = brint ([4 -3e9], 2, [], [], 2, 1);
%! assert (d, [1 0 0 0 0]);
%! d4 = brint_coefficients ([4 4], 2, [], [], 2);
%! assert (brint_coefficients ([4 Inf], 2, [], [], 2), d4);
%! assert (brint_coefficients ([4 3e9], 2, [], [], 2), d4);
%! assert (brint_coefficients (4, 2, [], [], 2), d4);

## ---- Values.
%!test  # exp(2 x) to degree 4: the example of the help text
%! [v, d] = brint ([4 4], 2, [], [], 2, [0.5 Inf -1]);
%! assert_ulps (d, [1 2 2 4/3 2/3], 1);
%! assert_ulps (v, [65/24 NaN 1/3], 2);
%! ## Horner's rule from 0 in the fixed order, bit for bit.
%! for i = 1:3
%!   y = 0;
%!   for k = 5:-1:1
%!     y = y * ok{6}(i) + d(k);
%!   endfor
%!   assert (isequaln (v(i), y));
%! endfor
%!test  # (1 - x)^(-a n) for p = 1, q = 0, every alpha: terminating at a = -2
%! for alpha = [0.5 1 2 3.5]
%!   assert_ulps (brint_coefficients (6, alpha, -2, [], 2), [1 -4 6 -4 1 0 0], 8);
%! endfor
%! assert_ulps (brint_coefficients (5, 1, 0.75, [], 3),
%!              cumprod ([1, (2.25 + (0:4)) ./ (1:5)]), 8);
%!test  # one variable: ordinary rising factorials, cut at max_part
%! k = 0:3;
%! expected = [gamma(0.5 + k) / gamma(0.5) .* gamma(1.5 + k) / gamma(1.5) ...
%!             ./ (gamma(2.5 + k) / gamma(2.5)) ./ factorial(k), 0 0];
%! assert_ulps (brint_coefficients ([5 3], 3, [0.5 1.5], 2.5, 1), expected, 16);
%!test  # max_part = 1: the one-column partitions only
%! assert_ulps (brint_coefficients ([5 1], 2, [], [], 3), [1 3 2 1/3 0 0], 4);
%!test  # a zero parameter ends the series after the constant term
%! assert (brint_coefficients (3, 2, [1.5 0], 2, 4), [1 0 0 0]);
%!test  # many variables: n^k / k! with work arrays of max_size + 2 entries
%! n = 1e6;
%! assert_ulps (brint_coefficients (3, 1, [], [], n), [1 n n^2/2 n^3/6], 8);
%! n = 2147483647;
%! assert_ulps (brint_coefficients (2, 0.5, [], [], n + 0.9), [1 n n^2/2], 8);
%!test  # help text beside the plug-in
%! assert (! isempty (strfind (get_help_text ("brint"),
%!                             "[v, degree_sums] = brint(bounds, alpha, a, b, n, x)")));
