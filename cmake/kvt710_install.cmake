# Installation of the library for hosts: the public headers under
# include/kvt710/ (folder layout kept), libkvt710.a, the CMake package
# (find_package(kvt710) gives kvt710::kvt710) and kvt710.pc, and the kvt710
# command with its man page and bash completion.
#
# A host includes <kvt710/batch/KVT710C3.h>. The headers include each other
# as "platform/...", so include/kvt710 is on the include path too (the
# package's interface and the .pc file's Cflags) and they stay as they are.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The headers a host includes: the three classes, registration, the
# automation types, the connection, the tables and the settings. Every header
# of ours that they include is installed with them.
set(KVT710_PUBLIC_HEADERS
  batch/KVT710C3.h catalogue/writer_params.h
  fieldlist/KVT710C1.h deletion/KVT710C2.h component/server.h
  platform/automation/dispatch.h platform/automation/error.h platform/automation/registry.h
  platform/automation/safe_array.h platform/automation/variant.h
  platform/db/connection.h platform/db/product_schema.h
  platform/settings/settings.h)

function(kvt710_header_closure out)
  set(pending ${ARGN})
  set(found)
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST found OR NOT EXISTS ${CMAKE_SOURCE_DIR}/${header})
      continue()
    endif()
    list(APPEND found ${header})
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${CMAKE_SOURCE_DIR}/${header})
    file(STRINGS ${CMAKE_SOURCE_DIR}/${header} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
      list(APPEND pending ${included})
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

kvt710_header_closure(KVT710_INSTALLED_HEADERS ${KVT710_PUBLIC_HEADERS})
foreach(header ${KVT710_INSTALLED_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kvt710/${folder}
          COMPONENT development)
endforeach()

set_target_properties(libkvt710 PROPERTIES EXPORT_NAME kvt710)
install(TARGETS libkvt710 EXPORT kvt710Targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS kvt710 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS kvt710_sqlite LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)

# bash completion of the commands and their options.
install(FILES ${CMAKE_SOURCE_DIR}/scripts/kvt710-completion.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kvt710
        COMPONENT runtime)

# The man page kvt710(1), from the help of kvt710 and of each command, made
# each time kvt710 is linked (so that it is there whenever kvt710 is).
# Without help2man the build goes on without it.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(KVT710_MAN_PAGE ${CMAKE_BINARY_DIR}/kvt710.1)
  set(commands_include ${CMAKE_BINARY_DIR}/kvt710-commands.h2m)
  add_custom_command(TARGET kvt710 POST_BUILD
    COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/man_commands.sh $<TARGET_FILE:kvt710> ${commands_include}
    COMMAND ${HELP2MAN} --no-info
            "--name=writes a shop's customer records into SQLite, PostgreSQL or an ODBC database"
            --include=${commands_include} --output=${KVT710_MAN_PAGE} $<TARGET_FILE:kvt710>
    BYPRODUCTS ${commands_include} ${KVT710_MAN_PAGE} VERBATIM)
  install(FILES ${KVT710_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
else()
  message(STATUS "help2man not found: kvt710(1) is not built (scripts/deps installs help2man)")
endif()

set(KVT710_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kvt710)
install(EXPORT kvt710Targets NAMESPACE kvt710:: DESTINATION ${KVT710_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/kvt710Config.cmake.in
  ${CMAKE_BINARY_DIR}/kvt710Config.cmake INSTALL_DESTINATION ${KVT710_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kvt710ConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/kvt710Config.cmake ${CMAKE_BINARY_DIR}/kvt710ConfigVersion.cmake
        DESTINATION ${KVT710_CMAKE_DIR} COMPONENT development)

# pkg-config: the prefix is taken from the .pc file's own place, so the tree
# can be installed anywhere (cmake --install --prefix). The library is static,
# so SQLite, libpq and ODBC are the host's own link dependencies: Requires, not
# Requires.private, which pkg-config leaves out of --libs without --static.
file(RELATIVE_PATH KVT710_PC_TO_PREFIX
     /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KVT710_PC_TO_PREFIX "${KVT710_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/kvt710.pc.in ${CMAKE_BINARY_DIR}/kvt710.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kvt710.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
