## Checks the iris MANOVA example: Roy's root against an independent
## computation, the exact p-values against the F bound.
##   octave-cli --norc --no-history --quiet iris_manova_test.m MEXDIR EXAMPLESDIR
## Exits 1 when a check fails.

args = argv ();
mex_dir = make_absolute_filename (args{1});
examples_dir = make_absolute_filename (args{2});
run (fullfile (examples_dir, "iris_manova.m"));

failed = 0;
function failed = check (ok, failed, what)
  if (ok)
    printf ("ok: %s\n", what);
  else
    failed += 1;
    printf ("FAILED: %s\n", what);
  endif
endfunction

## Independent H and E: E from the groups' sample covariances, H as the
## total SSCP less E, theta from the symmetric-definite pencil (H, H + E).
data = dlmread (fullfile (examples_dir, "data", "iris.csv"), ",", 1, 0);
cases = {"all_species", 1:4; "sepals", 1:2};
for c = 1:rows (cases)
  Y = data(:, cases{c, 2});
  E = zeros (numel (cases{c, 2}));
  for k = 0:2
    E += 49 * cov (Y(data(:, 5) == k, :));
  endfor
  H = 149 * cov (Y) - E;
  theta = max (eig (H, H + E));
  r = manova.(cases{c, 1});
  failed = check (abs (r.theta - theta) <= 1e-10 * theta, failed,
                  sprintf ("theta %.12f against the pencil's %.12f", r.theta, theta));
  failed = check (abs (r.lambda1 - theta / (1 - theta)) <= 1e-8 * r.lambda1, failed,
                  "lambda1 = theta / (1 - theta)");
endfor

## The published value of Roy's largest root of E^-1 H for iris (MANOVA
## textbooks print 32.19).
r = manova.all_species;
failed = check (abs (r.lambda1 - 32.19) < 0.005, failed, sprintf ("lambda1 %.4f is 32.19", r.lambda1));
## The exact p-value is near 3e-107: its log form agrees with it, and both
## lie far below any printed significance level.
failed = check (isfinite (r.log_pvalue) && r.log_pvalue < log (1e-100), failed,
                sprintf ("log p-value %.2f finite and far below log(1e-100)", r.log_pvalue));
failed = check (abs (r.log_pvalue - log (r.pvalue)) < 1e-8 * abs (r.log_pvalue), failed,
                "the log p-value is the log of the p-value");
## The F bound is liberal for Roy's test: its p-value is below the exact one.
failed = check (log (r.F_pvalue) < r.log_pvalue, failed, "F bound's p-value below the exact (four measurements)");
s = manova.sepals;
failed = check (s.pvalue > 0 && s.F_pvalue < s.pvalue, failed,
                sprintf ("F bound's p-value %.3g below the exact %.3g (sepals)", s.F_pvalue, s.pvalue));
## Reference: mpmath (60 digits) on the density of jacobi_eig_cdf at
## p = m = 2, n = 147 (a = -1/2, b = 72), reduced to one integral by
## int_0^t (t - u) u^a (1-u)^b du = t B(t; a+1, b+1) - B(t; a+2, b+1), at
## theta = 0.80664367385759494: P(theta_max > theta) = 1.09265494794854e-51.
failed = check (abs (s.pvalue - 1.09265494794854e-51) < 1e-9 * 1.09265494794854e-51, failed,
                sprintf ("exact sepal p-value %.15g against mpmath", s.pvalue));
failed = check (abs (jacobi_eig_cdf (s.critical, 2, 2, 147, "tail", "upper") - 0.05) < 1e-9, failed,
                "the 5% critical value has upper tail 0.05");
exit (failed > 0);
