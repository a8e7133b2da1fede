## Checks the Wishart example at a small size: the exact CDF of the largest
## eigenvalue against simulation and against bounds that need no series,
## the truncation, and brint against sorn.
##   octave-cli --norc --no-history --quiet wishart_cdf_test.m MEXDIR EXAMPLESDIR PNG|-
## PNG "-" skips the picture (no gnuplot). Exits 1 when a check fails.

args = argv ();
[mex_dir, examples_dir, png_path] = deal (args{1:3});
if (strcmp (png_path, "-"))
  png_path = "";
  printf ("gnuplot not found: the picture is not checked\n");
endif
addpath (make_absolute_filename (examples_dir));

## m = 1 is the chi-square distribution with n degrees of freedom.
sizes = [1 5; 2 5; 3 8];
samples = 4000;
results = wishart_cdf_demo (sizes, samples, png_path, make_absolute_filename (mex_dir));

passed = 0;
failed = 0;
function [passed, failed] = check (ok, passed, failed, r, what, detail)
  if (ok)
    passed += 1;
  else
    failed += 1;
    printf ("FAILED m=%d n=%d: %s (%s)\n", r.m, r.n, what, detail);
  endif
endfunction

## Every checked point of every size at once: a 99% family-wise level.
z = sqrt (2) * erfcinv (0.01 / (3 * numel (results)));

for r = results
  F = r.cdf;
  ## Without any series: lambda_max lies between trace(A)/m and trace(A),
  ## and is at least every diagonal entry, so
  ##   chi2cdf(x, m n) <= P(lambda_max < x) <= chi2cdf(x, n)^m
  ## (the diagonal entries are independent chi-square(n)). For m = 1 both
  ## bounds are the exact value.
  lower = gammainc (r.x / 2, r.m * r.n / 2);
  upper = gammainc (r.x / 2, r.n / 2) .^ r.m;
  excess = max ([lower - F, F - upper]) / eps;
  [passed, failed] = check (excess <= 32, passed, failed, r,
                            "chi-square bounds", sprintf ("outside by %.3g eps", excess));
  [passed, failed] = check (min (F) >= 0 && max (F) <= 1 + 16 * eps, passed, failed, r,
                            "a probability", sprintf ("range [%.17g, %.17g]", min (F), max (F)));
  [passed, failed] = check (min (diff (F)) >= -16 * eps, passed, failed, r,
                            "non-decreasing", sprintf ("steps down by %.3g", -min (diff (F))));

  ## The truncation has converged on the whole range.
  [passed, failed] = check (r.tail_10 <= eps && r.change_10 <= 4 * eps, passed, failed, r,
                            "converged", sprintf ("tail %.3g, change %.3g eps", r.tail_10,
                                                   r.change_10 / eps));

  ## Simulation: the whole curve within the Dvoretzky-Kiefer-Wolfowitz 99%
  ## band, and three points within a normal-approximation band.
  dkw = sqrt (log (2 / 0.01) / (2 * samples));
  [passed, failed] = check (r.ks_distance <= dkw, passed, failed, r, "Kolmogorov distance",
                            sprintf ("%.4f, bound %.4f", r.ks_distance, dkw));
  for x = r.x_check
    p = r.p_mc(r.x_mc == x);
    exact = F(abs (r.x - x) < 1e-12 * r.x(end));
    half = z * sqrt (exact * (1 - exact) / samples);
    [passed, failed] = check (abs (p - exact) <= half, passed, failed, r,
                              sprintf ("simulation at x = %g", x),
                              sprintf ("simulated %.4f, exact %.4f, band +-%.4f", p, exact, half));
  endfor

  ## The series as written (alternating) agrees where its rounding is small.
  [passed, failed] = check (r.direct_range > 0 && r.direct_diff <= 1e-8, passed, failed, r,
                            "alternating series",
                            sprintf ("up to x = %g, differs by %.3g", r.direct_range,
                                     r.direct_diff));

  ## Both plug-ins, the same truncated series.
  worst = max ([r.sorn_rel, r.sorn_direct]) / eps;
  [passed, failed] = check (worst <= 32, passed, failed, r, "brint against sorn",
                            sprintf ("%.3g eps", worst));
endfor

if (! isempty (png_path))
  info = dir (png_path);
  fid = fopen (png_path, "r");
  signature = fread (fid, 8, "uint8")';
  fclose (fid);
  ok = isequal (signature, [137 80 78 71 13 10 26 10]) && info.bytes < 100e3;
  [passed, failed] = check (ok, passed, failed, results(1), "picture",
                            sprintf ("%d bytes", info.bytes));
endif

printf ("%d passed, %d failed\n", passed, failed);
exit (failed > 0);
