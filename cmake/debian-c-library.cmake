# Sets var to the C library that the compiler links, called name, by Debian
# package and version and, as Built-Using has it, source package, or by file.
function(debian_c_library var name)
  file(REAL_PATH "${trapezoid_c_library}" libc)
  set(text "${name} from ${libc}")
  execute_process(COMMAND dpkg-query -S ${libc} OUTPUT_VARIABLE found ERROR_QUIET)
  if(found MATCHES "^([^ ,:]+(:[a-z0-9]+)?): ")
    execute_process(COMMAND dpkg-query -W
      "-f=\${Version}\n\${source:Package} (= \${source:Version})" ${CMAKE_MATCH_1}
      OUTPUT_VARIABLE found COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" ".\nBuilt-Using: " found "${found}")
    set(text "${name} of Debian's package ${CMAKE_MATCH_1} ${found}")
  endif()
  set(${var} "${text}" PARENT_SCOPE)
endfunction()
