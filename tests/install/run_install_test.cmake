# Run with cmake -P. STEP=install installs BUILD_DIR into WORK_DIR/prefix; STEP=project
# configures, builds and runs the outside project PROJECT_DIR against that prefix, compiled
# and linked with EXTRA_FLAGS (the sanitizer flags of a sanitized build).
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
  message(STATUS "${out}")
endfunction()

set(prefix ${WORK_DIR}/prefix)
if(STEP STREQUAL "install")
  file(REMOVE_RECURSE ${prefix})
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
  foreach(expected include/knn/knn.h include/knn/host/vel_interfaces.h bin/knn
          share/knn/examples/iris/iris.csv share/knn/examples/iris/settings.xml)
    if(NOT EXISTS ${prefix}/${expected})
      message(FATAL_ERROR "the installed tree lacks ${expected}")
    endif()
  endforeach()
  file(GLOB_RECURSE config ${prefix}/*/velnearestneighborConfigVersion.cmake)
  file(GLOB_RECURSE pc ${prefix}/*/velnearestneighbor.pc)
  if(NOT config OR NOT pc)
    message(FATAL_ERROR "the installed tree lacks the CMake package or the pkg-config file")
  endif()
  # The installed knn finds its component and the examples relative to itself.
  run(${prefix}/bin/knn --version)
elseif(STEP STREQUAL "project")
  set(binary ${WORK_DIR}/${PROJECT_NAME})
  file(REMOVE_RECURSE ${binary})
  run(${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${binary} -DCMAKE_PREFIX_PATH=${prefix}
      -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}"
      "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
  run(${CMAKE_COMMAND} --build ${binary})
  file(GLOB executables ${binary}/knn_${PROJECT_NAME})
  if(NOT executables)
    message(FATAL_ERROR "${PROJECT_NAME} built no program knn_${PROJECT_NAME}")
  endif()
  run(${executables})
else()
  message(FATAL_ERROR "unknown STEP '${STEP}'")
endif()
