## Checks that the Octave build of the plug-ins in MEXDIR answers every call
## of CALLS as our own host's build (in PLUGINDIR, run by MEXRUN) does.
##   octave-cli --norc --no-history --quiet host_agreement.m MEXDIR MEXRUN PLUGINDIR CALLS
args = argv ();
addpath (make_absolute_filename (fileparts (mfilename ("fullpath"))));
addpath (make_absolute_filename (args{1}));
exit (check_host_agreement (args{2}, args{3}, args{4}) > 0);
