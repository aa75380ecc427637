# Layering rules the compiler cannot see, checked over the sources:
#  - the batch run and the clean-up include nothing of the site build.
# Run as: cmake -DSOURCE_DIR=<checkout> -P check_layering.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(failures "")

function(forbid folder_glob pattern what)
  file(GLOB_RECURSE files ${folder_glob})
  foreach(file IN LISTS files)
    file(STRINGS "${file}" hits REGEX "${pattern}")
    foreach(hit IN LISTS hits)
      string(STRIP "${hit}" hit)
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
      string(APPEND failures "\n  ${name}: ${what}: ${hit}")
    endforeach()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

foreach(unit batch cleanup)
  forbid("${SOURCE_DIR}/src/${unit}/*.[ch]*" "#include \"site/" "includes a site build header")
endforeach()

if(failures)
  message(FATAL_ERROR "layering rules broken:${failures}")
endif()
message(STATUS "layering rules hold")
