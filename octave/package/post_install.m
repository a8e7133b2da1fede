## Copies each help file next to its compiled plug-in. pkg installs the .mex
## files in an architecture folder apart from the .m files, and help finds
## the text of a compiled function only in a .m file beside it.
function post_install (desc)
  mex = dir (fullfile (desc.archprefix, "*", "*.mex"));
  for k = 1:numel (mex)
    [~, name] = fileparts (mex(k).name);
    stub = fullfile (desc.dir, [name ".m"]);
    if (exist (stub, "file"))
      copyfile (stub, mex(k).folder);
    endif
  endfor
endfunction
