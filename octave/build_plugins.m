function build_plugins (outdir)
% BUILD_PLUGINS  Compile the sorn and brint plug-ins with this host's mex.
%
%   build_plugins          builds into the current folder
%   build_plugins(outdir)  builds into outdir, creating it if needed
%
%   Runs in GNU Octave (makes sorn.mex, brint.mex) and in MATLAB (makes
%   sorn.mexa64 and so on), compiling each plug-in from its sources in the
%   sorn and brint folders beside this one, and copies the help files
%   sorn.m and brint.m next to the results. Then call them after
%   addpath(outdir).
%
%   Floating-point contraction (fused multiply-add) is switched off: the
%   order of every floating-point operation is part of the results.

  if nargin < 1
    outdir = pwd;
  end
  here = fileparts (mfilename ('fullpath'));
  root = fileparts (here);
  if ~exist (outdir, 'dir')
    mkdir (outdir);
  end

  plugins = {'sorn',  {'sorn.cpp', 'jack_tables.cpp', 'partition_walk.cpp'}; ...
             'brint', {'brint.cpp', 'coefficient_walk.cpp'}};
  for k = 1:size (plugins, 1)
    name = plugins{k, 1};
    srcdir = fullfile (root, name);
    sources = fullfile (srcdir, plugins{k, 2});
    if exist ('OCTAVE_VERSION', 'builtin')
      build_in_octave (name, srcdir, sources, outdir);
    else
      build_in_matlab (name, srcdir, sources, outdir);
    end
    copyfile (fullfile (here, 'inst', [name '.m']), outdir);   % help text
    fprintf ('built %s in %s\n', name, outdir);
  end
end

% Octave's mex takes extra compiler flags only through the CXXFLAGS
% environment variable, which replaces its defaults; any other option
% before the sources would swallow the next word.
function build_in_octave (name, srcdir, sources, outdir)
  saved = getenv ('CXXFLAGS');
  setenv ('CXXFLAGS', [strtrim(mkoctfile ('-p', 'CXXFLAGS')) ' -ffp-contract=off']);
  link = {};
  if isunix () && ~ismac ()
    % Export only the entry points, and report a MEX function missing from
    % this Octave at link time rather than at load time.
    link = {['-Wl,--version-script=' fullfile(srcdir, [name '.map'])], ...
            '-Wl,--no-undefined', ['-L' strtrim(mkoctfile ('-p', 'OCTLIBDIR'))], ...
            '-loctinterp'};
  end
  try
    mex ('-o', fullfile (outdir, name), sources{:}, link{:});
  catch err
    restore_cxxflags (saved);
    rethrow (err);
  end
  restore_cxxflags (saved);
end

function restore_cxxflags (saved)
  if isempty (saved)
    unsetenv ('CXXFLAGS');
  else
    setenv ('CXXFLAGS', saved);
  end
end

% MATLAB's mex takes the flag as a variable assignment on its command line.
function build_in_matlab (name, srcdir, sources, outdir)
  mex ('-outdir', outdir, '-output', name, ['-I' srcdir], ...
       'CXXFLAGS=$CXXFLAGS -ffp-contract=off', sources{:});
end
