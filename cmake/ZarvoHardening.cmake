# The compiler's and linker's hardening, as Debian builds its packages, for
# every target: the game, its tests and benchmarks. ZARVO_HARDEN=OFF builds
# without it, to measure what it costs (bench/figures.sh).
#   Linux:   stack protector, stack clash protection, control-flow protection
#            (x86_64) or branch protection (arm64), fortified libc calls,
#            full RELRO with immediate binding, position-independent
#            executables
#   Windows: stack protector (mingw-w64's libssp, linked statically with the
#            rest), address space randomisation (64-bit) and no-execute data
option(ZARVO_HARDEN "Build with the compiler's hardening flags" ON)
if(NOT ZARVO_HARDEN)
  return()
endif()

add_compile_options(-fstack-protector-strong)
if(WIN32)
  add_link_options(-fstack-protector-strong -Wl,--dynamicbase,--high-entropy-va,--nxcompat)
  return()
endif()

add_compile_options(-fstack-clash-protection)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
  add_compile_options(-fcf-protection)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  add_compile_options(-mbranch-protection=standard)
endif()
# Fortified calls need the optimiser, and the sanitizers check those calls
# themselves (AddressSanitizer intercepts them): optimised plain builds only.
if(NOT ZARVO_SANITIZE)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=3>)
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now)
# Position-independent executables (Debian's compiler makes them anyway).
# Named here rather than through CMAKE_POSITION_INDEPENDENT_CODE, which would
# compile the object libraries with -fPIC: every function interposable, so
# not inlined (the world step took 1.5 times as long).
add_compile_options(-fPIE)
add_link_options(-pie)
