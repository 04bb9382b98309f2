# Hardens the trapezoid program as its platform expects: on Linux stack
# protection, checked C library calls, full RELRO with immediate binding, a
# stack that cannot run code, and a position-independent program; on Windows
# the PE flags that the MSVC linker sets by default. A flag goes in only where
# the target takes it, and not where the user's own flags (CXXFLAGS, LDFLAGS,
# or those of a build type) already decide the same thing: theirs win. What
# goes in is listed in trapezoid_hardening, for the checks of the package.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

set(user_flags " ${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS} ")
foreach(config IN LISTS CMAKE_BUILD_TYPE CMAKE_CONFIGURATION_TYPES)
  string(TOUPPER "${config}" config)
  string(APPEND user_flags
    " ${CMAKE_CXX_FLAGS_${config}} ${CMAKE_EXE_LINKER_FLAGS_${config}} ")
endforeach()
set(trapezoid_hardening "")

# Adds a compile or link flag, unless the user's flags match decided_by.
function(harden kind flag decided_by)
  if(user_flags MATCHES "${decided_by}")
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
  if(${supported})
    set(trapezoid_hardening ${trapezoid_hardening} ${flag} PARENT_SCOPE)
  endif()
endfunction()

if(WIN32)
  harden(link LINKER:--dynamicbase "dynamicbase")
  harden(link LINKER:--high-entropy-va "high-entropy-va")
  harden(link LINKER:--nxcompat "nxcompat")
  harden(link LINKER:--tsaware "tsaware")
  # No stack protector: MinGW's would make the program load libssp-0.dll.
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  harden(compile -fstack-protector-strong "-f(no-)?stack-protector")
  harden(compile -fstack-clash-protection "-f(no-)?stack-clash-protection")
  harden(compile -fcf-protection=full "-fcf-protection")
  harden(compile -mbranch-protection=standard "-mbranch-protection")
  harden(link LINKER:-z,relro "relro")
  harden(link LINKER:-z,now "z,(now|lazy)")
  harden(link LINKER:-z,noexecstack "execstack")
  # The checked calls need the optimiser, and warn without it. Some compilers
  # (Ubuntu's GCC, for one) define the macro themselves when optimising.
  if(NOT user_flags MATCHES "_FORTIFY_SOURCE")
    target_compile_options(trapezoid PRIVATE
      $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3>)
    # Clang lacks the builtin that the C library's checked printf needs, so
    # only GCC's program makes checked calls.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      list(APPEND trapezoid_hardening _FORTIFY_SOURCE)
    endif()
  endif()
  if(NOT user_flags MATCHES "-(no-)?pie|-f(no-)?(pie|PIE)")
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
    set_target_properties(trapezoid PROPERTIES POSITION_INDEPENDENT_CODE ON)
    list(APPEND trapezoid_hardening PIE)
  endif()
endif()
