# Layering rules the compiler cannot see, checked over the sources:
#  - the batch run and the clean-up include nothing of the site build;
#  - processes are started, programs looked up on PATH and private scratch
#    folders made only by the process and scratch service in src/support/.
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

# Everything under src/ but src/support/.
file(GLOB units LIST_DIRECTORIES true "${SOURCE_DIR}/src/*")
foreach(unit IN LISTS units)
  get_filename_component(name "${unit}" NAME)
  if(NOT IS_DIRECTORY "${unit}" OR name STREQUAL "support")
    continue()
  endif()
  forbid("${unit}/*.[ch]*"
         "(mkdtemp|mkstemp|posix_spawn|findExecutable|[^_a-zA-Z]fork[ ]*\\(|exec[lv]p?e?[ ]*\\(|getenv[ ]*\\([ ]*\"PATH\")"
         "starts a process, looks up PATH or makes a scratch folder outside src/support/")
endforeach()

if(failures)
  message(FATAL_ERROR "layering rules broken:${failures}")
endif()
message(STATUS "layering rules hold")
