## Octave tests of sorn: every argument check with its message, the shapes
## of the outputs, and values from closed forms and identities of the series.

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

## Output 2 alone.
%!function d = degree_sums (varargin)
%!  [~, d] = sorn (varargin{:});
%!endfunction

%!shared ok, ok6
%! ok = {2, 1, 0.5, 1.5, [0.3 0.2]};
%! ok6 = {2, 2, 0.5, 1.5, [0.3 0.2], [1 0.5]};

## ---- Argument checks, in the order sorn makes them. Each call breaks one
## rule, or two where the order decides which message is reported.
%!error <^sorn: Must have five or six input arguments\.$> sorn ()
%!error <^sorn: Must have five or six input arguments\.$> sorn (ok{1:4})
%!error <^sorn: Must have five or six input arguments\.$> sorn (ok6{:}, 1)
%!error <^sorn: Must have five or six input arguments\.$> [p, q, r] = sorn (ok{1:4})
%!error <^sorn: Too many output arguments\.$> [p, q, r] = sorn (ok{:})
%!error <^sorn: All inputs must be double arrays\.$> sorn (int32 (2), ok{2:5})
%!error <^sorn: All inputs must be double arrays\.$> sorn (ok{1}, single (1), ok{3:5})
%!error <^sorn: All inputs must be double arrays\.$> sorn (ok{1:2}, true, ok{4:5})
%!error <^sorn: All inputs must be double arrays\.$> sorn (ok{1:3}, {1.5}, ok{5})
%!error <^sorn: All inputs must be double arrays\.$> sorn (ok{1:4}, "x")
%!error <^sorn: All inputs must be double arrays\.$> sorn (ok6{1:5}, "y")
%!error <^sorn: All inputs must be double arrays\.$> sorn ("ab", 1, ones (2), ok{4:5})
%!error <^sorn: First input must be a scalar = max size of partition\.$> sorn ([2; 2], ok{2:5})
%!error <^sorn: First input must be a scalar = max size of partition\.$> sorn (zeros (1, 0), ok{2:5})
%!error <^sorn: First input must be a scalar = max size of partition\.$> sorn ([2 2 2], ok{2:5})
%!error <^sorn: First input must be a scalar = max size of partition\.$> sorn (ones (2), ok{2:5})
%!error <^sorn: Second input must be a scalar = alpha\.$> sorn (ok{1}, [1 1], ok{3:5})
%!error <^sorn: Second input must be a scalar = alpha\.$> sorn (ok{1}, [], ok{3:5})
%!error <^sorn: Third input must be a vector = \(a_1,\.\.\.,a_p\)\.$> sorn (ok{1:2}, ones (2), ok{4:5})
%!error <^sorn: Forth input must be a vector = \(b_1,\.\.\.,b_q\)\.$> sorn (ok{1:3}, ones (2), ok{5})
%!error <^sorn: Fifth input must be a vector = x\.$> sorn (ok{1:4}, [])
%!error <^sorn: Fifth input must be a vector = x\.$> sorn (ok{1:4}, ones (2))
%!error <^sorn: Sixth input must be a vector = y\.$> sorn (ok6{1:5}, ones (2))
%!error <^sorn: Sixth input must be a vector = y\.$> sorn (ok6{1:5}, [])
## Complex (even with zero imaginary parts) and sparse inputs.
%!error <^sorn: All inputs must be real full double arrays\.$> sorn (ok{1}, complex (1, 0), ok{3:5})
%!error <^sorn: All inputs must be real full double arrays\.$> sorn (ok{1:4}, [0.3 0.2i])
%!error <^sorn: All inputs must be real full double arrays\.$> sorn (ok6{1:5}, [1 0.5i])
%!error <^sorn: All inputs must be real full double arrays\.$> sorn (ok{1:3}, sparse (1.5), ok{5})
%!error <^sorn: All inputs must be real full double arrays\.$> sorn (ok{1:4}, sparse ([0.3 0]))
%!error <^sorn: Third input must be a vector> sorn (ok{1:2}, complex (ones (2)), ok{4:5})
%!error <^sorn: All inputs must be real full double arrays\.$> sorn (NaN, 0, ok{3:4}, [1 2i])
## Bounds, alpha, the length of y, and the size of the tables.
%!error <^sorn: First input must hold a max size of partition from 0 to 2147483646\.$> sorn (NaN, ok{2:5})
%!error <^sorn: First input must hold a max size of partition from 0 to 2147483646\.$> sorn (Inf, ok{2:5})
%!error <^sorn: First input must hold a max size of partition from 0 to 2147483646\.$> sorn ([-Inf 2], ok{2:5})
%!error <^sorn: First input must hold a max size of partition from 0 to 2147483646\.$> sorn (-1, ok{2:5})
%!error <^sorn: First input must hold a max size of partition from 0 to 2147483646\.$> sorn (2147483647, ok{2:5})
%!error <^sorn: First input must hold a max size of partition from 0 to 2147483646\.$> sorn ([NaN NaN], 0, ok{3:5})
%!error <^sorn: First input must not hold NaN as max size of the largest part\.$> sorn ([2 NaN], ok{2:5})
%!error <^sorn: First input must not hold NaN as max size of the largest part\.$> sorn ([2 NaN], 0, ok{3:5})
%!error <^sorn: Second input must be a positive finite alpha\.$> sorn (ok{1}, 0, ok{3:5})
%!error <^sorn: Second input must be a positive finite alpha\.$> sorn (ok{1}, -1, ok{3:5})
%!error <^sorn: Second input must be a positive finite alpha\.$> sorn (ok{1}, NaN, ok{3:5})
%!error <^sorn: Second input must be a positive finite alpha\.$> sorn (ok{1}, Inf, ok{3:5})
%!error <^sorn: Second input must be a positive finite alpha\.$> sorn (ok6{1}, 0, ok6{3:5}, 1)
%!error <^sorn: Sixth input must have at least as many elements as the fifth input\.$> sorn (ok6{1:5}, 1)
%!error <^sorn: Sixth input must have at least as many elements as the fifth input\.$> sorn (ok6{1:5}, zeros (1, 0))
%!error <^sorn: First and fifth inputs need tables of \d+ partitions, more than 2147483646\.$> sorn (2147483646, 1, [], [], [1 2 3])
%!error <^sorn: First and fifth inputs need tables of \d+ partitions, more than 2147483646\.$> sorn (100000, 1, [], [], [1 2 3], [1 2 3])

