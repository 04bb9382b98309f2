# Finds which Debian packages hold the files that make a build, for the
# records that name them: the C library's notice and each package's build
# record. Without dpkg-query nothing is known, and nothing fails.
find_program(DPKG_QUERY dpkg-query)

# Sets var to the names of the packages that hold each file given, each file
# also along its chain of symbolic links (c++ is g++, which is g++-12, ...)
# and at its real path, and var_unowned to the files that no package holds.
# One dpkg-query looks them all up.
function(debian_packages var)
  set(queried "")
  set(index 0)
  foreach(file IN LISTS ARGN)
    cmake_path(NORMAL_PATH file)
    set(chain ${file})
    foreach(hop RANGE 8)
      if(NOT IS_SYMLINK ${file})
        break()
      endif()
      file(READ_SYMLINK ${file} target)
      cmake_path(GET file PARENT_PATH folder)
      cmake_path(ABSOLUTE_PATH target BASE_DIRECTORY ${folder} NORMALIZE OUTPUT_VARIABLE file)
      list(APPEND chain ${file})
    endforeach()
    file(REAL_PATH ${file} real)
    list(APPEND chain ${real})
    # dpkg may know a file of the merged /usr at its old place, /bin/tar.
    set(old ${chain})
    list(TRANSFORM old REPLACE "^/usr(/s?bin/|/lib[^/]*/)" "\\1")
    list(APPEND chain ${old})
    list(REMOVE_DUPLICATES chain)
    set(chain_${index} ${chain})
    list(GET chain 0 file_${index})
    math(EXPR index "${index} + 1")
    list(APPEND queried ${chain})
  endforeach()
  set(names "")
  set(unowned "")
  if(queried)
    list(REMOVE_DUPLICATES queried)
    execute_process(COMMAND ${DPKG_QUERY} -S ${queried} OUTPUT_VARIABLE found ERROR_QUIET)
    # Lines of "package, package:arch: /path"; diversions and the like differ.
    string(REPLACE "\n" ";" found "${found}")
    foreach(line IN LISTS found)
      if(line MATCHES "^([^/ ]+(, [^/ ]+)*): (/.*)$")
        string(MD5 key "${CMAKE_MATCH_3}")
        string(REPLACE ", " ";" owners_${key} "${CMAKE_MATCH_1}")
      endif()
    endforeach()
    math(EXPR last "${index} - 1")
    foreach(index RANGE ${last})
      set(owners "")
      foreach(path IN LISTS chain_${index})
        string(MD5 key "${path}")
        list(APPEND owners ${owners_${key}})
      endforeach()
      if(NOT owners)
        list(APPEND unowned ${file_${index}})
      endif()
      list(APPEND names ${owners})
    endforeach()
  endif()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  list(REMOVE_DUPLICATES unowned)
  set(${var} ${names} PARENT_SCOPE)
  set(${var}_unowned ${unowned} PARENT_SCOPE)
endfunction()

# Adds to the packages named in var those that they depend on at an exact
# version, and theirs in turn: installing the named versions elsewhere needs
# those versions too (libc6-dev needs its own libc6). Only packages of this
# machine's architecture, or of none, are build tools.
function(debian_exact_dependencies var)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE native
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(all ${${var}})
  set(new ${all})
  while(new)
    execute_process(COMMAND ${DPKG_QUERY} -W "-f=\${Depends}, \${Pre-Depends}\n" ${new}
      OUTPUT_VARIABLE depends ERROR_QUIET)
    string(REGEX MATCHALL "[a-z0-9][a-z0-9+.-]* [(]= " exact "${depends}")
    list(TRANSFORM exact REPLACE " .*" "")
    set(new "")
    if(exact)
      execute_process(COMMAND ${DPKG_QUERY} -W "-f=\${binary:Package} \${Architecture}\n" ${exact}
        OUTPUT_VARIABLE found ERROR_QUIET)
      string(REGEX MATCHALL "[^ \n]+ (${native}|all)\n" found "${found}")
      list(TRANSFORM found REPLACE " .*" "")
      foreach(name IN LISTS found)
        if(NOT name IN_LIST all)
          list(APPEND all ${name})
          list(APPEND new ${name})
        endif()
      endforeach()
    endif()
  endwhile()
  list(SORT all)
  set(${var} ${all} PARENT_SCOPE)
endfunction()

# Sets var to the C library that the compiler links, trapezoid_c_library,
# called name: by its Debian package and version, with its source package as
# Debian's Built-Using field names it, where dpkg knows it, else by its file.
function(debian_c_library var name)
  file(REAL_PATH "${trapezoid_c_library}" libc)
  set(text "${name} from ${libc}")
  debian_packages(package ${libc})
  if(package)
    execute_process(COMMAND ${DPKG_QUERY} -W
      "-f=\${Version}\n\${source:Package} (= \${source:Version})" ${package}
      OUTPUT_VARIABLE found COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" ".\nBuilt-Using: " found "${found}")
    set(text "${name} of Debian's package ${package} ${found}")
  endif()
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

# Sets var to the files that a make-style dependency file, as a compiler or
# linker writes it, names for its first target, or to nothing where it is
# missing. Ninja, given with the folder of its build, keeps what a compiler
# listed in its own log, and deletes the file.
function(dependency_file_inputs var depfile)
  set(inputs "")
  if(EXISTS ${depfile})
    file(READ ${depfile} rule)
    string(REGEX REPLACE "\n\n.*" "" rule "${rule}")
    string(REGEX REPLACE "^[^:]*:" "" rule "${rule}")
    string(REPLACE "\\ " "\t" rule "${rule}")
    string(REGEX REPLACE "[ \n\\\\]+" ";" inputs "${rule}")
    list(TRANSFORM inputs REPLACE "\t" " ")
  elseif(ARGN)
    list(POP_FRONT ARGN ninja folder)
    string(REGEX REPLACE "[.]d$" "" object ${depfile})
    file(RELATIVE_PATH object ${folder} ${object})
    execute_process(COMMAND ${ninja} -C ${folder} -t deps ${object} OUTPUT_VARIABLE rule)
    string(REGEX MATCHALL "\n    [^\n]+" inputs "${rule}")
    list(TRANSFORM inputs REPLACE "^\n    " "")
  endif()
  list(REMOVE_ITEM inputs "")
  set(${var} ${inputs} PARENT_SCOPE)
endfunction()
