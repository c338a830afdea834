# zof_module(NAME DEPS ...): the static library zof_NAME from src/NAME/*.cpp
# (main.cpp, the entry point of an executable, left out).
#
# Each module publishes only its own headers: its include folder in the build
# tree holds a single link, NAME -> src/NAME, so "NAME/x.h" resolves for
# zof_NAME and for what links it, and a module that includes a header of a
# module it does not link fails to build.
function(zof_module name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp ${CMAKE_SOURCE_DIR}/src/${name}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    message(FATAL_ERROR "module ${name}: no sources in src/${name}")
  endif()
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.h)

  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${name} ${root}/${name} SYMBOLIC)

  add_library(zof_${name} STATIC ${sources} ${headers})
  target_include_directories(zof_${name} PUBLIC ${root})
  target_link_libraries(zof_${name} PUBLIC ${ARG_DEPS})
endfunction()

# zof_module_tests(NAME): tests/NAME/*.cpp as the GoogleTest program test_NAME.
# It sees the module's headers, those of what the module links, and the
# shared test helpers under tests/ (such as "vfs/vfsTestTools.h").
function(zof_module_tests name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  # A module whose tests need more than a QCoreApplication (the window)
  # brings its own entry point, main.cpp.
  set(entry ${CMAKE_SOURCE_DIR}/tests/testMain.cpp)
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/${name}/main.cpp)
    set(entry ${CMAKE_SOURCE_DIR}/tests/${name}/main.cpp)
    list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  endif()
  add_executable(test_${name} ${sources} ${entry})
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(test_${name} PRIVATE zof_${name} GTest::gtest Qt6::Core)
  # Test code runs for moments, and optimising it (under the sanitizers
  # above all) took most of the build; the code under test keeps the
  # build's optimisation.
  target_compile_options(test_${name} PRIVATE -O0)
  add_test(NAME ${name} COMMAND test_${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZOF_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")
endfunction()
