# Run by cpack once it has made a package: makes it again from the same files,
# so that its bytes depend on nothing but them and SOURCE_DATE_EPOCH. CPack
# takes the files in the order the file system lists them, records their owner
# and keeps the umask's modes; here the entries come in name order, owned by
# root, with fixed modes and, with SOURCE_DATE_EPOCH set, its time. A zip file
# keeps local times, so it is made in UTC. A source package holds the files
# that git tracks, where the source is a git checkout.
cmake_minimum_required(VERSION 3.25)

get_filename_component(top ${CPACK_TEMPORARY_DIRECTORY} NAME)
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${CPACK_TOPLEVEL_DIRECTORY}
  ${CPACK_TEMPORARY_DIRECTORY}/*)
list(APPEND entries ${top})
if(CPACK_INSTALLED_DIRECTORIES)
  list(GET CPACK_INSTALLED_DIRECTORIES 0 source)
  execute_process(COMMAND git ls-files WORKING_DIRECTORY ${source}
    OUTPUT_VARIABLE tracked RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed)
    string(REGEX REPLACE "\n$" "" tracked "${tracked}")
    string(REPLACE "\n" ";${top}/" entries "${top};${top}/${tracked}")
  endif()
endif()
list(SORT entries)
macro(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}
    COMMAND_ERROR_IS_FATAL ANY)
endmacro()
run(chmod -R u=rwX,go=rX ${top})
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  run(touch -d @$ENV{SOURCE_DATE_EPOCH} ${entries})
endif()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE ${package})
  if(package MATCHES "[.]zip$")
    find_program(ZIP zip)
    if(NOT ZIP)
      message(FATAL_ERROR "zip was not found: install Debian's zip package")
    endif()
    set(ENV{TZ} UTC0)
    run(${ZIP} -X -q -9 ${package} ${entries})
  else()
    string(REPLACE ";" "\n" list "${entries}")
    file(WRITE ${package}.entries "${list}\n")
    run(tar --create --format=gnu --no-recursion --owner=0 --group=0 --numeric-owner
      --files-from=${package}.entries COMMAND gzip -9 -n OUTPUT_FILE ${package})
    file(REMOVE ${package}.entries)
  endif()
endforeach()
