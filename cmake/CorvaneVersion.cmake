# The version header is generated from project(VERSION) so the number lives in
# one place; the library reports the same number at run time.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
  ${PROJECT_BINARY_DIR}/include/corvane/version.h @ONLY)
