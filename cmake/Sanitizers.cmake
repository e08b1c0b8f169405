# KNN_SANITIZERS=address;undefined builds everything (libraries, tests, knn) instrumented.
if(KNN_SANITIZERS)
  list(JOIN KNN_SANITIZERS "," _knn_sanitize_list)
  add_compile_options(-fsanitize=${_knn_sanitize_list} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_knn_sanitize_list})
endif()
