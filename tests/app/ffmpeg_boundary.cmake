# Fails when a source of the application reaches an FFmpeg header, directly or through a header
# of ours: FFmpeg stays behind the media library, which gives the windows its own types.
# Reads the dependency files the compiler wrote while building the application (-MD), so it checks
# what was compiled, not what a text search guesses. Run with -DAPP_OBJECTS=<folder of app's objects>.
file(GLOB_RECURSE depfiles "${APP_OBJECTS}/*.o.d")
if(NOT depfiles)
  message("No dependency files under ${APP_OBJECTS} (a generator that keeps no .d files); nothing checked.")
  return()
endif()
set(offenders "")
foreach(depfile IN LISTS depfiles)
  file(READ "${depfile}" deps)
  string(REGEX MATCH "[^ \t\n\\\\]*/(libav[a-z]*|libsw[a-z]*|libpostproc)/[^ \t\n\\\\]*\\.h" hit "${deps}")
  if(hit)
    string(REPLACE "${APP_OBJECTS}/" "" object "${depfile}")
    string(APPEND offenders "  ${object}: ${hit}\n")
  endif()
endforeach()
list(LENGTH depfiles count)
if(offenders)
  message(FATAL_ERROR "Application sources that include FFmpeg headers:\n${offenders}")
endif()
message("${count} application sources, none includes an FFmpeg header.")
