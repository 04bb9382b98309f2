# Hardens the trapezoid program as its platform expects: on Linux stack
# protection, checked C library calls, full RELRO with immediate binding, a
# stack that cannot run code, and a position-independent program; on Windows
# the PE flags that the MSVC linker sets by default. A flag goes in only where
# the target takes it, and not where the user's own flags (CXXFLAGS, LDFLAGS,
# or those of a build type) already decide the same thing: theirs win, and
# what the flag protects is listed in trapezoid_left_to_user, which the
# hardening check then does not expect.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

set(user_flags " ${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS} ")
foreach(config IN LISTS CMAKE_BUILD_TYPE CMAKE_CONFIGURATION_TYPES)
  string(TOUPPER "${config}" config)
  string(APPEND user_flags
    " ${CMAKE_CXX_FLAGS_${config}} ${CMAKE_EXE_LINKER_FLAGS_${config}} ")
endforeach()
set(trapezoid_left_to_user "")

# Adds a compile or link flag that gives the named protection, unless the
# user's flags match decided_by.
function(harden kind flag decided_by protection)
  if(user_flags MATCHES "${decided_by}")
    message(NOTICE "Not adding ${flag}: your own flags decide it, so the "
      "hardening test does not look for ${protection}")
    set(trapezoid_left_to_user ${trapezoid_left_to_user} ${protection} PARENT_SCOPE)
    return()
  endif()
  string(MAKE_C_IDENTIFIER "TRAPEZOID_HAS${flag}" supported)
  # A compiler may only warn about a flag that its target does not take.
  set(CMAKE_REQUIRED_FLAGS -Werror)
  if(kind STREQUAL "compile")
    check_cxx_compiler_flag(${flag} ${supported})
    if(${supported})
      target_compile_options(trapezoid PRIVATE ${flag})
    endif()
  else()
    check_linker_flag(CXX ${flag} ${supported})
    if(${supported})
      target_link_options(trapezoid PRIVATE ${flag})
    endif()
  endif()
endfunction()

if(WIN32)
  harden(link LINKER:--dynamicbase "dynamicbase" dynamic_base)
  harden(link LINKER:--high-entropy-va "high-entropy-va" high_entropy_va)
  harden(link LINKER:--nxcompat "nxcompat" nx_compat)
  harden(link LINKER:--tsaware "tsaware" tsaware)
  # No stack protector: MinGW's would make the program load libssp-0.dll.
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  harden(compile -fstack-protector-strong "-f(no-)?stack-protector" canary)
  # main's frame, about a kilobyte, is smaller than the guard page, so
  # nothing in the program shows this one.
  harden(compile -fstack-clash-protection "-f(no-)?stack-clash-protection" stack_clash)
  harden(compile -fcf-protection=full "-fcf-protection" endbr)
  harden(compile -mbranch-protection=standard "-mbranch-protection" pac)
  harden(link LINKER:-z,relro "relro" relro)
  harden(link LINKER:-z,now "z,(now|lazy)" bind_now)
  harden(link LINKER:-z,noexecstack "execstack" noexec_stack)
  # The checked calls need the optimiser, and warn without it. Some compilers
  # (Ubuntu's GCC, for one) define the macro themselves when optimising.
  if(user_flags MATCHES "_FORTIFY_SOURCE")
    message(NOTICE "Not adding _FORTIFY_SOURCE: your own flags decide it, so "
      "the hardening test does not look for fortify")
    list(APPEND trapezoid_left_to_user fortify)
  else()
    set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    target_compile_options(trapezoid PRIVATE
      $<${optimised}:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3>)
  endif()
  if(user_flags MATCHES "-(no-)?pie|-f(no-)?(pie|PIE)")
    message(NOTICE "Not making the program position-independent: your own "
      "flags decide it, so the hardening test does not look for pie")
    list(APPEND trapezoid_left_to_user pie)
  else()
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
    set_target_properties(trapezoid PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()
endif()
