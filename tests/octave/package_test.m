## Installs the package tarball into a temporary prefix with its own package
## lists, loads it, calls both functions, checks their help, lookfor and the
## installed notes, runs their tests and the host agreement calls, then
## uninstalls it and removes every file it made.
##   octave-cli --norc --no-history --quiet package_test.m TARBALL NAME TESTDIR MEXRUN PLUGINDIR CALLS
args = argv ();
addpath (make_absolute_filename (args{3}));
tarball = make_absolute_filename (args{1});
name = args{2};
root = tempname ();
mkdir (root);
pkg ("prefix", fullfile (root, "share"), fullfile (root, "arch"));
pkg ("local_list", fullfile (root, "octave_packages"));
pkg ("global_list", fullfile (root, "octave_packages_global"));

function check (condition, what)
  if (! condition)
    error ("package test: %s", what);
  endif
endfunction

nfail = 1;
try
  pkg ("install", "-local", tarball);
  pkg ("load", name);
  for f = {"sorn", "brint"}
    check (exist (f{1}) == 3, [f{1} " is not a compiled function"]);
    check (strncmp (which (f{1}), root, numel (root)), [f{1} " is not the installed one"]);
    check (! isempty (strfind (evalc (["help " f{1}]), "Truncated hypergeometric")),
           ["no help for " f{1}]);
  endfor
  ## Every function once in lookfor: its help file lives beside its plug-in
  ## only, not also in the package's folder of .m files.
  plugins = {"sorn", "brint", "matrix_pfq", "wishart_eig_cdf"};
  for query = {"hypergeometric", "Wishart"}
    found = lookfor (query{1});
    ours = found(ismember (found, plugins));
    check (! isempty (ours) && numel (unique (ours)) == numel (ours),
           sprintf ("lookfor %s lists %s", query{1}, strjoin (ours(:).', ", ")));
  endfor
  ## The notes of docs/ come with the package, where the help says they are.
  installed = pkg ("list", name);
  doc_dir = fullfile (installed{1}.dir, "doc");
  notes = dir (fullfile (args{3}, "..", "..", "docs", "*.md"));
  check (! isempty (notes), "no notes in the sources' docs folder");
  for k = 1:numel (notes)
    check (exist (fullfile (doc_dir, notes(k).name), "file") == 2,
           [notes(k).name " is not in the installed doc folder"]);
  endfor
  for fn = {"wishart_eig_cdf", "jacobi_eig_cdf", "matrix_pfq"}
    cited = regexp (get_help_text (fn{1}), 'doc/(\w+\.md)', "tokens");
    check (! isempty (cited), ["the help of " fn{1} " cites no note"]);
    for k = 1:numel (cited)
      check (exist (fullfile (doc_dir, cited{k}{1}), "file") == 2,
             ["the help of " fn{1} " cites " cited{k}{1} ", which is not installed"]);
    endfor
  endfor

  [s, d] = sorn (2, 1, 0.5, 1.5, [0.3 0.2]);
  check (abs (s - 1.1756666666666666) < 4 * eps, "value of sorn");
  check (numel (d) == 3, "degree sums of sorn");
  v = brint ([4 4], 2, [], [], 2, [0.5 Inf -1]);
  check (abs (v(1) - 65 / 24) < 4 * eps && isnan (v(2)), "values of brint");

  nfail = 0;
  for f = {"sorn", "brint"}
    [n, nmax, nxfail, nbug] = test (f{1}, "quiet", stdout);
    printf ("installed %s: %d of %d passed\n", f{1}, n, nmax);
    nfail += nmax - n - nxfail - nbug + (nmax == 0);
  endfor
  nfail += check_host_agreement (args{4:6});
catch err
  printf ("%s\n", err.message);
end_try_catch

try
  pkg ("unload", name);
  pkg ("uninstall", "-local", name);
catch err
  printf ("%s\n", err.message);
  nfail += 1;
end_try_catch
confirm_recursive_rmdir (false);
rmdir (root, "s");
exit (nfail > 0);
