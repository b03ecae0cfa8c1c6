# Installs the build tree into a fresh prefix, checks that only public
# headers are installed and that each compiles as a host includes it, builds
# examples/host against the installed CMake package (no C++ standard of its
# own) and runs it, then links the same host through kvt710.pc (no --static).
#
# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCXX=... -DLIBDIR=...
#       [-DEXTRA_FLAGS="..."] [-DMAN_PAGE=ON] -P install_test.cmake
foreach(var BUILD_DIR SOURCE_DIR WORK_DIR CXX LIBDIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "install_test.cmake needs -D${var}=...")
  endif()
endforeach()
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
# The hosts' late-bound objects read settings: none here.
set(ENV{KVT710_SETTINGS} ${WORK_DIR}/settings.ini)
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The command's bash completion, and its man page with every command's help
# when the build had help2man (MAN_PAGE).
if(NOT EXISTS ${prefix}/share/bash-completion/completions/kvt710)
  message(FATAL_ERROR "the bash completion was not installed")
endif()
if(MAN_PAGE)
  file(READ ${prefix}/share/man/man1/kvt710.1 man_page)
  if(NOT man_page MATCHES "\n\\.SH COMMANDS\n.*\\.SS import\n.*rejects")
    message(FATAL_ERROR "kvt710.1 has no COMMANDS section with the import command's options")
  endif()
endif()

# Installed headers: none of the backends, sibling stand-ins or SQL text
# rules, and every one compiles as <kvt710/...> with the installed tree alone.
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/kvt710/*.h)
if(NOT headers)
  message(FATAL_ERROR "no headers were installed")
endif()
set(public ${headers})
list(FILTER public EXCLUDE REGEX "^kvt710/(platform/db/(sqlite|postgres)|platform/sibling|sql)/")
if(NOT public STREQUAL headers)
  message(FATAL_ERROR "internal headers were installed:\n${headers}")
endif()
set(all_headers ${WORK_DIR}/all_headers.cc)
file(WRITE ${all_headers} "")
foreach(header ${headers})
  file(APPEND ${all_headers} "#include <${header}>\n")
endforeach()
run(${CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -I${prefix}/include
    -I${prefix}/include/kvt710 ${all_headers})

# The example host through find_package(kvt710).
set(host_build ${WORK_DIR}/host-build)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/host -B ${host_build} -G Ninja
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
run(${CMAKE_COMMAND} --build ${host_build})
set(expected "typed: Prefers thin frames\nlate-bound: Follow-up in March\n")
run(${host_build}/kvt710_host ${WORK_DIR}/cmake-host.db)
if(NOT run_output STREQUAL expected)
  message(FATAL_ERROR "the host built with CMake printed:\n${run_output}")
endif()

# The same host through pkg-config: plain --libs brings SQLite, libpq and ODBC.
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run(${PKG_CONFIG} --cflags kvt710)
string(STRIP "${run_output}" cflags)
separate_arguments(cflags UNIX_COMMAND "${cflags}")
run(${PKG_CONFIG} --libs kvt710)
string(STRIP "${run_output}" libs)
separate_arguments(libs UNIX_COMMAND "${libs}")
run(${CXX} -std=c++20 ${extra} ${cflags} ${SOURCE_DIR}/examples/host/host.cc -o
    ${WORK_DIR}/pc-host ${libs})
run(${WORK_DIR}/pc-host ${WORK_DIR}/pc-host.db)
if(NOT run_output STREQUAL expected)
  message(FATAL_ERROR "the host built with pkg-config printed:\n${run_output}")
endif()
message(STATUS "installed to ${prefix}; the example host builds and runs with CMake and pkg-config")
