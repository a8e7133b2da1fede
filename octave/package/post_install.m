## Moves each help file next to its compiled plug-in. pkg installs the .mex
## files in an architecture folder apart from the .m files, and help finds
## the text of a compiled function only in a .m file beside it. Moved, not
## copied: with a copy in both folders lookfor and pkg test saw every
## function twice (pkg writes the lookfor cache of the .m folder after this
## hook, so the moved files leave no entry behind there).
function post_install (desc)
  mex = dir (fullfile (desc.archprefix, "*", "*.mex"));
  for k = 1:numel (mex)
    [~, name] = fileparts (mex(k).name);
    stub = fullfile (desc.dir, [name ".m"]);
    if (exist (stub, "file"))
      [moved, message] = movefile (stub, mex(k).folder);
      if (! moved)
        error ("post_install: cannot move %s beside its plug-in: %s", stub, message);
      endif
    endif
  endfor
endfunction
