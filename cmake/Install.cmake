# Installation: headers, the three shared libraries, knn, the examples, a CMake package
# (find_package(velnearestneighbor CONFIG) with knn:: targets) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(KNN_PACKAGE_NAME velnearestneighbor)
set(KNN_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${KNN_PACKAGE_NAME})
set(KNN_EXAMPLES_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/knn/examples)

# Installed headers are included as "knn/knn.h" and "host/vel_interfaces.h": both the
# include folder and its knn/ subfolder are on the path.
foreach(_knn_lib velnearestneighborr velcommonr velparsexmlr)
  target_include_directories(${_knn_lib} INTERFACE
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/knn>)
endforeach()

install(TARGETS velnearestneighborr velcommonr velparsexmlr
  EXPORT knnTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS knn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(GLOB _knn_public_headers ${PROJECT_SOURCE_DIR}/include/knn/*.h)
install(FILES ${_knn_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/knn)
file(GLOB _knn_host_headers ${PROJECT_SOURCE_DIR}/src/host/*.h)
install(FILES ${_knn_host_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/knn/host)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${KNN_EXAMPLES_INSTALL_DIR}
  PATTERN "build*" EXCLUDE
  PATTERN "__pycache__" EXCLUDE)

install(EXPORT knnTargets NAMESPACE knn:: FILE ${KNN_PACKAGE_NAME}Targets.cmake
  DESTINATION ${KNN_CMAKE_INSTALL_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KNNConfig.cmake.in
  ${PROJECT_BINARY_DIR}/${KNN_PACKAGE_NAME}Config.cmake
  INSTALL_DESTINATION ${KNN_CMAKE_INSTALL_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR KNN_EXAMPLES_INSTALL_DIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/${KNN_PACKAGE_NAME}ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/${KNN_PACKAGE_NAME}Config.cmake
  ${PROJECT_BINARY_DIR}/${KNN_PACKAGE_NAME}ConfigVersion.cmake
  DESTINATION ${KNN_CMAKE_INSTALL_DIR})

# The pkg-config file finds its prefix from its own location, so the tree can be moved.
file(RELATIVE_PATH _knn_pc_to_prefix
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
file(WRITE ${PROJECT_BINARY_DIR}/${KNN_PACKAGE_NAME}.pc
"prefix=\${pcfiledir}/${_knn_pc_to_prefix}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}

Name: ${KNN_PACKAGE_NAME}
Description: Exact k-nearest-neighbour model builder and its host libraries
Version: ${PROJECT_VERSION}
Libs: -L\${libdir} -lvelnearestneighborr -lvelparsexmlr -lvelcommonr
Cflags: -I\${includedir} -I\${includedir}/knn
")
install(FILES ${PROJECT_BINARY_DIR}/${KNN_PACKAGE_NAME}.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# An installed tree is checked by building two outside projects against it: the consumer
# in tests/install (linking the component) and the embedding example (dlopen).
if(KNN_BUILD_TESTS)
  set(_knn_install_work ${PROJECT_BINARY_DIR}/install-test)
  # Sanitized libraries can only be loaded by programs built with the same sanitizers.
  set(_knn_outside_flags "")
  if(KNN_SANITIZERS)
    list(JOIN KNN_SANITIZERS "," _knn_outside_sanitizers)
    set(_knn_outside_flags "-fsanitize=${_knn_outside_sanitizers}")
  endif()
  add_test(NAME install_tree
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DWORK_DIR=${_knn_install_work}
      -DSTEP=install -P ${PROJECT_SOURCE_DIR}/tests/install/run_install_test.cmake)
  set_tests_properties(install_tree PROPERTIES FIXTURES_SETUP knn_installed LABELS install)
  foreach(_knn_project consumer embed)
    if(_knn_project STREQUAL "consumer")
      set(_knn_project_dir ${PROJECT_SOURCE_DIR}/tests/install)
    else()
      set(_knn_project_dir ${PROJECT_SOURCE_DIR}/examples/embed)
    endif()
    add_test(NAME install_${_knn_project}
      COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DWORK_DIR=${_knn_install_work}
        -DSTEP=project -DPROJECT_DIR=${_knn_project_dir} -DPROJECT_NAME=${_knn_project}
        "-DEXTRA_FLAGS=${_knn_outside_flags}"
        -P ${PROJECT_SOURCE_DIR}/tests/install/run_install_test.cmake)
    set_tests_properties(install_${_knn_project} PROPERTIES
      FIXTURES_REQUIRED knn_installed LABELS install TIMEOUT 600)
  endforeach()
endif()
