# The .cpp files of the current folder and of the named subfolders.
function(kro_collect_sources out folders)
  set(patterns ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(folder ${folders})
    list(APPEND patterns ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${patterns})
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# A module is one folder of sources built into one static library.
# Sources are collected from the folder, so adding a file needs no edit here.
# FOLDERS names subfolders whose sources belong to the same library (the object families).
# EXCLUDE names sources of the folder that another library of the folder builds.
function(kro_module name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS;EXCLUDE;FOLDERS" ${ARGN})
  kro_collect_sources(sources "${ARG_FOLDERS}")
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# One test program per module folder under tests/, registered with CTest. Each test program
# starts in tests/test_main.cpp, which gives it a home, data home and runtime folder of its own
# in the build tree and headless drivers.
function(kro_module_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS;FOLDERS" ${ARGN})
  kro_collect_sources(sources "${ARG_FOLDERS}")
  add_executable(${name} ${sources} ${PROJECT_SOURCE_DIR}/tests/test_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} kro_tools GTest::gtest GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tools)
  target_compile_definitions(${name} PRIVATE
    KRO_TEST_HOME="${CMAKE_BINARY_DIR}/test-home/${name}"
    KRO_LSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/tests/lsan.supp")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
endfunction()
