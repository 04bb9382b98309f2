# The release that this source is: its version, in trapezoid_version, its
# commit, in trapezoid_commit, and its date in seconds since 1970, in
# trapezoid_date, which the manual page and the packages carry.
# SOURCE_DATE_EPOCH wins where it is set; a git clone gives its last commit;
# a source package, which has no git, names all three in RELEASE.
#
# A release is the commit that dates its version's section in NEWS.md. Any
# other commit is version+g and the first 12 digits of its commit, so that no
# two different programs share a name; so is a shallow clone, whose history
# cannot tell.
set(trapezoid_commit unknown)
set(trapezoid_version ${PROJECT_VERSION}+unknown)
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel --absolute-git-dir
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE found
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REPLACE "\n" ";" found "${found}")
  list(POP_FRONT found top git_dir)
endif()
file(REAL_PATH ${PROJECT_SOURCE_DIR} source)
if(top AND top STREQUAL source)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%H%n%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE found
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" found "${found}")
  list(POP_FRONT found trapezoid_commit trapezoid_date)
  string(REPLACE "." "[.]" version "${PROJECT_VERSION}")
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%H
    "-G^## ${version} [(][0-9]{4}-[0-9]{2}-[0-9]{2}[)]$" -- NEWS.md
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE release
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --is-shallow-repository
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE shallow
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(SUBSTRING ${trapezoid_commit} 0 12 short)
  set(trapezoid_version ${PROJECT_VERSION}+g${short})
  if(release STREQUAL trapezoid_commit AND shallow STREQUAL "false")
    set(trapezoid_version ${PROJECT_VERSION})
  endif()
  # A new commit or checkout configures the build again.
  if(EXISTS ${git_dir}/logs/HEAD)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/logs/HEAD)
  endif()
elseif(EXISTS ${PROJECT_SOURCE_DIR}/RELEASE)
  file(STRINGS ${PROJECT_SOURCE_DIR}/RELEASE release)
  list(FILTER release INCLUDE REGEX "^(Version|Commit|Source-Date-Epoch): ")
  list(TRANSFORM release REPLACE "^[^ ]+ " "")
  list(POP_FRONT release trapezoid_version trapezoid_commit trapezoid_date)
endif()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(trapezoid_date "$ENV{SOURCE_DATE_EPOCH}")
  set(from "SOURCE_DATE_EPOCH")
else()
  set(from "${PROJECT_SOURCE_DIR}/RELEASE")
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
