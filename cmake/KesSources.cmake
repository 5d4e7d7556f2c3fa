# kes_collect_sources(VAR dir...): every .cpp below the folders, picked up again
# when files are added, so new components need no list edits here.
function(kes_collect_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
