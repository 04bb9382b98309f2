# Hardens the program as its platform expects, with the flags that the target
# takes, but where the user's own flags (CXXFLAGS, LDFLAGS, a build type's)
# decide the same thing: theirs win, and trapezoid_left_to_user lists what
# the hardening check then does not expect.
include(CheckCXXCompilerFlag)
set(user_flags " ${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS} ")
foreach(config IN LISTS CMAKE_BUILD_TYPE CMAKE_CONFIGURATION_TYPES)
  string(TOUPPER "${config}" config)
  string(APPEND user_flags " ${CMAKE_CXX_FLAGS_${config}} ${CMAKE_EXE_LINKER_FLAGS_${config}} ")
endforeach()
set(trapezoid_left_to_user "")

# Adds the compile or link flag for the protection where the target takes it
# (a compiler may only warn of one it does not take), or always, unless the
# user's flags match decided_by.
function(harden kind decided_by protection)
  if(user_flags MATCHES "${decided_by}")
    message(NOTICE "Your own flags decide ${protection}: the build adds nothing for it, "
      "and the hardening test does not look for it")
    set(trapezoid_left_to_user ${trapezoid_left_to_user} ${protection} PARENT_SCOPE)
    return()
  endif()
  string(MAKE_C_IDENTIFIER "TRAPEZOID_HAS${ARGN}" supported)
  set(CMAKE_REQUIRED_FLAGS -Werror)
  if(kind STREQUAL "compile")
    check_cxx_compiler_flag("${ARGN}" ${supported})
  elseif(kind STREQUAL "link")
    check_linker_flag(CXX "${ARGN}" ${supported})
  endif()
  if(kind STREQUAL "link" AND ${supported})
    target_link_options(trapezoid PRIVATE ${ARGN})
  elseif(kind STREQUAL "always" OR ${supported})
    target_compile_options(trapezoid PRIVATE ${ARGN})
  endif()
endfunction()

if(WIN32)
  harden(link "dynamicbase" dynamic_base LINKER:--dynamicbase)
  harden(link "high-entropy-va" high_entropy_va LINKER:--high-entropy-va)
  harden(link "nxcompat" nx_compat LINKER:--nxcompat)
  harden(link "tsaware" terminal_service_aware LINKER:--tsaware)
  # No stack protector: MinGW's would make the program load libssp-0.dll.
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  harden(compile "-f(no-)?stack-protector" canary -fstack-protector-strong)
  # main's frame is smaller than a guard page: nothing shows this one.
  harden(compile "-f(no-)?stack-clash-protection" stack_clash -fstack-clash-protection)
  harden(compile "-fcf-protection" endbr -fcf-protection=full)
  harden(compile "-mbranch-protection" pac -mbranch-protection=standard)
  harden(link "relro" relro LINKER:-z,relro)
  harden(link "z,(now|lazy)" bind_now LINKER:-z,now)
  harden(link "execstack" noexec_stack LINKER:-z,noexecstack)
  # The checked calls need the optimiser; some compilers define the macro.
  set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
  harden(always "_FORTIFY_SOURCE" fortify $<${optimised}:-U_FORTIFY_SOURCE> $<${optimised}:-D_FORTIFY_SOURCE=3>)
  harden(none "-(no-)?pie|-f(no-)?(pie|PIE)" pie)
  if(NOT pie IN_LIST trapezoid_left_to_user)
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
    set_target_properties(trapezoid PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()
endif()
