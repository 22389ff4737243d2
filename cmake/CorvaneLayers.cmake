# One OBJECT library per layer (corvane_<name>); the product libraries and the
# test executables are linked from the transitive closure of layer objects.

set(CORVANE_WARNINGS -Wall -Wextra -Wno-unused-parameter)
if(CORVANE_WERROR)
  list(APPEND CORVANE_WARNINGS -Werror)
  # GCC 12 at -O3 reports -Wrestrict inside the standard library's string
  # concatenation (a false positive of that release): it stays a warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND CORVANE_WARNINGS -Wno-error=restrict)
  endif()
endif()

if(CORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(CORVANE_TSAN)
  if(CORVANE_SANITIZE OR CORVANE_FUZZ)
    message(FATAL_ERROR "CORVANE_TSAN cannot be combined with CORVANE_SANITIZE or CORVANE_FUZZ")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(CORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CORVANE_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # Fuzz inputs are small: a small JSON window makes them slide it.
  add_compile_definitions(CORVANE_JSON_WINDOW_BYTES=64)
endif()

# corvane_layer(NAME SOURCES ... [HEADERS header...] [DEPS layer...] [LIBS lib...])
# A layer sees its own headers and those of the layers in DEPS (through
# their public include directories), nothing else of src/: each layer's
# headers are linked into a directory of its own in the build tree by
# corvane_stage_layer_headers(). HEADERS names header-only files of a
# directory shared by several layers that belong to this one rather than to
# the first layer declared there.
function(corvane_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;HEADERS;DEPS;LIBS" ${ARGN})
  add_library(corvane_${name} OBJECT ${L_SOURCES})
  target_include_directories(corvane_${name} PUBLIC
    ${PROJECT_SOURCE_DIR}/include ${PROJECT_BINARY_DIR}/layers/${name})
  target_compile_options(corvane_${name} PRIVATE ${CORVANE_WARNINGS})
  # The shared library exports only what include/corvane marks CORVANE_API;
  # the static library and the tests, linked from the same objects, see
  # everything as before.
  set_target_properties(corvane_${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  foreach(dep IN LISTS L_DEPS)
    target_link_libraries(corvane_${name} PUBLIC corvane_${dep})
  endforeach()
  if(L_LIBS)
    target_link_libraries(corvane_${name} PUBLIC ${L_LIBS})
  endif()
  set_property(TARGET corvane_${name} PROPERTY CORVANE_LAYER_DEPS "${L_DEPS}")
  set_property(TARGET corvane_${name} PROPERTY CORVANE_LAYER_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set_property(TARGET corvane_${name} PROPERTY CORVANE_LAYER_HEADERS "${L_HEADERS}")
  set_property(GLOBAL APPEND PROPERTY CORVANE_LAYERS ${name})
  # The product libraries re-link these outside the build-only layer link, so
  # the installed static library still names them for its consumers.
  set_property(GLOBAL APPEND PROPERTY CORVANE_LAYER_LIBS ${L_LIBS})
endfunction()

# Links every header (.h, .def) of src/ into the include directory of the
# layer that owns it: the layer that compiles the .cpp of the same name, the
# layer that lists it in HEADERS, or else the first layer declared in its
# directory (the lower one, which holds a shared directory's I/O-free cores).
# An include of a layer that is not a dependency then fails to compile.
function(corvane_stage_layer_headers)
  get_property(layers GLOBAL PROPERTY CORVANE_LAYERS)
  set(stage ${PROJECT_BINARY_DIR}/layers)
  # Links of renamed or removed headers must not outlive them.
  file(REMOVE_RECURSE ${stage})
  set(dirs "")
  foreach(layer IN LISTS layers)
    get_property(dir TARGET corvane_${layer} PROPERTY CORVANE_LAYER_DIR)
    file(MAKE_DIRECTORY ${stage}/${layer})
    if(NOT dir IN_LIST dirs)
      list(APPEND dirs ${dir})
      set(first_${dir} ${layer})
    endif()
    get_property(sources TARGET corvane_${layer} PROPERTY SOURCES)
    foreach(source IN LISTS sources)
      get_filename_component(stem ${source} NAME_WE)
      set(owner_${dir}/${stem} ${layer})
    endforeach()
    get_property(headers TARGET corvane_${layer} PROPERTY CORVANE_LAYER_HEADERS)
    foreach(header IN LISTS headers)
      get_filename_component(stem ${header} NAME_WE)
      set(owner_${dir}/${stem} ${layer})
    endforeach()
  endforeach()
  foreach(dir IN LISTS dirs)
    # A new header re-runs the configure step, so it is linked before use.
    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h ${dir}/*.def)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/src ${dir})
    foreach(header IN LISTS headers)
      get_filename_component(stem ${header} NAME_WE)
      get_filename_component(file ${header} NAME)
      set(owner ${first_${dir}})
      if(DEFINED owner_${dir}/${stem})
        set(owner ${owner_${dir}/${stem}})
      endif()
      file(MAKE_DIRECTORY ${stage}/${owner}/${rel})
      file(CREATE_LINK ${header} ${stage}/${owner}/${rel}/${file} SYMBOLIC)
    endforeach()
  endforeach()
endfunction()

# A test that every #include "dir/file.h" of a layer's files names a header of
# the layer itself or of a layer it depends on (directly or not). The build
# already refuses such an include from a .cpp; the check adds what it cannot
# see: headers nobody compiles yet, and OpenSSL headers (on the system
# include path for everyone) outside the TLS channel. The manifest has one
# line per layer: name, source directory, sources, dependency closure.
function(corvane_add_layer_check)
  get_property(layers GLOBAL PROPERTY CORVANE_LAYERS)
  set(manifest "")
  foreach(layer IN LISTS layers)
    get_property(dir TARGET corvane_${layer} PROPERTY CORVANE_LAYER_DIR)
    get_property(sources TARGET corvane_${layer} PROPERTY SOURCES)
    corvane_layer_closure(closure ${layer})
    string(JOIN "," sources ${sources})
    string(JOIN "," closure ${closure})
    string(APPEND manifest "${layer}|${dir}|${sources}|${closure}\n")
  endforeach()
  file(WRITE ${CMAKE_BINARY_DIR}/layers.txt "${manifest}")
  add_test(NAME layer_includes
    COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/cmake/check_layer_includes.py
            ${CMAKE_BINARY_DIR}/layers.txt ${PROJECT_SOURCE_DIR}/src)
endfunction()

# Transitive closure of layers, dependencies after dependents.
function(corvane_layer_closure out)
  set(result "")
  set(todo ${ARGN})
  while(todo)
    list(POP_FRONT todo layer)
    if(NOT layer IN_LIST result)
      list(APPEND result ${layer})
      get_property(deps TARGET corvane_${layer} PROPERTY CORVANE_LAYER_DEPS)
      list(APPEND todo ${deps})
    endif()
  endwhile()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Links the objects of the given layers (and everything they depend on) into target.
function(corvane_link_layers target)
  corvane_layer_closure(all ${ARGN})
  foreach(layer IN LISTS all)
    target_link_libraries(${target} PRIVATE corvane_${layer})
  endforeach()
endfunction()

function(corvane_add_product_libraries)
  corvane_stage_layer_headers()
  get_property(layers GLOBAL PROPERTY CORVANE_LAYERS)
  get_property(libs GLOBAL PROPERTY CORVANE_LAYER_LIBS)
  list(REMOVE_DUPLICATES libs)
  add_library(corvane STATIC)
  add_library(corvane_shared SHARED)
  # Both files are libcorvane; the soname follows the major version, which
  # stays 0 while the interface may still change.
  set_target_properties(corvane_shared PROPERTIES OUTPUT_NAME corvane
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  target_link_options(corvane_shared PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/corvane.map)
  set_property(TARGET corvane_shared APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/corvane.map)
  set_target_properties(corvane PROPERTIES EXPORT_NAME corvane)
  set_target_properties(corvane_shared PROPERTIES EXPORT_NAME corvane_shared)
  foreach(lib corvane corvane_shared)
    target_include_directories(${lib} PUBLIC
      $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
      $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    target_compile_features(${lib} PUBLIC cxx_std_20)
    foreach(layer IN LISTS layers)
      target_sources(${lib} PRIVATE $<TARGET_OBJECTS:corvane_${layer}>)
      target_link_libraries(${lib} PRIVATE $<BUILD_INTERFACE:corvane_${layer}>)
    endforeach()
    target_link_libraries(${lib} PRIVATE ${libs})
  endforeach()
  # The names a consumer uses after find_package work after add_subdirectory too.
  add_library(corvane::corvane ALIAS corvane)
  add_library(corvane::corvane_shared ALIAS corvane_shared)
  set_property(GLOBAL PROPERTY CORVANE_PRODUCT_LIBS "${libs}")
endfunction()

# corvane_test(NAME SOURCES ... LAYERS layer... [LIBS ...] [PORTABLE_TOO]): one
# GoogleTest executable. PORTABLE_TOO runs its tests twice, the second time
# (prefixed "portable.") with the CPU's instruction-set extensions hidden.
function(corvane_test name)
  cmake_parse_arguments(T "PORTABLE_TOO" "" "SOURCES;LAYERS;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${CORVANE_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Scripts beside the tests are found through this, not __FILE__, which a
  # compiler cache or a relative build may leave relative.
  target_compile_definitions(${name} PRIVATE CORVANE_TESTS_DIR="${PROJECT_SOURCE_DIR}/tests")
  corvane_link_layers(${name} ${T_LAYERS})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${T_LIBS})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "CORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  if(T_PORTABLE_TOO)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/portable_switch.cpp)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "portable."
      PROPERTIES ENVIRONMENT "CORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR};CORVANE_TEST_PORTABLE=1")
  endif()
endfunction()

# corvane_fuzzer(NAME SOURCES ... LAYERS layer... [CORPUS dir]): with CORVANE_FUZZ a
# libFuzzer binary; otherwise a replay binary that runs the corpus as a test.
function(corvane_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LAYERS" ${ARGN})
  if(CORVANE_FUZZ)
    add_executable(fuzz_${name} ${F_SOURCES})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(fuzz_${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(F_CORPUS)
      add_test(NAME fuzz_replay_${name}
        COMMAND fuzz_${name} ${CMAKE_CURRENT_SOURCE_DIR}/${F_CORPUS})
    endif()
  endif()
  target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
  corvane_link_layers(fuzz_${name} ${F_LAYERS})
endfunction()
