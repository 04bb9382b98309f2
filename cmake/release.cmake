# The release that this source is, its version, commit and date. A checkout
# is its version's release at the commit that dates the version's section of
# NEWS.md; any other commit, or a shallow clone, is the version, +g and 12
# digits of the commit; its date is its commit's. A source package names all
# three in RELEASE; SOURCE_DATE_EPOCH wins.
set(trapezoid_commit unknown)
set(trapezoid_version ${PROJECT_VERSION}+unknown)
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel --absolute-git-dir
    --is-shallow-repository WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE found
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REPLACE "\n" ";" found "${found}")
  list(POP_FRONT found top git_dir shallow)
endif()
file(REAL_PATH ${PROJECT_SOURCE_DIR} source)
if(top AND top STREQUAL source)
  string(REPLACE "." "[.]" version "${PROJECT_VERSION}")
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%H%n%ct
    COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE head)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%H
    "-G^## ${version} [(][0-9]{4}-[0-9]{2}-[0-9]{2}[)]$" -- NEWS.md
    COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE release)
  string(REPLACE "\n" ";" head "${head}")
  list(POP_FRONT head trapezoid_commit trapezoid_date)
  string(SUBSTRING ${trapezoid_commit} 0 12 short)
  set(trapezoid_version ${PROJECT_VERSION}+g${short})
  if(release STREQUAL "${trapezoid_commit}\n" AND shallow STREQUAL "false")
    set(trapezoid_version ${PROJECT_VERSION})
  endif()
  # A new commit or checkout configures the build again.
  if(EXISTS ${git_dir}/logs/HEAD)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/logs/HEAD)
  endif()
elseif(EXISTS ${PROJECT_SOURCE_DIR}/RELEASE)
  file(STRINGS ${PROJECT_SOURCE_DIR}/RELEASE release REGEX "^(Version|Commit|Source-Date-Epoch): ")
  list(TRANSFORM release REPLACE "^[^ ]+ " "")
  list(POP_FRONT release trapezoid_version trapezoid_commit trapezoid_date)
endif()

set(from "${PROJECT_SOURCE_DIR}/RELEASE")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(trapezoid_date "$ENV{SOURCE_DATE_EPOCH}")
  set(from "SOURCE_DATE_EPOCH")
endif()
if(NOT DEFINED trapezoid_date)
  string(TIMESTAMP trapezoid_date "%s" UTC)
  message(WARNING "Neither git nor a RELEASE file says when this source was "
    "released: the manual page and the packages carry today's date. Set "
    "SOURCE_DATE_EPOCH to the release's time to make them as published.")
elseif(NOT trapezoid_date MATCHES "^[0-9]+$")
  message(FATAL_ERROR "${from} gives '${trapezoid_date}' for the release's date, "
    "not a number of seconds since 1970-01-01 00:00 UTC.")
endif()
