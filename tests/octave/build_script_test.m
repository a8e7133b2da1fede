## Builds the plug-ins with octave/build_plugins.m into a temporary folder,
## runs the Octave tests and the host agreement calls against that build,
## and removes the folder.
##   octave-cli --norc --no-history --quiet build_script_test.m OCTAVEDIR TESTDIR MEXRUN PLUGINDIR CALLS
args = argv ();
addpath (make_absolute_filename (args{1}));
addpath (make_absolute_filename (args{2}));
outdir = tempname ();
nfail = 1;
try
  build_plugins (outdir);
  nfail = run_test_files (outdir, args{2});
  nfail += check_host_agreement (args{3:5});
catch err
  printf ("%s\n", err.message);
end_try_catch
confirm_recursive_rmdir (false);
rmdir (outdir, "s");
exit (nfail > 0);
