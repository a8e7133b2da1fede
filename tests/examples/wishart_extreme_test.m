## The worked example of wishart_eig_cdf at a small sample: every exact
## curve within the simultaneous bound of its simulation, the curves
## monotone within [0, 1] with their error estimates small, and the picture
## drawn when asked for.
##   octave-cli --norc --no-history --quiet wishart_extreme_test.m MEXDIR EXAMPLES PNG|-
args = argv ();
addpath (make_absolute_filename (args{2}));
png = args{3};
if (strcmp (png, "-"))
  png = "";
endif
results = wishart_extreme_demo (1000, png, make_absolute_filename (args{1}));
nfail = 0;
for r = results
  ## 99.9% Dvoretzky-Kiefer-Wolfowitz bound: seven curves, so a true CDF
  ## fails one of them with probability below 1%.
  bound = sqrt (log (2 / 0.001) / (2 * numel (r.values)));
  monotone = all (diff (r.P) >= 0) && all (r.P >= 0 & r.P <= 1);
  accurate = max (r.err) < 1e-10;
  checks = {r.ks <= bound, "simulation within the bound";
            monotone, "monotone within [0, 1]";
            accurate, "error estimates below 1e-10"};
  for c = 1:rows (checks)
    if (! checks{c, 1})
      printf ("FAILED: m = %d, n = %d, %s: %s\n", r.m, r.n, r.which, checks{c, 2});
      nfail += 1;
    endif
  endfor
endfor
if (! isempty (png) && ! exist (png, "file"))
  printf ("FAILED: no picture at %s\n", png);
  nfail += 1;
endif
printf ("%d failed\n", nfail);
exit (nfail > 0);
