# Hardens the trapezoid program as its platform expects: on Linux stack
# protection, checked C library calls, full RELRO with immediate binding, a
# stack that cannot run code, and a position-independent program; on Windows
# the PE flags that the MSVC linker sets by default. A flag goes in only where
# the target takes it, and not where the user's own flags (CXXFLAGS, LDFLAGS,
# or those of a build type) already decide the same thing: theirs win.
#
# Beside each flag stands what shows it in the linked program: a pattern that
# the disassembly of the program's own main matches (CODE), or that its
# program headers, dynamic section or PE header match (HEADERS). What went in
# is listed in trapezoid_hardening, one "flag place pattern" an entry, for the
# package's hardening check.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

set(user_flags " ${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS} ")
foreach(config IN LISTS CMAKE_BUILD_TYPE CMAKE_CONFIGURATION_TYPES)
  string(TOUPPER "${config}" config)
  string(APPEND user_flags
    " ${CMAKE_CXX_FLAGS_${config}} ${CMAKE_EXE_LINKER_FLAGS_${config}} ")
endforeach()
set(trapezoid_hardening "")

# Adds a compile or link flag, unless the user's flags match decided_by, with
# where it shows: CODE or HEADERS and a pattern, or NOWHERE and the reason.
function(harden kind flag decided_by place sign)
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
  if(${supported} AND NOT place STREQUAL "NOWHERE")
    set(trapezoid_hardening ${trapezoid_hardening} "${flag} ${place} ${sign}" PARENT_SCOPE)
  endif()
endfunction()

if(WIN32)
  harden(link LINKER:--dynamicbase "dynamicbase" HEADERS "DYNAMIC_BASE")
  harden(link LINKER:--high-entropy-va "high-entropy-va" HEADERS "HIGH_ENTROPY_VA")
  harden(link LINKER:--nxcompat "nxcompat" HEADERS "NX_COMPAT")
  harden(link LINKER:--tsaware "tsaware" HEADERS "TERMINAL_SERVICE_AWARE")
  # No stack protector: MinGW's would make the program load libssp-0.dll.
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # main keeps its arrays on the stack, so it checks the canary on return.
  harden(compile -fstack-protector-strong "-f(no-)?stack-protector"
    CODE "[<.]__stack_chk_fail")
  harden(compile -fstack-clash-protection "-f(no-)?stack-clash-protection"
    NOWHERE "main's frame, about a kilobyte, is smaller than the guard page")
  # x86 functions start with an ENDBR landing pad.
  harden(compile -fcf-protection=full "-fcf-protection" CODE "endbr(32|64)")
  # arm64 signs the return address of a function that saves it.
  harden(compile -mbranch-protection=standard "-mbranch-protection"
    CODE "paciasp|hint\t#25")
  harden(link LINKER:-z,relro "relro" HEADERS "GNU_RELRO")
  # A static program binds everything at its link.
  harden(link LINKER:-z,now "z,(now|lazy)" HEADERS "no dynamic section|BIND_NOW")
  harden(link LINKER:-z,noexecstack "execstack" HEADERS "GNU_STACK[^\n]* RW ")
  # The checked calls need the optimiser, and warn without it. Some compilers
  # (Ubuntu's GCC, for one) define the macro themselves when optimising.
  if(NOT user_flags MATCHES "_FORTIFY_SOURCE")
    set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    target_compile_options(trapezoid PRIVATE
      $<${optimised}:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3>)
    # Clang lacks the builtin that the C library's checked printf needs, so
    # only GCC's program makes checked calls: to ___printf_chk in a static C
    # library, and on POWER past its entry point, at +0x8.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      list(APPEND trapezoid_hardening "$<${optimised}:_FORTIFY_SOURCE CODE [<.]_?__printf_chk[@+$<ANGLE-R>]>")
    endif()
  endif()
  if(NOT user_flags MATCHES "-(no-)?pie|-f(no-)?(pie|PIE)")
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
    set_target_properties(trapezoid PROPERTIES POSITION_INDEPENDENT_CODE ON)
    list(APPEND trapezoid_hardening "PIE HEADERS Type: +DYN")
  endif()
endif()
