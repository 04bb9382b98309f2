# Run by cpack once it has made a package: tools/package makes it again from
# the same files, so that its bytes depend on nothing but them and the
# release's date, and writes its build record beside it. A package that it
# cannot make is removed, and cpack fails to copy it.
set(config ${CPACK_BUILD_CONFIG})
if(NOT config)
  set(config ${CPACK_TRAPEZOID_BUILD_TYPE})
endif()
set(kind binary)
if(CPACK_INSTALLED_DIRECTORIES)
  set(kind source)
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../tools/package make ${kind}
    ${CPACK_TRAPEZOID_SETTINGS}-${config}.txt ${CPACK_TEMPORARY_DIRECTORY} ${package}
    ${CPACK_PACKAGE_DIRECTORY}/${name}.buildinfo RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "tools/package could not make ${name}")
  endif()
endforeach()
