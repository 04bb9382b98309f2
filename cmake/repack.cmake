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
  set(made ${CPACK_PACKAGE_FILES})
  foreach(package IN LISTS CPACK_PACKAGE_FILES)
    list(APPEND made ${package}.entries ${package}.tar)
  endforeach()
  file(REMOVE ${made})
  message(FATAL_ERROR ${ARGN})
endfunction()
# Runs a command in the packaging folder, and fails naming it, with its exit
# status, if it fails.
function(run program)
  execute_process(COMMAND ${program} ${ARGN} WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}
    RESULT_VARIABLE result)
  if(NOT result STREQUAL "0")
    string(REGEX REPLACE "^([0-9]+)$" "exit status \\1" result "${result}")
    fail("${program} failed with ${result}")
  endif()
endfunction()
# Sets var to the full name of a program, or fails naming its Debian
# package, the program's own name unless given.
function(need var program)
  set(package ${ARGN} ${program})
  list(GET package 0 package)
  find_program(${var} ${program} NO_CACHE)
  if(NOT ${var})
    fail("${program} was not found: install Debian's ${package} package")
  endif()
  set(${var} ${${var}} PARENT_SCOPE)
endfunction()

# The date was settled when the build was configured; another one now would
# give the package's files two dates.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    fail("SOURCE_DATE_EPOCH is '$ENV{SOURCE_DATE_EPOCH}', which is invalid: "
      "it must be a number of seconds since 1970-01-01 00:00 UTC.")
  elseif(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL CPACK_TRAPEZOID_DATE)
    fail("SOURCE_DATE_EPOCH is '$ENV{SOURCE_DATE_EPOCH}' here but was "
      "${CPACK_TRAPEZOID_DATE} when the build was configured: configure it again.")
  endif()
endif()

# A Linux package's program needs nothing but the kernel, whatever the
# build asked for: one that asks for a program interpreter or a shared
# library is no package.
if(CPACK_SYSTEM_NAME MATCHES "^linux-")
  set(readelf ${CPACK_TRAPEZOID_READELF})
  if(NOT readelf)
    need(readelf readelf binutils)
  endif()
  file(GLOB programs ${CPACK_TEMPORARY_DIRECTORY}/bin/*)
  foreach(program IN LISTS programs)
    execute_process(COMMAND ${readelf} -ldW ${program} OUTPUT_VARIABLE headers
      COMMAND_ERROR_IS_FATAL ANY)
    if(headers MATCHES "INTERP|[(]NEEDED[)]")
      fail("${program} asks for a program interpreter or a shared library, but a "
        "Linux package carries the C library: make it with a Linux package preset, "
        "or configure with -DTRAPEZOID_STATIC=ON")
    endif()
  endforeach()
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
  # The files from the system that went into the program, and its notices.
  set(config ${CPACK_BUILD_CONFIG})
  if(NOT config)
    set(config ${CPACK_TRAPEZOID_BUILD_TYPE})
  endif()
  file(STRINGS ${CPACK_TRAPEZOID_DEPENDENCY_FILES}-${config}.txt depfiles)
  set(tools ${CPACK_TRAPEZOID_CMAKE} ${CPACK_TRAPEZOID_INPUTS})
  foreach(depfile IN LISTS depfiles)
    dependency_file_inputs(inputs ${depfile} ${CPACK_TRAPEZOID_NINJA})
    if(NOT inputs)
      fail("${depfile}, which names what the build read, is missing: build again")
    endif()
    list(APPEND tools ${inputs})
  endforeach()
  list(FILTER tools INCLUDE REGEX "^/")
  foreach(folder IN LISTS CPACK_TRAPEZOID_PROJECT_DIRS)
    foreach(file IN LISTS tools)
      cmake_path(IS_PREFIX folder ${file} NORMALIZE inside)
      if(inside)
        list(REMOVE_ITEM tools ${file})
      endif()
    endforeach()
  endforeach()
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
      --files-from=${package}.entries --file=${package}.tar)
    run(${gzip} -9 -n -c ${package}.tar OUTPUT_FILE ${package})
    file(REMOVE ${package}.entries ${package}.tar)
  endif()

  # The build record: what was built, from which release, where, and by
  # which of Debian's packages, at the versions that give these bytes.
  get_filename_component(name ${package} NAME)
  file(SHA256 ${package} sum)
  file(SIZE ${package} size)
  string(CONCAT record "Package: ${name}\nSource: ${CPACK_PACKAGE_NAME}\n"
    "Version: ${CPACK_PACKAGE_VERSION}\nCommit: ${CPACK_TRAPEZOID_COMMIT}\n"
    "Source-Date-Epoch: ${CPACK_TRAPEZOID_DATE}\nArchitecture: ${architecture}\n"
    "Checksums-Sha256:\n ${sum} ${size} ${name}\n")
  if(DPKG_QUERY)
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE build
      OUTPUT_STRIP_TRAILING_WHITESPACE)
    file(STRINGS /etc/os-release release REGEX "^PRETTY_NAME=")
    string(REGEX REPLACE "^PRETTY_NAME=\"?([^\"]*)\"?$" "\\1" release "${release}")
    debian_packages(packages ${tools})
    debian_exact_dependencies(packages)
    execute_process(COMMAND ${DPKG_QUERY} -W "-f=\${binary:Package} (= \${Version})\n"
      ${packages} OUTPUT_VARIABLE installed)
    string(REGEX REPLACE "\n(.)" ",\n \\1" installed "${installed}")
    string(APPEND record "Build-Architecture: ${build}\nBuild-Release: ${release}\n"
      "Installed-Build-Depends:\n ${installed}")
    if(packages_unowned)
      list(JOIN packages_unowned "\n " unowned)
      string(APPEND record "Tools-Outside-Packages:\n ${unowned}\n")
    endif()
  else()
    string(APPEND record "Installed-Build-Depends: unknown, as dpkg-query was not found\n")
  endif()
  file(WRITE ${CPACK_PACKAGE_DIRECTORY}/${name}.buildinfo "${record}")
endforeach()