## ---- Outputs and their shapes.
%!test  # a statement call sets ans to output 1
%! sorn (ok{:});
%! assert (ans, sorn (ok{:}));
%! assert (size (ans), [1 1]);
%!test  # one output, or two: the second holds the sums per degree
%! s1 = sorn (ok{:});
%! [s, d] = sorn (ok{:});
%! assert (s, s1);
%! assert (size (d), [1 3]);
%! [s, d] = sorn (ok6{:});
%! assert (s, sorn (ok6{:}));
%! assert (size (d), [1 3]);
%!test  # row or column x and y; y longer than x
%! assert (sorn (ok{1:4}, ok{5}.'), sorn (ok{:}));
%! assert (sorn (ok6{1:4}, ok6{5}.', ok6{6}.'), sorn (ok6{:}));
%! assert (sorn (ok6{1:5}, [ok6{6} 99]), sorn (ok6{:}));
%!test  # empty parameter lists of any shape
%! s = sorn (3, 2, [], [], [0.3 0.2]);
%! assert (sorn (3, 2, zeros (1, 0), zeros (0, 1), [0.3 0.2]), s);
%! assert (sorn (3, 2, zeros (0, 1), zeros (1, 0), [0.3 0.2]), s);
%!test  # bounds truncated toward zero; max_size 0 leaves the constant term
%! assert (size (degree_sums (2.9, ok{2:5})), [1 3]);
%! [s, d] = sorn (0, ok{2:5});
%! assert ([s d], [1 1]);
%! [s, d] = sorn (-0.5, ok6{2:6});
%! assert ([s d], [1 1]);
%!test  # an x with no elements is the 0-by-0 argument
%! [s, d] = sorn (3, 2, 0.5, [], zeros (1, 0));
%! assert (s, 1);
%! assert (d, [1 0 0 0]);
%! [s, d] = sorn (3, 2, 0.5, [], zeros (0, 1), zeros (1, 0));
%! assert (s, 1);
%! assert (d, [1 0 0 0]);
%!test  # max_part: <= 0 admits only the empty partition, beyond max_size no bound
%! assert (sorn ([4 0], 1, 0.5, [], [0.3 0.2]), 1);
%! assert (sorn ([4 -Inf], 1, 0.5, [], [0.3 0.2]), 1);
%! assert (sorn ([4 -3e9], 1, 0.5, [], [0.3 0.2], [1 2]), 1);
%! d4 = degree_sums (4, 1, 0.5, [], [0.3 0.2]);
%! assert (degree_sums ([4 Inf], 1, 0.5, [], [0.3 0.2]), d4);
%! assert (degree_sums ([4 3e9], 1, 0.5, [], [0.3 0.2]), d4);
%! assert (degree_sums ([4 4.5], 1, 0.5, [], [0.3 0.2]), d4);
%! ## One variable: x^k / k! up to max_part, 0 beyond.
%! assert_ulps (degree_sums ([10 3], 2, [], [], 0.5), [1 0.5 0.125 0.125/6 zeros(1, 7)], 2);

## ---- Values.
%!test  # the example of the help text: one argument, n = 2, alpha = 1
%! [s, d] = sorn (ok{:});
%! assert_ulps (d, [1 1/6 0.009], 2);
%! assert_ulps (s, 1 + 1/6 + 0.009, 4);
%! assert (s, (d(1) + d(2)) + d(3));      # summed in increasing degree
%!test  # two arguments, n = 2, alpha = 2
%! [s, d] = sorn (ok6{:});
%! assert_ulps (d, [1 0.125 0.01009375], 2);
%! assert_ulps (s, 1.13509375, 4);
%!test  # no parameters: trace(X)^k / k! for every alpha
%! for alpha = [0.5 1 2 3.5]
%!   assert_ulps (degree_sums (3, alpha, [], [], [0.3 -0.2 0.4]), 0.5 .^ (0:3) ./ factorial (0:3), 4);
%! endfor
%!test  # one numerator parameter: the total tends to det(I - X)^(-a)
%! x = [0.1 0.2 -0.15];
%! for alpha = [1 2]
%!   assert_ulps (sorn (60, alpha, 1.5, [], x), prod ((1 - x) .^ -1.5), 64);
%! endfor
%!test  # a = -2 ends the series at the partition (3); a = 0 at once
%! x = [0.3 -0.2 0.4];
%! s6 = sorn (6, 2, -2, [], x);
%! assert (sorn (7, 2, -2, [], x), s6);
%! assert (sorn (9, 2, -2, [], x), s6);
%! assert (sorn (5, 2, -2, [], x) != s6);
%! assert (degree_sums (3, 2, [1.5 0], 2, x), [1 0 0 0]);
%!test  # two arguments, alpha = 1: the total tends to det[exp(x_i y_k)] / (D(x) D(y))
%! x = [0.3 -0.2];  y = [0.5 0.1];
%! expected = (exp (x(1)*y(1) + x(2)*y(2)) - exp (x(1)*y(2) + x(2)*y(1))) ...
%!            / ((x(2) - x(1)) * (y(2) - y(1)));
%! assert_ulps (sorn (40, 1, [], [], x, y), expected, 64);
%!test  # two arguments, one variable: (x y)^k / k!
%! assert_ulps (degree_sums (4, 3, [], [], 0.6, 0.5), 0.3 .^ (0:4) ./ factorial (0:4), 4);
%!test  # identities: y all ones, permuting x, exchanging x and y
%! x = [0.3 -0.2 0.4];  y = [0.7 0.1 -0.5];
%! d = degree_sums (6, 2, [0.5 1.5], 2.5, x);
%! assert_ulps (degree_sums (6, 2, [0.5 1.5], 2.5, x, [1 1 1]), d, 16);
%! assert_ulps (degree_sums (6, 2, [0.5 1.5], 2.5, x([3 1 2])), d, 16);
%! d = degree_sums (6, 0.5, 0.5, 2.5, x, y);
%! assert_ulps (degree_sums (6, 0.5, 0.5, 2.5, y, x), d, 16);
%! assert_ulps (degree_sums (6, 0.5, 0.5, 2.5, x([2 3 1]), y), d, 16);
%!test  # x times the identity: sorn agrees with brint
%! for n = 1:4
%!   [v, d] = brint ([7 3], 1.5, [0.5 -1.5], 2.5, n, 0.4);
%!   [s, e] = sorn ([7 3], 1.5, [0.5 -1.5], 2.5, 0.4 * ones (1, n));
%!   assert_ulps (e, d .* 0.4 .^ (0:7), 16);
%!   assert_ulps (s, v, 16);
%! endfor
%!test  # help text beside the plug-in
%! assert (! isempty (strfind (get_help_text ("sorn"),
%!                             "s = sorn(bounds, alpha, a, b, x, y)")));
