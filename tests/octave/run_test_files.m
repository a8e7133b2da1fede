## nfail = run_test_files (mexdir, testdir)
## Runs the %! blocks of every test_*.m in testdir against the plug-ins in
## mexdir, in batch mode, after making sure that the plug-ins resolve to
## the compiled plug-ins there. Prints one line per file and a summary
## line; returns the number of failures.
function nfail = run_test_files (mexdir, testdir)
  mexdir = make_absolute_filename (mexdir);
  testdir = make_absolute_filename (testdir);
  addpath (testdir);
  addpath (mexdir);                   # prepended: the plug-ins come first

  nfail = 0;
  for name = {"sorn", "brint", "matrix_pfq", "wishart_eig_cdf", "wishart_eig_inv", "jacobi_eig_cdf", "jacobi_eig_inv"}
    expected = fullfile (mexdir, [name{1} ".mex"]);
    if (exist (name{1}) != 3 || ! strcmp (which (name{1}), expected))
      printf ("%s resolves to '%s', not to %s\n", name{1}, which (name{1}), expected);
      nfail += 1;
    endif
  endfor

  npass = 0;
  files = dir (fullfile (testdir, "test_*.m"));
  for k = 1:numel (files)
    [~, name] = fileparts (files(k).name);
    [n, nmax, nxfail, nbug] = test (name, "quiet", stdout);
    printf ("%s: %d of %d passed\n", name, n, nmax);
    npass += n;
    nfail += nmax - n - nxfail - nbug;
    if (nmax == 0)
      printf ("%s: no tests found\n", name);
      nfail += 1;
    endif
  endfor
  printf ("%d passed, %d failed\n", npass, nfail);
endfunction
