function build_plugins (outdir)
% BUILD_PLUGINS  Compile the plug-ins with this host's mex.
%
%   build_plugins          builds into the current folder
%   build_plugins(outdir)  builds into outdir, creating it if needed
%
%   Runs in GNU Octave (makes sorn.mex, brint.mex, matrix_pfq.mex,
%   wishart_eig_cdf.mex, wishart_eig_inv.mex, jacobi_eig_cdf.mex and jacobi_eig_inv.mex) and in MATLAB (makes sorn.mexa64 and so on). The numerical core (the folder core beside this
%   one) is compiled once; each plug-in is then its gateway (the folder
%   gateways) over the core. The help files are copied next to the results.
%   Then call the plug-ins after addpath(outdir).
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
  plugins = {'sorn', 'brint', 'matrix_pfq', 'wishart_eig_cdf', 'wishart_eig_inv', 'jacobi_eig_cdf', 'jacobi_eig_inv'};
  with_matrices = {'matrix_pfq', 'wishart_eig_cdf', 'wishart_eig_inv', 'jacobi_eig_cdf', 'jacobi_eig_inv'};   % LAPACK, option readers

  [sources, includes] = core_layout (root);
  objdir = tempname ();
  mkdir (objdir);
  cleanup = onCleanup (@() remove_folder (objdir));
  objects = cellfun (@(src) compile_object (src, includes, objdir), sources, ...
                     'UniformOutput', false);
  common = fullfile (root, 'gateways', 'common');
  base = cellfun (@(name) compile_object (fullfile (common, name), includes, objdir), ...
                  {'gateway_args.cpp', 'host_interrupt.cpp'}, 'UniformOutput', false);
  matrix = cellfun (@(name) compile_object (fullfile (common, name), includes, objdir), ...
                    {'options.cpp', 'matrix_argument.cpp'}, 'UniformOutput', false);
  for k = 1:numel (plugins)
    name = plugins{k};
    gateway = fullfile (root, 'gateways', name, [name '.cpp']);
    linked = [objects, base];
    libraries = {};
    if any (strcmp (name, with_matrices))
      linked = [linked, matrix];
      libraries = lapack_libraries ();
    end
    if exist ('OCTAVE_VERSION', 'builtin')
      link_in_octave (name, gateway, linked, includes, libraries, outdir);
    else
      mex ('-outdir', outdir, '-output', name, includes{:}, ...
           'CXXFLAGS=$CXXFLAGS -ffp-contract=off', gateway, linked{:}, libraries{:});
    end
    copyfile (fullfile (here, 'inst', [name '.m']), outdir);   % help text
    fprintf ('built %s in %s\n', name, outdir);
  end
end

% The host's LAPACK: Octave's own, or the one MATLAB ships.
function libraries = lapack_libraries ()
  if exist ('OCTAVE_VERSION', 'builtin')
    libraries = [strsplit(strtrim (mkoctfile ('-p', 'LAPACK_LIBS'))), ...
                 strsplit(strtrim (mkoctfile ('-p', 'BLAS_LIBS')))];
  else
    libraries = {'-lmwlapack'};
  end
end

% The core's sources (every module folder of core but its public headers)
% and every include folder the plug-ins need.
function [sources, includes] = core_layout (root)
  core = fullfile (root, 'core');
  entries = dir (core);
  folders = {entries([entries.isdir]).name};
  folders = setdiff (folders, {'.', '..', 'include'});
  sources = {};
  includes = {['-I' fullfile(core, 'include')], ['-I' fullfile(root, 'gateways', 'common')]};
  for k = 1:numel (folders)
    folder = fullfile (core, folders{k});
    includes{end+1} = ['-I' folder];
    found = dir (fullfile (folder, '*.cpp'));
    for f = 1:numel (found)
      sources{end+1} = fullfile (folder, found(f).name);
    end
  end
end

% One object file in objdir, compiled with contraction off.
function object = compile_object (source, includes, objdir)
  [~, base] = fileparts (source);
  if exist ('OCTAVE_VERSION', 'builtin')
    object = fullfile (objdir, [base '.o']);
    with_cxxflags (@() mex ('-c', includes{:}, '-DMATRIXHYPER_OCTAVE_HOST', source, '-o', object));
  else
    mex ('-c', '-outdir', objdir, includes{:}, 'CXXFLAGS=$CXXFLAGS -ffp-contract=off', source);
    found = dir (fullfile (objdir, [base '.o*']));
    object = fullfile (objdir, found(1).name);
  end
end

% Octave's mex: export only the entry points, and report a MEX function
% missing from this Octave at link time rather than at load time.
function link_in_octave (name, gateway, objects, includes, libraries, outdir)
  link = {};
  if isunix () && ~ismac ()
    map = fullfile (fileparts (gateway), [name '.map']);
    link = {['-Wl,--version-script=' map], '-Wl,--no-undefined', ...
            ['-L' strtrim(mkoctfile ('-p', 'OCTLIBDIR'))], '-loctinterp', '-loctave'};
  end
  with_cxxflags (@() mex ('-o', fullfile (outdir, name), includes{:}, ...
                          '-DMATRIXHYPER_OCTAVE_HOST', gateway, objects{:}, libraries{:}, link{:}));
end

% Octave's mex takes extra compiler flags only through the CXXFLAGS
% environment variable, which replaces its defaults. Its defaults ask for
% debugging information (-g), which changes no instruction but takes about
% a third of the compile time; it is left out, as MATLAB's mex does.
function with_cxxflags (action)
  saved = getenv ('CXXFLAGS');
  defaults = regexprep (strtrim (mkoctfile ('-p', 'CXXFLAGS')), '(^|\s)-g(?=\s|$)', '');
  setenv ('CXXFLAGS', [strtrim(defaults) ' -ffp-contract=off']);
  try
    action ();
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

function remove_folder (folder)
  if exist ('OCTAVE_VERSION', 'builtin')
    confirm_recursive_rmdir (false);
  end
  rmdir (folder, 's');
end
