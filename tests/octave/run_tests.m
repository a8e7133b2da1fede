## Runs the Octave tests against the plug-ins in MEXDIR; exits non-zero
## when any fails.
##   octave-cli --norc --no-history --quiet run_tests.m MEXDIR TESTDIR
args = argv ();
addpath (make_absolute_filename (args{2}));
exit (run_test_files (args{1}, args{2}) > 0);
