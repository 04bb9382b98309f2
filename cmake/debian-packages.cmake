# Finds which Debian packages hold the files that make a build, for the
# records that name them: the C library's notice and each package's build
# record. Without dpkg-query nothing is known, and nothing fails.
find_program(DPKG_QUERY dpkg-query)

# Sets var to the names of the packages that hold each file given, and each
# file along its chain of symbolic links (c++ is g++, which is g++-12, ...),
# and var_unowned to the files that no package holds.
function(debian_packages var)
  set(names "")
  set(unowned "")
  foreach(file IN LISTS ARGN)
    cmake_path(NORMAL_PATH file)
    set(owners "")
    foreach(hop RANGE 8)
      # dpkg may know a file of the merged /usr at its old place, /bin/tar.
      string(REGEX REPLACE "^/usr(/s?bin/|/lib[^/]*/)" "\\1" old "${file}")
      foreach(path IN ITEMS ${file} ${old})
        execute_process(COMMAND ${DPKG_QUERY} -S ${path} OUTPUT_VARIABLE found
          RESULT_VARIABLE failed ERROR_QUIET)
        if(NOT failed AND found MATCHES "(^|\n)([^ ,\n]+)[,:] /")
          list(APPEND owners ${CMAKE_MATCH_2})
          break()
        endif()
      endforeach()
      if(NOT IS_SYMLINK ${file})
        break()
      endif()
      file(READ_SYMLINK ${file} target)
      cmake_path(GET file PARENT_PATH folder)
      cmake_path(ABSOLUTE_PATH target BASE_DIRECTORY ${folder} NORMALIZE OUTPUT_VARIABLE file)
    endforeach()
    if(NOT owners)
      list(APPEND unowned ${file})
    endif()
    list(APPEND names ${owners})
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  list(REMOVE_DUPLICATES unowned)
  set(${var} ${names} PARENT_SCOPE)
  set(${var}_unowned ${unowned} PARENT_SCOPE)
endfunction()
