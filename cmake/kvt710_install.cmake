# Installation of the library for hosts: the public headers under
# include/kvt710/ (folder layout kept), libkvt710.a, the CMake package
# (find_package(kvt710) gives kvt710::kvt710) and kvt710.pc, and the kvt710
# command.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The headers a host includes, and every header of ours that they include.
set(KVT710_PUBLIC_HEADERS
  batch/KVT710C3.h batch/writer_params.h
  fieldlist/KVT710C1.h deletion/KVT710C2.h component/server.h
  sql/KVT710H1.h
  platform/clock.h
  platform/automation/dispatch.h platform/automation/error.h platform/automation/registry.h
  platform/automation/safe_array.h platform/automation/variant.h
  platform/db/connection.h platform/db/errors.h platform/db/connection_string.h
  platform/db/product_schema.h
  platform/settings/settings.h platform/sibling/prw520.h)

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
# can be installed anywhere (cmake --install --prefix).
# The library is static: the libraries it links privately go to
# Libs.private (pkg-config --static --libs kvt710). libpq's own private
# libraries are not needed with the shared libpq.
string(REPLACE ";" " " KVT710_PC_LIBS_PRIVATE "${SQLITE3_LDFLAGS}")
get_filename_component(pq_dir "${PostgreSQL_LIBRARY_RELEASE}" DIRECTORY)
if(NOT pq_dir)
  list(GET PostgreSQL_LIBRARIES 0 pq_library)
  get_filename_component(pq_dir "${pq_library}" DIRECTORY)
endif()
string(APPEND KVT710_PC_LIBS_PRIVATE " -L${pq_dir} -lpq")
file(RELATIVE_PATH KVT710_PC_TO_PREFIX
     /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KVT710_PC_TO_PREFIX "${KVT710_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/kvt710.pc.in ${CMAKE_BINARY_DIR}/kvt710.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kvt710.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
