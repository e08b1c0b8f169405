# Fuzz targets (tests/fuzz/). Their entry functions are always built into knn_fuzz_replay,
# which replays the seed corpus as ordinary tests. With KNN_BUILD_FUZZERS (clang only) the
# whole project is instrumented for coverage-guided fuzzing and one libFuzzer program per
# target is built: knn_fuzz_<target>.
if(KNN_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KNN_BUILD_FUZZERS needs clang (e.g. CXX=clang++-14)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The targets need the test helpers and the knn host's CSV sources, which exist only once the
# whole project has been read.
function(knn_define_fuzz_targets)
  if(NOT TARGET knn_test_support)
    return()
  endif()
  set(_dir ${PROJECT_SOURCE_DIR}/tests/fuzz)
  # The CSV target reaches the knn host's data source through the host's own library, built
  # with the same instrumentation as everything else.
  add_library(knn_fuzz_entries STATIC
    ${_dir}/settings_document_fuzz.cpp
    ${_dir}/csv_data_source_fuzz.cpp
    ${_dir}/model_document_fuzz.cpp)
  target_include_directories(knn_fuzz_entries PUBLIC ${_dir})
  target_link_libraries(knn_fuzz_entries PUBLIC knn_test_support knn_cli LibXml2::LibXml2)

  add_executable(knn_fuzz_replay ${_dir}/corpus_replay_main.cpp)
  target_link_libraries(knn_fuzz_replay PRIVATE knn_fuzz_entries)
  foreach(_target settings_document csv_data_source model_document)
    add_test(NAME fuzz_replay_${_target}
             COMMAND knn_fuzz_replay ${_target} ${_dir}/corpus/${_target})
    set_tests_properties(fuzz_replay_${_target} PROPERTIES LABELS fuzz TIMEOUT 600)
  endforeach()

  if(KNN_BUILD_FUZZERS)
    set(_entries FuzzSettingsDocument FuzzCsvDataSource FuzzModelDocument)
    foreach(_target settings_document csv_data_source model_document)
      list(POP_FRONT _entries _entry)
      add_executable(knn_fuzz_${_target} ${_dir}/libfuzzer_main.cpp)
      target_compile_definitions(knn_fuzz_${_target} PRIVATE KNN_FUZZ_ENTRY=${_entry})
      target_link_libraries(knn_fuzz_${_target} PRIVATE knn_fuzz_entries)
      target_link_options(knn_fuzz_${_target} PRIVATE -fsanitize=fuzzer)
    endforeach()
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL knn_define_fuzz_targets)
