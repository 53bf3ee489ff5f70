# Fails when a source of the application reaches an FFmpeg header, directly or through a header
# of ours: FFmpeg stays behind the media library, which gives the windows its own types.
# Reads the header lists the compiler wrote while building the application (-MD), so it checks
# what was compiled, not what a text search guesses: the .o.d files a Makefile build keeps, or,
# for Ninja, which folds them into its own log, what `ninja -t deps` prints. Finding no list at
# all fails: a check that read nothing proved nothing.
# Run with -DAPP_OBJECTS=<folder of app's objects> -DBUILD_DIR=<build folder>
#          -DGENERATOR=<CMAKE_GENERATOR> -DMAKE_PROGRAM=<CMAKE_MAKE_PROGRAM>.
set(lists "")  # one entry per object: "<object>|<its headers>"
if(GENERATOR MATCHES "Ninja")
  execute_process(COMMAND "${MAKE_PROGRAM}" -C "${BUILD_DIR}" -t deps OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "`${MAKE_PROGRAM} -t deps` failed (${rc}); nothing could be checked.")
  endif()
  # Records are "target: #deps N, ..." followed by indented header lines and a blank line.
  string(REPLACE ";" "\\;" out "${out}")
  string(REGEX REPLACE "\n\n+" ";" records "${out}")
  file(RELATIVE_PATH objects "${BUILD_DIR}" "${APP_OBJECTS}")
  foreach(record IN LISTS records)
    if(record MATCHES "^(${objects}/[^:]*\\.o): ")
      list(APPEND lists "${CMAKE_MATCH_1}|${record}")
    endif()
  endforeach()
else()
  file(GLOB_RECURSE depfiles "${APP_OBJECTS}/*.o.d")
  foreach(depfile IN LISTS depfiles)
    file(READ "${depfile}" deps)
    string(REPLACE ";" "\\;" deps "${deps}")
    string(REPLACE "${APP_OBJECTS}/" "" object "${depfile}")
    list(APPEND lists "${object}|${deps}")
  endforeach()
endif()
list(LENGTH lists count)
if(count EQUAL 0)
  message(FATAL_ERROR "No header lists of the application's objects under ${APP_OBJECTS} "
                      "(generator ${GENERATOR}); nothing could be checked.")
endif()
set(offenders "")
foreach(entry IN LISTS lists)
  string(FIND "${entry}" "|" bar)
  string(SUBSTRING "${entry}" 0 ${bar} object)
  string(REGEX MATCH "[^ \t\n\\\\]*/(libav[a-z]*|libsw[a-z]*|libpostproc)/[^ \t\n\\\\]*\\.h" hit "${entry}")
  if(hit)
    string(APPEND offenders "  ${object}: ${hit}\n")
  endif()
endforeach()
if(offenders)
  message(FATAL_ERROR "Application sources that include FFmpeg headers:\n${offenders}")
endif()
message("${count} application sources, none includes an FFmpeg header.")
