# Run by cpack once it has made a package: makes it again from the same files,
# so that its bytes depend on nothing but them and the release's date, and
# writes its build record. CPack takes the files in the order the file system
# lists them, records their owner and keeps the umask's modes; here the
# entries come in name order, owned by root, with fixed modes and the date of
# the release. A zip file keeps local times, so it is made in UTC.
#
# A source package holds the files that git tracks, where the source is a git
# checkout, and RELEASE, which names its commit and date for a build without
# git. Made again from such a package, it is the same package.
#
# A package that cannot be made again is removed, with its checksum and
# record: cpack then fails to copy it, and leaves nothing that looks made.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/debian-packages.cmake)

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  file(REMOVE ${CPACK_PACKAGE_DIRECTORY}/${name} ${CPACK_PACKAGE_DIRECTORY}/${name}.sha256
    ${CPACK_PACKAGE_DIRECTORY}/${name}.buildinfo)
endforeach()
function(fail)
  file(REMOVE ${CPACK_PACKAGE_FILES})
  message(FATAL_ERROR ${ARGN})
endfunction()
# Runs commands in the packaging folder, and fails if any of them does.
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}
    RESULTS_VARIABLE results)
  if(NOT results MATCHES "^0(;0)*$")
    list(JOIN ARGN " " command)
    fail("${command}: ${results}")
  endif()
endfunction()
# Sets var to the full name of a program, or fails naming its Debian package.
function(need var program)
  find_program(${var} ${program} NO_CACHE)
  if(NOT ${var})
    fail("${program} was not found: install Debian's ${program} package")
  endif()
  set(${var} ${${var}} PARENT_SCOPE)
endfunction()

# The date was settled when the build was configured; another one now would
# give the package's files two dates.
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL CPACK_TRAPEZOID_DATE)
  fail("SOURCE_DATE_EPOCH is '$ENV{SOURCE_DATE_EPOCH}' here but was "
    "${CPACK_TRAPEZOID_DATE} when the build was configured: configure it again.")
endif()

get_filename_component(top ${CPACK_TEMPORARY_DIRECTORY} NAME)
if(CPACK_INSTALLED_DIRECTORIES)
  list(GET CPACK_INSTALLED_DIRECTORIES 0 source)
  file(WRITE ${CPACK_TEMPORARY_DIRECTORY}/RELEASE "Version: ${CPACK_PACKAGE_VERSION}\n"
    "Commit: ${CPACK_TRAPEZOID_COMMIT}\nSource-Date-Epoch: ${CPACK_TRAPEZOID_DATE}\n")
  # A source inside another project's git work tree is not a checkout.
  execute_process(COMMAND git rev-parse --show-prefix WORKING_DIRECTORY ${source}
    OUTPUT_VARIABLE prefix RESULT_VARIABLE failed ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT failed AND prefix STREQUAL "")
    execute_process(COMMAND git ls-files WORKING_DIRECTORY ${source}
      OUTPUT_VARIABLE files RESULT_VARIABLE failed ERROR_QUIET)
  endif()
  if(failed OR NOT prefix STREQUAL "")
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${CPACK_TEMPORARY_DIRECTORY}
      ${CPACK_TEMPORARY_DIRECTORY}/*)
  else()
    string(REGEX REPLACE "\n$" ";RELEASE" files "${files}")
    string(REPLACE "\n" ";" files "${files}")
  endif()
  list(TRANSFORM files PREPEND ${top}/)
  set(entries ${top} ${files})
  set(architecture source)
  set(tools ${CPACK_TRAPEZOID_CMAKE})
else()
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${CPACK_TOPLEVEL_DIRECTORY}
    ${CPACK_TEMPORARY_DIRECTORY}/*)
  list(APPEND entries ${top})
  string(REGEX REPLACE "^[^-]*-" "" architecture ${CPACK_SYSTEM_NAME})
  set(tools ${CPACK_TRAPEZOID_CMAKE} ${CPACK_TRAPEZOID_TOOLS})
endif()
list(REMOVE_DUPLICATES entries)
list(SORT entries)
run(chmod -R u=rwX,go=rX ${top})
run(touch -d @${CPACK_TRAPEZOID_DATE} ${entries})

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE ${package})
  if(package MATCHES "[.]zip$")
    need(zip zip)
    list(APPEND tools ${zip})
    set(ENV{TZ} UTC0)
    run(${zip} -X -q -9 ${package} ${entries})
  else()
    need(tar tar)
    need(gzip gzip)
    list(APPEND tools ${tar} ${gzip})
    string(REPLACE ";" "\n" list "${entries}")
    file(WRITE ${package}.entries "${list}\n")
    run(${tar} --create --format=gnu --no-recursion --owner=0 --group=0 --numeric-owner
      --files-from=${package}.entries COMMAND ${gzip} -9 -n OUTPUT_FILE ${package})
    file(REMOVE ${package}.entries)
  endif()

  # The build record: what was built, from which release, by which of
  # Debian's packages, at the versions that give these bytes.
  get_filename_component(name ${package} NAME)
  file(SHA256 ${package} sum)
  string(CONCAT record "Package: ${name}\nSource: ${CPACK_PACKAGE_NAME}\n"
    "Version: ${CPACK_PACKAGE_VERSION}\nCommit: ${CPACK_TRAPEZOID_COMMIT}\n"
    "Source-Date-Epoch: ${CPACK_TRAPEZOID_DATE}\nArchitecture: ${architecture}\n"
    "SHA256: ${sum}\n")
  if(DPKG_QUERY)
    debian_packages(packages ${tools})
    execute_process(COMMAND ${DPKG_QUERY} -W "-f=\${binary:Package} (= \${Version})\n"
      ${packages} OUTPUT_VARIABLE installed)
    string(REGEX REPLACE "\n(.)" ",\n \\1" installed "${installed}")
    string(APPEND record "Installed-Build-Depends:\n ${installed}")
    if(packages_unowned)
      list(JOIN packages_unowned "\n " unowned)
      string(APPEND record "Tools-Outside-Packages:\n ${unowned}\n")
    endif()
  else()
    string(APPEND record "Installed-Build-Depends: unknown, as dpkg-query was not found\n")
  endif()
  file(WRITE ${CPACK_PACKAGE_DIRECTORY}/${name}.buildinfo "${record}")
endforeach()
