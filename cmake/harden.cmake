# Hardens the trapezoid program as its platform expects: on Linux stack
# protection, checked C library calls, full RELRO with immediate binding, a
# stack that cannot run code, and a position-independent program; on Windows
# the PE flags that the MSVC linker sets by default. A flag goes in only where
# the target takes it, and not where the user's own flags (CXXFLAGS, LDFLAGS)
# already decide the same thing: theirs win.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

set(user_flags " ${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS} ")

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
  # The checked calls need the optimiser, and warn without it.
  if(NOT user_flags MATCHES "_FORTIFY_SOURCE")
    target_compile_definitions(trapezoid PRIVATE
      $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=3>)
  endif()
  if(NOT user_flags MATCHES "-(no-)?pie|-f(no-)?(pie|PIE)")
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
    set_target_properties(trapezoid PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()
endif()
